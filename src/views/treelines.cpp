#include "treelines.h"

#include "mytreeview.h"

#include <QHash>
#include <QTreeWidgetItemIterator>

namespace views {

QStringList treeLines(const CMyTreeView& tree) {
    static const QHash<int, QString> kinds = {{kNodeComputer, "computer"},
                                              {kNodeDrive, "drive"},
                                              {kNodeLocalFolder, "folder"},
                                              {kNodeArchiveRoot, "archive"},
                                              {kNodeArchiveFolder, "archive-folder"}};
    QStringList lines;
    for (QTreeWidgetItemIterator it(const_cast<CMyTreeView*>(&tree)); *it; ++it) {
        int depth = 0;
        for (const QTreeWidgetItem* up = (*it)->parent(); up != nullptr; up = up->parent()) {
            ++depth;
        }
        const QString kind = CMyTreeView::isPlaceholder(*it)
                                 ? QString("placeholder")
                                 : kinds.value(CMyTreeView::nodeKind(*it), "unknown");
        QString line = QString(depth * 2, ' ') + kind + ' ' + (*it)->text(0);
        if (CMyTreeView::holdsEncrypted(*it)) {
            line += " [holds encrypted]";
        }
        if ((*it)->isExpanded() && (*it)->childCount() > 0) {
            line += " [expanded]";
        }
        if (*it == tree.currentItem()) {
            line += " [selected]";
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace views
