#pragma once

#include "listrules.h"
#include "sortkey.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <vector>

namespace views {

// The rows of one list over its kept records: a folder of 100,000 files is one vector of
// records and one of rows, and the view asks only for the rows it paints.
class ListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    ListModel(Role role, QIcon folderIcon, QIcon fileIcon, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // A name can be edited in place in the local list; the view renames the file, not the model.
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    RecordSet records() const;
    const ListRecord& recordAt(int row) const { return records()[m_rows[static_cast<size_t>(row)].record]; }
    const std::vector<ListRow>& rows() const { return m_rows; }
    QStringList rowTexts(int row) const;

    // Whether a last column says in which folder each row lies: the archive list while it shows
    // what the find bar found.
    void setShowsFolder(bool shows);
    bool showsFolder() const { return m_showsFolder; }

    // Replaces the records; the rows, which pointed into the old ones, are emptied.
    void setRecords(std::vector<ListRecord> records);
    // The same with members of the archive's listing (their places in state's entries) as the
    // first records, which stay the listing's own; a listing that replaces it leaves their rows
    // empty until the records are set again.
    void setRecords(const archive::ArchiveState& state, std::vector<RecordIndex> members,
                    std::vector<ListRecord> own);
    void setRows(std::vector<ListRow> rows);
    void clearRows();
    // A row added after the fill, at the bottom whatever the order (a new folder).
    int appendRow(ListRecord record);
    // A row renamed on disk shows its new name where it is; the next fill sorts it.
    void setRowName(int row, const std::string& name);

private:
    Role m_role;
    int m_columnCount;
    bool m_showsFolder = false;
    QIcon m_folderIcon;
    QIcon m_fileIcon;
    QIcon m_lockedFolderIcon; // a folder that holds encrypted members
    QIcon m_lockedFileIcon;   // an encrypted member
    std::vector<ListRecord> m_records;
    const archive::ArchiveState* m_state = nullptr; // whose members are borrowed, of listing m_listing
    std::uint64_t m_listing = 0;
    std::vector<RecordIndex> m_members;
    std::vector<ListRow> m_rows;
};

} // namespace views
