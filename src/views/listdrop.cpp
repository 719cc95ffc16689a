// What a drag released over a list does.
#include "archiveengine.h"
#include "brenlodoc.h"
#include "diskops.h"
#include "mylistview.h"
#include "texts.h"
#include "viewhost.h"

namespace views {

void CMyListView::dropOnRow(int row) {
    if (row < 0 || !isFolderRow(row)) {
        return; // no folder row under the pointer: the drag ends with nothing done
    }
    archive::DragState& drag = m_document.drag();
    const bool fromArchive =
        drag.sourceKind == archive::kDragArchiveTree || drag.sourceKind == archive::kDragArchiveList;
    if (m_role == Role::Archive) {
        if (fromArchive) {
            return; // the archive's own rows or folders are no target in the archive
        }
        // The folder row does not choose a folder inside the archive: the Zip command adds the
        // local file list's selected rows.
        runZipCommand(m_host);
        return;
    }
    archive::ArchiveWindow& window = m_host.window();
    archive::ArchiveEngine& engine = m_host.engine();
    if (fromArchive) {
        engine.state().deleteRequest = false;
    }
    const archive::MessageAnswer answer =
        fromArchive ? window.showMessage(res::kConfirmUnzip, res::kConfirmUnzipCaption,
                                         archive::MessageIcon::Question, archive::MessageButtons::OkCancel)
                    : window.showMessage(res::kConfirmCopy, res::kConfirmCopyCaption,
                                         archive::MessageIcon::Question, archive::MessageButtons::OkCancel);
    if (answer != archive::MessageAnswer::Ok) {
        return;
    }
    m_host.setStatusPaneText(0, QString::fromUtf8(fromArchive ? res::kUnzippingStatus : res::kCopyingStatus));
    archive::PumpPendingMessages(window);
    engine.state().cancelled = false;
    engine.clearOperationItems();
    window.beginWaitCursor();

    if (drag.sourceKind == archive::kDragLocalList || drag.sourceKind == archive::kDragArchiveList) {
        CMyListView* source = drag.sourceKind == archive::kDragLocalList ? this : m_host.listAt(1);
        if (source != nullptr) {
            TransferToFolderRow(*source, row);
        }
    } else {
        const QString folder = m_currentFolder + rowName(row);
        const std::string destination =
            (folder + "\\" + QString::fromStdString(drag.draggedFolderName)).toStdString();
        if (drag.sourceKind == archive::kDragArchiveTree) {
            engine.state().extractDestination = folder.toStdString();
            engine.AddArchiveFolderItems(drag.draggedFolderPath);
        } else {
            DiskOperations disk(window, m_host.drives());
            disk.ReplaceFolderTree(drag.draggedFolderPath, destination);
        }
    }

    refreshPartnerTree();
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kReady));
    window.endWaitCursor();
}

} // namespace views
