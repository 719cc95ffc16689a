// The selection transfers that the drops, the Zip and UnZip commands and the archive list's
// Delete share.
#include "archiveengine.h"
#include "brenlodoc.h"
#include "diskops.h"
#include "fileservices.h"
#include "formats.h"
#include "listmodel.h"
#include "mylistview.h"
#include "texts.h"
#include "viewhost.h"

#include <QItemSelectionModel>
#include <algorithm>

namespace views {

std::vector<int> CMyListView::selectedRowWalk() const {
    std::vector<int> rows;
    if (m_model == nullptr) {
        return rows;
    }
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

QString CMyListView::rowName(int row) const {
    if (m_model == nullptr || row < 0 || row >= m_model->rowCount()) {
        return {};
    }
    return QString::fromStdString(m_model->rowAt(row).name);
}

bool CMyListView::isFolderRow(int row) const {
    const ListRecord* record = recordAtRow(row);
    return record != nullptr && record->isFolder();
}

int CMyListView::rowNamed(const QString& name) const {
    for (int row = 0; row < rowCount(); ++row) {
        if (rowName(row) == name) {
            return row;
        }
    }
    return -1;
}

bool CMyListView::TransferSelection(const QString& destinationFolder, bool add, CMyListView& sourceList) {
    archive::ArchiveEngine& engine = m_host.engine();
    archive::ArchiveState& state = engine.state();
    const std::int32_t kind = m_document.drag().sourceKind;
    DiskOperations disk(m_host.window(), m_host.drives());

    std::string destination = destinationFolder.toStdString();
    if (destination.size() == 3) {
        state.extractDestination = destination.substr(0, 2) + "/"; // a drive root: C:/
    } else if (!destination.empty()) {
        state.extractDestination = destination.substr(0, destination.size() - 1);
    }

    bool failed = false;
    const std::string sourceFolder = sourceList.currentFolder().toStdString();
    for (int row : sourceList.selectedRowWalk()) {
        const std::string name = sourceList.rowName(row).toStdString();
        const std::string itemDestination = destination + name;
        const std::string itemSource = sourceFolder + name;
        const ListRecord* record = sourceList.recordAtRow(row);
        const bool folder = record->isFolder();
        const std::string dateText = sourceList.rowTexts(row).constLast().toStdString();
        if (!state.deleteRequest && kind == archive::kDragLocalList) {
            if (add) {
                if (folder) {
                    if (!AddFolderFiles(itemSource)) {
                        return false; // named in its message; nothing is added
                    }
                } else {
                    engine.AddOperationItem(itemSource, record->size, dateText);
                }
            } else if (folder) {
                if (!disk.ReplaceFolderTree(itemSource, itemDestination)) {
                    failed = true;
                    break;
                }
            } else if (!disk.CopyOneFile(itemSource, itemDestination)) {
                failed = true;
                break;
            }
        } else if (state.deleteRequest || (kind == archive::kDragArchiveList && !add)) {
            if (folder) {
                engine.AddArchiveFolderItems(itemSource);
            } else {
                engine.AddOperationItem(itemSource, record->size, dateText);
            }
        }
        if (state.cancelled) {
            return !failed;
        }
    }
    if (add || kind == archive::kDragArchiveList || state.deleteRequest) {
        engine.RunArchiveOperation(add);
    }
    return !failed;
}

void CMyListView::TransferToFolderRow(CMyListView& sourceList, int folderRow) {
    const archive::ArchiveState& state = m_host.engine().state();
    const std::int32_t kind = m_document.drag().sourceKind;
    const bool localTarget = m_role == Role::Local;
    const QString destination = m_currentFolder + rowName(folderRow) + (localTarget ? "\\" : "/");
    const bool bothLocal = localTarget && sourceList.role() == Role::Local;
    DiskOperations disk(m_host.window(), m_host.drives());
    for (int row : sourceList.selectedRowWalk()) {
        const QString name = sourceList.rowName(row);
        if (!sourceList.isFolderRow(row) || state.deleteRequest ||
            (localTarget && kind != archive::kDragLocalList)) {
            // This handles every selected row again, from the first.
            TransferSelection(destination, false, sourceList);
            return;
        }
        if (bothLocal) {
            const std::string itemSource = (sourceList.currentFolder() + name).toStdString();
            const std::string itemDestination = (destination + name).toStdString();
            if (!disk.ReplaceFolderTree(itemSource, itemDestination)) {
                return;
            }
        }
    }
}

bool CMyListView::AddFolderFiles(const std::string& folder) {
    platform::Result<std::vector<platform::FindEntry>> found =
        platform::findFiles(m_host.drives(), folder + "\\*.*");
    if (!found.ok()) {
        QString text = QString::fromUtf8(res::kFolderUnreadable).arg(QString::fromStdString(folder));
        m_host.window().showMessage(text.toStdString(), res::kFolderUnreadableCaption,
                                    archive::MessageIcon::Stop, archive::MessageButtons::Ok);
        return false;
    }
    for (const platform::FindEntry& entry : *found) {
        if (entry.name == "." || entry.name == "..") {
            continue;
        }
        const std::string path = folder + "\\" + entry.name;
        if (entry.attributes & platform::kAttrReparsePoint) {
            // A link to a folder is not followed: one pointing back up would never end. A link
            // to a file adds the file it names.
            if (!(entry.attributes & platform::kAttrDirectory)) {
                m_host.engine().AddOperationItem(path, entry.size,
                                                 archive::FormatDateText(entry.lastWriteTime));
            }
        } else if (entry.attributes & platform::kAttrDirectory) {
            if (!AddFolderFiles(path)) {
                return false;
            }
        } else {
            m_host.engine().AddOperationItem(path, entry.size, archive::FormatDateText(entry.lastWriteTime));
        }
    }
    return true;
}

void CMyListView::runZipCommand(ViewHost& host) {
    archive::ArchiveEngine& engine = host.engine();
    if (!engine.beginZipCommand()) {
        return;
    }
    host.document().drag().sourceKind = archive::kDragLocalList;
    if (CMyListView* local = host.listAt(0)) {
        local->TransferSelection(QString(), true, *local);
    }
    engine.endZipCommand();
}

} // namespace views
