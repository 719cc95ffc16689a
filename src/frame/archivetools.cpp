#include "archivetools.h"

#include "archiveengine.h"
#include "archiveinfo.h"
#include "brenlodoc.h"
#include "commandids.h"
#include "fileservices.h"
#include "findbar.h"
#include "formats.h"
#include "mainframe.h"
#include "messages.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "propertieswindow.h"
#include "texts.h"

#include <QLineEdit>

namespace frame {

using namespace res;

ArchiveTools::ArchiveTools(CMainFrame& frame, FindBar& findBar)
    : QObject(&frame), m_frame(frame), m_findBar(findBar) {
    connect(&m_findBar, &FindBar::findRequested, this, &ArchiveTools::find);
    connect(&m_findBar, &FindBar::closeRequested, this, &ArchiveTools::closeFind);
    if (views::CMyListView* list = m_frame.listAt(1)) {
        // A folder chosen in the tree ends the search; the bar goes with it.
        connect(list, &views::CMyListView::findEnded, this, [this] {
            m_findBar.setResultText(QString());
            m_findBar.hide();
        });
        connect(list, &views::CMyListView::findResultsShown, this, [this](int found) {
            m_findBar.setResultText(found == 0 ? QString::fromUtf8(kFindNoneFound)
                                               : QString::fromStdString(archive::FormatSizeText(found)) +
                                                     QString::fromUtf8(kFindFound));
        });
    }
}

bool ArchiveTools::onCommand(int id) {
    switch (id) {
    case ID_ARCHIVE_TEST:
        testArchive();
        return true;
    case ID_TEST_SELECTED:
        testSelected();
        return true;
    case ID_ARCHIVE_PROPERTIES:
        showProperties();
        return true;
    case ID_ARCHIVE_FIND:
        m_findBar.open();
        return true;
    default:
        return false;
    }
}

bool ArchiveTools::onUpdateCommand(int id, views::CommandState&) {
    return id == ID_ARCHIVE_TEST || id == ID_TEST_SELECTED || id == ID_ARCHIVE_PROPERTIES ||
           id == ID_ARCHIVE_FIND;
}

bool ArchiveTools::archiveExists() {
    archive::ArchiveEngine& engine = m_frame.engine();
    if (platform::pathExists(engine.drives(), engine.state().archivePath)) {
        return true;
    }
    engine.window().showMessage(kNoArchiveYet, kApplicationTitle, archive::MessageIcon::Information,
                                archive::MessageButtons::Ok);
    return false;
}

void ArchiveTools::testArchive() {
    archive::ArchiveEngine& engine = m_frame.engine();
    const archive::ArchiveState& state = engine.state();
    if (state.entries.empty()) {
        engine.window().showMessage(kNothingToTest, kTestTexts.doneCaption, archive::MessageIcon::Information,
                                    archive::MessageButtons::Ok);
        return;
    }
    engine.clearOperationItems();
    for (const archive::ArchiveEntry& entry : state.entries) {
        const std::string path = entry.folder.empty() ? entry.name : entry.folder + "/" + entry.name;
        engine.AddOperationItem(state.archivePath + "/" + path, entry.size,
                                archive::FormatDateText(entry.time));
    }
    engine.testOperationItems();
}

void ArchiveTools::testSelected() {
    archive::ArchiveEngine& engine = m_frame.engine();
    views::CMyTreeView* tree = m_frame.treeAt(1);
    views::CMyListView* list = m_frame.listAt(1);
    archive::DragState& drag = m_frame.document().drag();
    // A folder's members are gathered here, not extracted as a folder dragged from the tree is.
    const std::int32_t kind = drag.sourceKind;
    drag.sourceKind = archive::kDragArchiveList;
    engine.clearOperationItems();
    if (m_frame.activeView() == tree) {
        QTreeWidgetItem* item = tree->currentItem();
        if (item == nullptr || item == tree->rootItem()) {
            drag.sourceKind = kind;
            testArchive();
            return;
        }
        QString folder = tree->treePath(item);
        folder.chop(1);
        engine.AddArchiveFolderItems(folder.toStdString());
    } else {
        const views::TransferSource source = list->selectionSource();
        for (const views::ListRecord& row : source.rows) {
            const std::string name = source.folder + row.name;
            if (row.isFolder()) {
                engine.AddArchiveFolderItems(name);
            } else {
                engine.AddOperationItem(name, row.size, views::dateText(row));
            }
        }
    }
    drag.sourceKind = kind;
    if (engine.state().operationItems.empty()) {
        engine.window().showMessage(kNothingToTest, kTestTexts.doneCaption, archive::MessageIcon::Information,
                                    archive::MessageButtons::Ok);
        return;
    }
    engine.testOperationItems();
}

void ArchiveTools::showProperties() {
    views::CMyTreeView* tree = m_frame.treeAt(1);
    views::CMyListView* list = m_frame.listAt(1);
    if (m_frame.activeView() == tree) {
        QTreeWidgetItem* item = tree->currentItem();
        if (item != nullptr && item != tree->rootItem()) {
            std::string key = views::archiveFolderKey(tree->treePath(item).toStdString());
            key.pop_back();
            showFolderProperties(key);
            return;
        }
    } else if (m_frame.activeView() == list) {
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        if (rows.size() == 1) {
            const int row = rows.front().row();
            const views::ListRecord* record = list->recordAtRow(row);
            if (record != nullptr && record->isFolder()) {
                showFolderProperties(list->memberPathAt(row));
            } else if (record != nullptr) {
                showMemberProperties(list->memberPathAt(row));
            }
            return;
        }
    }
    showArchiveProperties();
}

void ArchiveTools::showArchiveProperties() {
    if (!archiveExists()) {
        return;
    }
    archive::ArchiveEngine& engine = m_frame.engine();
    archive::ArchiveInspector inspector(engine);
    const std::optional<archive::ArchiveInfo> info = inspector.readInfo({});
    if (info) {
        present(archive::archiveProperties(info->archive, engine.state().archivePath,
                                           engine.state().folders.size()));
    }
}

void ArchiveTools::showMemberProperties(const std::string& memberPath) {
    if (!archiveExists()) {
        return;
    }
    archive::ArchiveInspector inspector(m_frame.engine());
    const std::optional<archive::ArchiveInfo> info = inspector.readInfo({memberPath});
    if (info && !info->members.empty()) {
        present(archive::memberProperties(info->members.front()));
    }
}

void ArchiveTools::showFolderProperties(const std::string& folder) {
    const archive::ArchiveState& state = m_frame.engine().state();
    present(archive::folderProperties(state.entries, state.folders, folder));
}

void ArchiveTools::present(const archive::Properties& properties) {
    if (!m_properties) {
        m_properties = new PropertiesWindow(
            &m_frame, [this](const std::string& comment) { return saveComment(comment); });
    }
    m_properties->showProperties(properties);
    m_properties->show();
    m_properties->raise();
    m_properties->activateWindow();
}

bool ArchiveTools::saveComment(const std::string& comment) {
    archive::ArchiveEngine& engine = m_frame.engine();
    archive::ArchiveInspector inspector(engine);
    if (!inspector.replaceComment(comment)) {
        return false;
    }
    showArchiveProperties();
    return true;
}

PropertiesWindow* ArchiveTools::shownProperties() const {
    return m_properties && m_properties->isVisible() ? m_properties.data() : nullptr;
}

void ArchiveTools::find(const QString& text, bool matchCase) {
    views::CMyListView* list = m_frame.listAt(1);
    if (list == nullptr) {
        return;
    }
    list->showFindResults(text, matchCase);
    if (!list->showsFindResults()) {
        m_findBar.setResultText(QString());
    }
}

void ArchiveTools::closeFind() {
    m_findBar.setResultText(QString());
    m_findBar.hide();
    if (views::CMyListView* list = m_frame.listAt(1)) {
        list->endFind();
        m_frame.setActiveView(list);
    }
}

} // namespace frame
