#include "mytreeview.h"

#include "archiveengine.h"
#include "archivewindow.h"
#include "brenlodoc.h"
#include "hostnames.h"
#include "listrules.h"
#include "mylistview.h"
#include "pictures.h"
#include "texts.h"
#include "viewhost.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QSet>
#include <QTreeWidgetItemIterator>

namespace views {

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kPlaceholderRole = Qt::UserRole + 1;
constexpr int kEncryptedRole = Qt::UserRole + 2;

// The picture an item of this kind shows while it is selected.
int selectedImage(int kind) {
    switch (kind) {
    case kNodeLocalFolder:
        return kNodeLocalFolderOpen;
    case kNodeArchiveFolder:
        return kNodeArchiveFolderOpen;
    default:
        return kind;
    }
}

bool setExpandedIfFound(QTreeWidgetItem* item, bool expanded) {
    if (item != nullptr) {
        item->setExpanded(expanded);
    }
    return item != nullptr;
}

// Sets a flag for as long as it lives.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagScope() { m_flag = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
};

} // namespace

CMyTreeView::CMyTreeView(ViewHost& host, CBrenloDoc& document, QWidget* parent)
    : PaneView<QTreeWidget>(host, document, parent) {
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setRootIsDecorated(true);
    setIconSize(QSize(16, 16));
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { onCurrentItemChanged(current); });
    connect(this, &QTreeWidget::itemExpanded, this, &CMyTreeView::onItemExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &CMyTreeView::onItemCollapsed);
}

CMyTreeView::~CMyTreeView() = default;

void CMyTreeView::initialUpdate() {
    m_rootRebuild = false;
    m_role = m_document.takeTreeRole() == 0 ? Role::Local : Role::Archive;
    m_partnerList = m_host.listAt(static_cast<int>(m_role));
    m_populating = false;
    rebuildRoot();
}

QIcon CMyTreeView::nodeIcon(int kind, bool locked) {
    QHash<int, QIcon>& icons = locked ? m_lockedIcons : m_icons;
    auto found = icons.find(kind);
    if (found != icons.end()) {
        return *found;
    }
    QIcon icon;
    icon.addPixmap(m_document.smallImage(kind).pixmap(16, 16), QIcon::Normal);
    icon.addPixmap(m_document.smallImage(selectedImage(kind)).pixmap(16, 16), QIcon::Selected);
    if (locked) {
        icon = res::withLock(icon);
    }
    icons.insert(kind, icon);
    return icon;
}

QTreeWidgetItem* CMyTreeView::addNode(QTreeWidgetItem* parent, const QString& text, int kind) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, text);
    item->setIcon(0, nodeIcon(kind));
    item->setData(0, kKindRole, kind);
    // Only the program starts an edit, and only on a folder (mayEditLabel).
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    return item;
}

// A folder gets a placeholder child so that it shows an expand button before it is read.
QTreeWidgetItem* CMyTreeView::addFolderNode(QTreeWidgetItem* parent, const QString& text, int kind) {
    QTreeWidgetItem* folder = addNode(parent, text, kind);
    QTreeWidgetItem* placeholder = addNode(folder, QString::fromUtf8(res::kEmptyFolder),
                                           m_role == Role::Local ? kNodeLocalFolder : kNodeArchiveFolder);
    placeholder->setData(0, kPlaceholderRole, true);
    return folder;
}

void CMyTreeView::deleteChildren(QTreeWidgetItem* item) {
    const QList<QTreeWidgetItem*> children = item->takeChildren();
    qDeleteAll(children);
}

bool CMyTreeView::rebuildRoot() {
    if (m_role == Role::Local) {
        archive::WaitCursor wait(m_host.window());
        const platform::DriveMap& drives = m_host.drives();
        const std::vector<char> letters = driveLetters(
            m_host.useDriveA(), [&drives](char letter) { return drives.canChangeToDrive(letter); });
        {
            FlagScope populating(m_populating);
            clear();
        }
        m_rootItem = addNode(nullptr, QString::fromUtf8(res::kLocalComputer), kNodeComputer);
        for (char letter : letters) {
            addFolderNode(m_rootItem, QString::fromStdString(driveText(letter)), kNodeDrive);
        }
        return true;
    }

    {
        FlagScope rootRebuild(m_rootRebuild);
        clear();
    }
    if (m_partnerList != nullptr) {
        m_partnerList->clearRows();
    }
    m_rootItem = addNode(nullptr, QString::fromStdString(m_host.scratchDir() + res::kBlankArchiveName),
                         kNodeArchiveRoot);
    const archive::ArchiveState& state = m_host.engine().state();
    if (state.archiveJustOpened) {
        m_rootItem->setText(0, QString::fromStdString(state.archivePath));
        m_host.setTitleFileName(QString::fromStdString(platform::shownNameOf(state.archiveFileName)));
        rebuildArchiveChildren(QString(), m_rootItem);
        expandRootAndSelect();
    }
    return true;
}

void CMyTreeView::expandRootAndSelect() {
    if (m_rootItem == nullptr) {
        return;
    }
    m_rootItem->setExpanded(true);
    QTreeWidgetItem* target = m_rootItem;
    if (m_role == Role::Local && m_rootItem->childCount() > 0) {
        target = m_rootItem->child(0);
    }
    if (currentItem() == target) {
        // The selection does not move, so no change arrives: show it all the same.
        onCurrentItemChanged(target);
    } else {
        setCurrentItem(target);
    }
}

void CMyTreeView::rebuildLocalChildren(const QString& nodePath, QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kReadingLocalDirectory));
    // The messages let through to paint the text may rebuild the tree: find the item again.
    const QPersistentModelIndex where(indexFromItem(item));
    archive::PumpPendingMessages(m_host.window());
    item = itemFromIndex(where);
    if (item == nullptr) {
        m_host.setStatusPaneText(0, QString::fromUtf8(res::kReady));
        return;
    }
    {
        FlagScope populating(m_populating);
        deleteChildren(item);
        for (const std::string& folder : readLocalSubFolders(m_host.drives(), nodePath.toStdString())) {
            addFolderNode(item, QString::fromStdString(folder), kNodeLocalFolder);
        }
    }
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kReady));
}

void CMyTreeView::rebuildArchiveChildren(const QString& treePath, QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    {
        FlagScope populating(m_populating);
        deleteChildren(item);
        const archive::ArchiveState& state = m_host.engine().state();
        const std::string key = archiveFolderKey(treePath.toStdString());
        for (const std::string& folder : archiveSubFolders(state.folders, treePath.toStdString())) {
            QTreeWidgetItem* node = addFolderNode(item, QString::fromStdString(folder), kNodeArchiveFolder);
            if (state.encryptedFolders.count(key + folder) != 0) {
                node->setIcon(0, nodeIcon(kNodeArchiveFolder, true));
                node->setData(0, kEncryptedRole, true);
            }
        }
    }
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kReady));
}

void CMyTreeView::showSelectionInList() {
    QTreeWidgetItem* item = currentItem();
    if (item == nullptr || m_partnerList == nullptr) {
        return;
    }
    m_partnerList->setPartnerTreeItem(item);
    const QString folder = m_role == Role::Local ? nodePath(item) : treePath(item);
    m_partnerList->setCurrentFolder(folder);
    m_partnerList->fill(folder);
}

bool CMyTreeView::holdsEncrypted(const QTreeWidgetItem* item) {
    return item != nullptr && item->data(0, kEncryptedRole).toBool();
}

int CMyTreeView::nodeKind(const QTreeWidgetItem* item) {
    return item ? item->data(0, kKindRole).toInt() : -1;
}

bool CMyTreeView::isPlaceholder(const QTreeWidgetItem* item) {
    return item && item->data(0, kPlaceholderRole).toBool();
}

QString CMyTreeView::nodePath(const QTreeWidgetItem* item) const {
    std::vector<std::string> folders;
    for (; item != nullptr; item = item->parent()) {
        const int kind = nodeKind(item);
        if (kind == kNodeDrive) {
            std::reverse(folders.begin(), folders.end());
            return QString::fromStdString(views::nodePath(item->text(0).toStdString(), folders));
        }
        if (kind != kNodeLocalFolder) {
            break; // the computer root or an archive item: no disk path
        }
        folders.push_back(item->text(0).toStdString());
    }
    return {};
}

QString CMyTreeView::treePath(const QTreeWidgetItem* item) const {
    std::vector<std::string> texts;
    for (; item != nullptr; item = item->parent()) {
        texts.push_back(item->text(0).toStdString());
    }
    std::reverse(texts.begin(), texts.end());
    return QString::fromStdString(views::treePath(texts));
}

QString CMyTreeView::itemPath(const QTreeWidgetItem* item) const {
    if (item == nullptr) {
        return {};
    }
    if (m_role == Role::Archive) {
        return treePath(item);
    }
    return nodeKind(item) == kNodeComputer ? item->text(0) : nodePath(item);
}

QTreeWidgetItem* CMyTreeView::findItem(const QString& path) const {
    for (QTreeWidgetItemIterator it(const_cast<CMyTreeView*>(this)); *it; ++it) {
        if (!isPlaceholder(*it) && itemPath(*it) == path) {
            return *it;
        }
    }
    return nullptr;
}

QTreeWidgetItem* CMyTreeView::revealItem(const QString& path) {
    QSet<QString> expandedOnTheWay;
    for (;;) {
        if (QTreeWidgetItem* found = findItem(path)) {
            // Shown means every folder above it is expanded. Expanding one reads it again and
            // replaces the items below it, so the item is looked for again after each.
            QTreeWidgetItem* collapsed = nullptr;
            for (QTreeWidgetItem* up = found->parent(); up != nullptr; up = up->parent()) {
                collapsed = up->isExpanded() ? collapsed : up;
            }
            if (collapsed == nullptr || expandedOnTheWay.contains(itemPath(collapsed))) {
                return found;
            }
            expandedOnTheWay.insert(itemPath(collapsed));
            collapsed->setExpanded(true);
            continue;
        }
        // The deepest shown item whose path begins the wanted one is the next to read.
        QTreeWidgetItem* deepest = nullptr;
        qsizetype deepestLength = -1;
        for (QTreeWidgetItemIterator it(this); *it; ++it) {
            const QString itemText = itemPath(*it);
            if (isPlaceholder(*it) || itemText.isEmpty() || !path.startsWith(itemText) ||
                expandedOnTheWay.contains(itemText) || itemText.size() <= deepestLength) {
                continue;
            }
            deepest = *it;
            deepestLength = itemText.size();
        }
        if (deepest == nullptr) {
            return nullptr;
        }
        expandedOnTheWay.insert(itemPath(deepest));
        if (deepest->isExpanded()) {
            onItemExpanded(deepest); // read it again: the folder may be new
        } else {
            deepest->setExpanded(true);
        }
    }
}

bool CMyTreeView::selectPath(const QString& path) {
    QTreeWidgetItem* item = revealItem(path);
    if (item != nullptr) {
        setCurrentItem(item);
    }
    return item != nullptr;
}

bool CMyTreeView::expandPath(const QString& path) {
    return setExpandedIfFound(revealItem(path), true);
}

bool CMyTreeView::collapsePath(const QString& path) {
    return setExpandedIfFound(findItem(path), false);
}

bool CMyTreeView::swallowsKey(const QKeyEvent& key) const {
    // "*" would expand every folder below the item, reading a whole drive (and round any folder
    // link that points back up) on the one thread the window runs on.
    return m_role == Role::Local && key.key() == Qt::Key_Asterisk;
}

void CMyTreeView::onCurrentItemChanged(QTreeWidgetItem* current) {
    archive::WaitCursor wait(m_host.window());
    if (m_rootRebuild || current == nullptr || m_partnerList == nullptr) {
        return;
    }
    if (nodeKind(current) == kNodeComputer) {
        m_partnerList->clearRows();
        return;
    }
    if (!m_populating) {
        showSelectionInList();
        m_partnerList->selectAll();
    }
}

void CMyTreeView::onItemExpanded(QTreeWidgetItem* item) {
    archive::WaitCursor wait(m_host.window());
    const int kind = nodeKind(item);
    // The roots' children are built with the root.
    if (kind == kNodeComputer || kind == kNodeArchiveRoot || isPlaceholder(item)) {
        return;
    }
    if (m_role == Role::Local) {
        rebuildLocalChildren(nodePath(item), item);
    } else {
        rebuildArchiveChildren(treePath(item), item);
    }
}

void CMyTreeView::onItemCollapsed(QTreeWidgetItem* item) {
    archive::WaitCursor wait(m_host.window());
    setCurrentItem(item);
}

} // namespace views
