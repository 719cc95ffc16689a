// The archive list as the find bar's result view: what was found, where it lies, and how its rows
// are named for the operations that take them.
#include "archiveengine.h"
#include "listmodel.h"
#include "mylistview.h"
#include "texts.h"
#include "viewhost.h"

#include <QItemSelectionModel>

namespace views {

void CMyListView::showFindResults(const QString& text, bool matchCase) {
    if (m_model == nullptr || m_role != Role::Archive) {
        return;
    }
    if (text.isEmpty()) {
        endFind();
        return;
    }
    m_find = FindQuery{text.toStdString(), matchCase};
    fillFindResults();
}

void CMyListView::endFind() {
    if (!m_find) {
        return;
    }
    m_find.reset();
    m_model->setShowsFolder(false);
    fill(m_currentFolder);
}

void CMyListView::fillFindResults() {
    archive::WaitCursor wait(m_host.window());
    m_model->clearRows();
    if (!m_host.resortInProgress()) {
        const archive::ArchiveState& state = m_host.engine().state();
        m_model->setShowsFolder(true);
        FoundRecords found = findRecords(state, NamePattern(m_find->text, m_find->matchCase), m_foldedNames);
        m_model->setRecords(state, std::move(found.members), std::move(found.folders));
    }
    showRecords();
    emit findResultsShown(m_model->rowCount());
}

std::string CMyListView::archiveNode() const {
    const std::string folder = m_currentFolder.toStdString();
    const size_t slash = folder.find('/');
    return slash == std::string::npos ? folder + "/" : folder.substr(0, slash + 1);
}

std::string CMyListView::memberPathAt(int row) const {
    const ListRecord* record = recordAtRow(row);
    if (record == nullptr) {
        return {};
    }
    if (m_find) {
        return resultPath(*record);
    }
    const std::string key = archiveFolderKey(m_currentFolder.toStdString());
    return key + m_model->recordAt(row).name;
}

std::string CMyListView::itemNameAt(int row) const {
    if (m_find) {
        return archiveNode() + memberPathAt(row);
    }
    return m_currentFolder.toStdString() + rowName(row).toStdString();
}

} // namespace views
