#include "mylistview.h"

#include "archiveengine.h"
#include "archivewindow.h"
#include "brenlodoc.h"
#include "hostnames.h"
#include "listmodel.h"
#include "mytreeview.h"
#include "panesteps.h"
#include "texts.h"
#include "viewhost.h"

#include <QFile>
#include <QHeaderView>
#include <QSet>
#include <QTreeWidget>
#include <algorithm>

namespace views {

namespace {

// Row pictures of the document's small image list.
constexpr int kLocalFolderImage = 1;
constexpr int kLocalFileImage = 2;
constexpr int kArchiveFolderImage = 4;
constexpr int kArchiveFileImage = 5;

constexpr int kNameWidth = 170;
constexpr int kSizeWidth = 70;
constexpr int kRatioWidth = 50;
constexpr int kDateWidth = 130;

// The status bar pane that shows a list's count.
int countPane(Role role) {
    return role == Role::Local ? 1 : 2;
}

} // namespace

CMyListView::CMyListView(ViewHost& host, CBrenloDoc& document, QWidget* parent)
    : PaneView<QTreeView>(host, document, parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // keeps a list of 100,000 rows fast to lay out
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false); // the rows arrive in order: see fill()
    header()->setSectionsClickable(true);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this, &CMyListView::onColumnClicked);
}

CMyListView::~CMyListView() = default;

void CMyListView::initialUpdate() {
    m_role = m_document.takeListRole() == 0 ? Role::Local : Role::Archive;
    const bool local = m_role == Role::Local;
    m_model = new ListModel(m_role, m_document.smallImage(local ? kLocalFolderImage : kArchiveFolderImage),
                            m_document.smallImage(local ? kLocalFileImage : kArchiveFileImage), this);
    setModel(m_model);
    setIconSize(QSize(16, 16));
    const std::vector<int> widths =
        local ? std::vector<int>{kNameWidth, kSizeWidth, kDateWidth}
              : std::vector<int>{kNameWidth, kSizeWidth, kSizeWidth, kRatioWidth, kDateWidth};
    for (size_t column = 0; column < widths.size(); ++column) {
        header()->resizeSection(static_cast<int>(column), widths[column]);
    }
    if (CMyTreeView* tree = m_host.treeAt(static_cast<int>(m_role))) {
        tree->expandRootAndSelect();
    }
}

void CMyListView::fill(const QString& folder) {
    if (m_model == nullptr) {
        return;
    }
    if (m_find) {
        // A re-sort or a new listing keeps what was found; a folder chosen in the tree ends it.
        if (m_host.resortInProgress() || m_host.engine().state().archiveJustOpened) {
            fillFindResults();
            return;
        }
        m_find.reset();
        m_model->setShowsFolder(false);
        emit findEnded();
    }
    archive::ArchiveWindow& window = m_host.window();
    if (m_role == Role::Local) {
        m_host.setStatusPaneText(0, QString::fromUtf8(res::kReadingLocalDirectory));
        archive::PumpPendingMessages(window);
    }
    m_model->clearRows();
    if (!m_host.resortInProgress()) {
        const std::string path = folder.toStdString();
        if (m_role == Role::Local) {
            m_model->setRecords(readLocalRecords(m_host.drives(), path));
        } else {
            m_model->setRecords(archiveRecords(m_host.engine().state().entries, archiveFolderKey(path)));
        }
    }
    showRecords();
}

void CMyListView::showRecords() {
    m_model->setRows(orderRows(m_model->records(), m_role, m_host.sortKey()));
    showSortIndicator();
    fitSizeColumns();
    if (m_model->rowCount() > 0) {
        selectionModel()->setCurrentIndex(m_model->index(0, 0),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollToTop();
    }
    m_host.setStatusPaneText(countPane(m_role), QString::fromStdString(countText(
                                                    m_role, static_cast<size_t>(m_model->rowCount()))));
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kReady));
}

void CMyListView::showSortIndicator() {
    const int column = sortIndicatorColumn(m_role, m_host.sortKey());
    header()->setSortIndicatorShown(column >= 0);
    if (column >= 0) {
        header()->setSortIndicator(column, Qt::AscendingOrder);
    }
}

void CMyListView::fitSizeColumns() {
    for (int column : {1, 2}) {
        const int row = widestSizeRow(m_model->records(), m_model->rows(), m_role, column);
        if (row < 0) {
            continue;
        }
        const int needed = sizeHintForIndex(m_model->index(row, column)).width();
        if (needed > header()->sectionSize(column)) {
            header()->resizeSection(column, needed);
        }
    }
}

bool CMyListView::goToParentFolder() {
    const std::string parent = parentFolder(m_role, m_currentFolder.toStdString());
    CMyTreeView* tree = m_host.treeAt(static_cast<int>(m_role));
    return !parent.empty() && tree != nullptr && tree->selectPath(QString::fromStdString(parent));
}

bool CMyListView::openItem(const QModelIndex& index) {
    const ListRecord* record = recordAtRow(index.row());
    if (record == nullptr) {
        return false;
    }
    if (record->isFolder()) {
        // As choosing the folder in the tree beside the list: the tree expands to it and selects it.
        CMyTreeView* tree = m_host.treeAt(static_cast<int>(m_role));
        const std::string folder =
            m_find ? archiveNode() + memberPathAt(index.row()) + "/"
                   : childFolder(m_role, m_currentFolder.toStdString(), rowName(index.row()).toStdString());
        return tree != nullptr && tree->selectPath(QString::fromStdString(folder));
    }
    openFileRow(index.row());
    return true;
}

void CMyListView::openFileRow(int row) {
    const ListRecord* record = recordAtRow(row);
    if (record == nullptr || !m_document.desktop().open) {
        return;
    }
    const std::string name = itemNameAt(row);
    QString path;
    if (m_role == Role::Local) {
        platform::Result<std::string> hostPath = m_host.drives().toHost(name);
        path = hostPath.ok() ? QString::fromStdString(*hostPath) : QString();
    } else {
        const std::int64_t size = record->size;
        const std::string date = dateText(*record);
        const std::optional<std::string> copies = extractCopies(
            m_host, CopiesUse::Open, [&] { m_host.engine().AddOperationItem(name, size, date); });
        if (!copies) {
            return; // the extraction said what went wrong, or was cancelled
        }
        path = QString::fromStdString(extractedHostPath(*copies, name));
        // A copy: what the application changes in it never reaches the archive.
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        m_host.setStatusPaneText(0, QString::fromUtf8(res::kReadOnlyCopyOf) +
                                        QString::fromStdString(platform::shownNameOf(memberPathOf(name))) +
                                        QString::fromUtf8(res::kReadOnlyCopyFrom) +
                                        QString::fromStdString(m_host.engine().state().archiveFileName));
    }
    if (path.isEmpty() || !m_document.desktop().open(path)) {
        m_host.setStatusPaneText(0, QString::fromUtf8(res::kNoApplicationOpens) + rowName(row));
    }
}

void CMyListView::clearRows() {
    if (m_model == nullptr) {
        return;
    }
    m_model->clearRows();
    m_host.setStatusPaneText(countPane(m_role), QString::fromStdString(countText(m_role, 0)));
}

void CMyListView::selectAll() {
    if (m_model == nullptr || m_model->rowCount() == 0) {
        return;
    }
    const QItemSelection all(m_model->index(0, 0),
                             m_model->index(m_model->rowCount() - 1, m_model->columnCount() - 1));
    selectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
}

void CMyListView::setPartnerTreeItem(QTreeWidgetItem* item) {
    m_partnerTree = item != nullptr ? item->treeWidget() : nullptr;
    m_partnerTreeItem =
        m_partnerTree ? QPersistentModelIndex(m_partnerTree->indexFromItem(item)) : QPersistentModelIndex();
}

QTreeWidgetItem* CMyListView::partnerTreeItem() const {
    if (!m_partnerTree || !m_partnerTreeItem.isValid()) {
        return nullptr;
    }
    return m_partnerTree->itemFromIndex(m_partnerTreeItem);
}

void CMyListView::refreshPartnerTree() {
    QTreeWidgetItem* item = partnerTreeItem();
    CMyTreeView* tree = m_host.treeAt(static_cast<int>(m_role));
    if (item == nullptr || tree == nullptr) {
        return;
    }
    if (m_role == Role::Local) {
        tree->rebuildLocalChildren(m_currentFolder, item);
    } else {
        tree->rebuildArchiveChildren(m_currentFolder, item);
    }
}

int CMyListView::rowCount() const {
    return m_model ? m_model->rowCount() : 0;
}

QStringList CMyListView::rowTexts(int row) const {
    if (m_model == nullptr || row < 0 || row >= m_model->rowCount()) {
        return {};
    }
    return m_model->rowTexts(row);
}

QStringList CMyListView::columnTitles() const {
    QStringList titles;
    for (const std::string& title : views::columnTitles(m_role)) {
        titles.push_back(QString::fromStdString(title));
    }
    if (m_model != nullptr && m_model->showsFolder()) {
        titles.push_back(QString::fromUtf8(res::kListColumnFolder));
    }
    return titles;
}

QStringList CMyListView::selectedNames() const {
    QStringList names;
    if (m_model == nullptr) {
        return names;
    }
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows) {
        names.push_back(QString::fromStdString(m_model->recordAt(index.row()).name));
    }
    return names;
}

bool CMyListView::selectRowsByName(const QStringList& names) {
    if (m_model == nullptr) {
        return names.isEmpty();
    }
    const QSet<QString> wanted(names.begin(), names.end());
    QSet<QString> found;
    QItemSelection selection;
    int first = -1;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QString name = QString::fromStdString(m_model->recordAt(row).name);
        if (wanted.contains(name)) {
            found.insert(name);
            selection.select(m_model->index(row, 0), m_model->index(row, m_model->columnCount() - 1));
            first = first < 0 ? row : first;
        }
    }
    selectionModel()->clearSelection();
    if (first >= 0) {
        selectionModel()->setCurrentIndex(m_model->index(first, 0), QItemSelectionModel::NoUpdate);
    }
    selectionModel()->select(selection, QItemSelectionModel::Select);
    return found.size() == wanted.size();
}

int CMyListView::rowNamed(const QString& name) const {
    for (int row = 0; row < rowCount(); ++row) {
        if (rowName(row) == name) {
            return row;
        }
    }
    return -1;
}

QString CMyListView::rowName(int row) const {
    if (m_model == nullptr || row < 0 || row >= m_model->rowCount()) {
        return {};
    }
    return QString::fromStdString(m_model->recordAt(row).name);
}

const ListRecord* CMyListView::recordAtRow(int row) const {
    if (m_model == nullptr || row < 0 || row >= m_model->rowCount()) {
        return nullptr;
    }
    return &m_model->recordAt(row);
}

void CMyListView::onColumnClicked(int column) {
    const SortKey key = sortKeyOfColumn(m_role, column);
    if (key == SortKey::None) {
        return;
    }
    m_host.setSortKey(key);
    m_host.resort();
}

} // namespace views
