#include "listmodel.h"

#include "findrules.h"
#include "pictures.h"
#include "texts.h"

namespace views {

ListModel::ListModel(Role role, QIcon folderIcon, QIcon fileIcon, QObject* parent)
    : QAbstractTableModel(parent), m_role(role), m_columnCount(static_cast<int>(columnTitles(role).size())),
      m_folderIcon(std::move(folderIcon)), m_fileIcon(std::move(fileIcon)),
      m_lockedFolderIcon(res::withLock(m_folderIcon)), m_lockedFileIcon(res::withLock(m_fileIcon)) {}

int ListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columnCount + (m_showsFolder ? 1 : 0);
}

void ListModel::setShowsFolder(bool shows) {
    if (shows == m_showsFolder) {
        return;
    }
    beginResetModel();
    m_showsFolder = shows;
    endResetModel();
}

QStringList ListModel::rowTexts(int row) const {
    QStringList texts;
    for (const std::string& text : columnTexts(recordAt(row), m_role)) {
        texts.push_back(QString::fromStdString(text));
    }
    if (m_showsFolder) {
        texts.push_back(QString::fromStdString(folderColumnText(recordAt(row))));
    }
    return texts;
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (index.column() == 0) {
            return QString::fromStdString(recordAt(index.row()).name);
        }
        if (index.column() == m_columnCount) {
            return QString::fromStdString(folderColumnText(recordAt(index.row())));
        }
        return QString::fromStdString(
            columnTexts(recordAt(index.row()), m_role)[static_cast<size_t>(index.column())]);
    case Qt::DecorationRole:
        if (index.column() == 0) {
            const ListRecord& record = recordAt(index.row());
            if (record.encrypted) {
                return record.isFolder() ? m_lockedFolderIcon : m_lockedFileIcon;
            }
            return record.isFolder() ? m_folderIcon : m_fileIcon;
        }
        return {};
    case Qt::TextAlignmentRole: {
        // The sizes: "File Size" in both lists and "Zip Size" in the archive list.
        const bool rightAligned = index.column() == 1 || (m_role == Role::Archive && index.column() == 2);
        return QVariant::fromValue(
            Qt::Alignment((rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    }
    default:
        return {};
    }
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        if (section == m_columnCount) {
            return QString::fromUtf8(res::kListColumnFolder);
        }
        return QString::fromStdString(columnTitles(m_role)[static_cast<size_t>(section)]);
    }
    if (role == Qt::TextAlignmentRole) {
        const bool rightAligned = section == 1 || (m_role == Role::Archive && section == 2);
        return QVariant::fromValue(
            Qt::Alignment((rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    }
    return {};
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == 0 && m_role == Role::Local) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

RecordSet ListModel::records() const {
    if (m_state == nullptr) {
        return RecordSet(m_records);
    }
    return RecordSet(m_state->listingNumber == m_listing ? &m_state->entries : nullptr, m_members, m_records);
}

int ListModel::appendRow(ListRecord record) {
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), row, row);
    m_records.push_back(std::move(record));
    m_rows.push_back(ListRow{static_cast<RecordIndex>(m_members.size() + m_records.size() - 1)});
    endInsertRows();
    return row;
}

void ListModel::setRowName(int row, const std::string& name) {
    if (row < 0 || row >= rowCount()) {
        return;
    }
    const size_t record = m_rows[static_cast<size_t>(row)].record;
    if (record < m_members.size()) {
        return; // the listing's own member: the archive is listed again after a change
    }
    m_records[record - m_members.size()].name = name;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void ListModel::setRows(std::vector<ListRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void ListModel::setRecords(std::vector<ListRecord> records) {
    beginResetModel();
    m_rows.clear();
    m_state = nullptr;
    m_members.clear();
    m_records = std::move(records);
    endResetModel();
}

void ListModel::setRecords(const archive::ArchiveState& state, std::vector<RecordIndex> members,
                           std::vector<ListRecord> own) {
    beginResetModel();
    m_rows.clear();
    m_state = &state;
    m_listing = state.listingNumber;
    m_members = std::move(members);
    m_records = std::move(own);
    endResetModel();
}

void ListModel::clearRows() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

} // namespace views
