#include "popupmenu.h"

#include "commandids.h"
#include "commandtable.h"
#include "texts.h"

#include <QMenu>

namespace views {

namespace {

PopupChooser& chooser() {
    static PopupChooser current;
    return current;
}

} // namespace

QAction* trackPopupMenu(QMenu& menu, const QPoint& globalPos) {
    if (chooser()) {
        return chooser()(menu);
    }
    return menu.exec(globalPos);
}

void setPopupChooser(PopupChooser newChooser) {
    chooser() = std::move(newChooser);
}

QAction* menuEntry(QMenu& menu, const QString& text) {
    for (QAction* entry : menu.actions()) {
        if (!entry->isSeparator() && entry->text().remove('&') == QString(text).remove('&')) {
            return entry;
        }
    }
    return nullptr;
}

void addFileMenuEntries(QMenu& menu, bool newFolderEnabled, bool renameEnabled, bool deleteEnabled) {
    const struct {
        const char* text;
        int id;
        bool enabled;
    } entries[] = {
        {res::kMenuNewFolder, res::ID_NEW_FOLDER, newFolderEnabled},
        {res::kMenuRename, res::ID_RENAME, renameEnabled},
        {res::kMenuDelete, res::ID_DELETE, deleteEnabled},
    };
    for (const auto& entry : entries) {
        QAction* item = menu.addAction(QString::fromUtf8(entry.text));
        item->setData(entry.id);
        item->setEnabled(entry.enabled);
    }
}

void addArchiveMenuEntries(QMenu& menu, bool testEnabled) {
    menu.addSeparator();
    for (const res::ContextEntry& entry : res::kArchiveContextEntries) {
        QAction* item = menu.addAction(QString::fromUtf8(entry.text));
        item->setData(entry.id);
        item->setEnabled(entry.id != res::ID_TEST_SELECTED || testEnabled);
    }
}

} // namespace views
