#pragma once

#include <QStringList>

namespace views {

class CMyTreeView;

// One line per item of a tree, indented two blanks a level: its kind, its text and whether it is
// expanded or selected ("  drive Drive C [selected]"). The script driver prints it; tests read it.
QStringList treeLines(const CMyTreeView& tree);

} // namespace views
