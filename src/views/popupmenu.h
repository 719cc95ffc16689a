#pragma once

#include <QPoint>
#include <QString>
#include <functional>

class QAction;
class QMenu;

namespace views {

// Shows a context menu at a screen point and returns the entry the user chose, or null. A script
// or a test can put a chooser in place of the user: it gets the menu as built, with its grayed
// entries, and returns the entry to take (or null for none).
using PopupChooser = std::function<QAction*(QMenu&)>;
QAction* trackPopupMenu(QMenu& menu, const QPoint& globalPos);
void setPopupChooser(PopupChooser chooser);

// The entry whose text, without its "&", is text; null if none.
QAction* menuEntry(QMenu& menu, const QString& text);

// The context menu of the four panes: New Folder, Rename and Delete, each carrying its command.
void addFileMenuEntries(QMenu& menu, bool newFolderEnabled, bool renameEnabled, bool deleteEnabled);
// The archive panes' entries at the end, below a separator: Test Selected, Properties and Find.
void addArchiveMenuEntries(QMenu& menu, bool testEnabled);

} // namespace views
