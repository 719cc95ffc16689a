#pragma once

#include "findrules.h"
#include "listrules.h"
#include "paneview.h"
#include "sortkey.h"
#include "transfers.h"

#include <QPersistentModelIndex>
#include <QPointer>
#include <QStringList>
#include <QTreeView>
#include <string>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace views {

class CBrenloDoc;
class ListModel;
class ViewHost;

// One list pane: the local file list (role 0, the folder its tree selected on disk) or the
// archive list (role 1, the members and sub-folders of the archive folder its tree selected).
class CMyListView : public PaneView<QTreeView> {
    Q_OBJECT
public:
    CMyListView(ViewHost& host, CBrenloDoc& document, QWidget* parent = nullptr);
    ~CMyListView() override;

    // Takes the role from the document's list counter, sets up the columns, then has the partner
    // tree expand its root and select its first folder, which fills the list.
    void initialUpdate();
    Role role() const { return m_role; }

    // Rebuilds the rows for folder: a disk path ending in "\" or an archive tree path. During a
    // re-sort the kept records are only reordered.
    void fill(const QString& folder);
    // Empties the list without reading anything; the count pane shows 0.
    void clearRows();
    void selectAll() override;

    // Written by the partner tree before each fill.
    void setCurrentFolder(const QString& folder) { m_currentFolder = folder; }
    QString currentFolder() const { return m_currentFolder; }
    void setPartnerTreeItem(QTreeWidgetItem* item);
    // The tree item whose folder the list shows; null once that item has been deleted.
    QTreeWidgetItem* partnerTreeItem() const;
    // After the shown folder changed, has the partner tree read that item's sub-folders again.
    void refreshPartnerTree();

    // What the rows show.
    int rowCount() const;
    QStringList rowTexts(int row) const;
    QStringList columnTitles() const;
    QStringList selectedNames() const;
    // Selects exactly the rows with these names; false if a name has no row.
    bool selectRowsByName(const QStringList& names);
    const ListRecord* recordAtRow(int row) const;
    // The row with exactly this name; -1 if none.
    int rowNamed(const QString& name) const;

    bool onCommand(int id) override;

    // ---- Transfers and drops (listdrop.cpp) ----
    // The selected rows in walk order, as a transfer takes them.
    TransferSource selectionSource() const;
    // Applies one operation to every selected row of sourceList (Transfers::TransferSelection).
    bool TransferSelection(const QString& destinationFolder, bool add, CMyListView& sourceList);
    // Copies or extracts the selected rows of sourceList into this list's folder row folderRow.
    void TransferToFolderRow(CMyListView& sourceList, int folderRow);
    // The Zip command: confirms, then adds the local file list's selected rows to the archive.
    static void runZipCommand(ViewHost& host);
    // The end of a drag released over this list on folder row `row` (-1: no row highlighted):
    // the confirmation, the copy, extract or Zip command, and the refresh that follows.
    void dropOnRow(int row);

    // ---- Finding members (listfind.cpp) ----
    // Shows the members and folders of the whole archive whose names match text, each with the
    // folder it lies in, as rows that are sorted, selected, dragged, extracted and deleted as any
    // rows are. A re-sort orders them, and a new listing of the archive finds them again; a
    // folder chosen in the tree ends the search. An empty text ends it too.
    void showFindResults(const QString& text, bool matchCase);
    // Back to the folder the tree has selected.
    void endFind();
    bool showsFindResults() const { return m_find.has_value(); }
    // The path, inside the archive, of the member or folder a row shows.
    std::string memberPathAt(int row) const;

signals:
    // The list shows what was found, count rows of it (again after a new listing).
    void findResultsShown(int count);
    // The list stopped showing what was found (a folder was chosen in the tree meanwhile).
    void findEnded();

public:
    // ---- File operations (listfileops.cpp) ----
    void newFolder();
    void deleteSelection();
    // Starts an in-place edit of the row's name.
    void editRowLabel(int row);

protected:
    // ---- The pane's own answers (listdrop.cpp, listfileops.cpp) ----
    PanePlace place() const override { return PanePlace{static_cast<int>(m_role), 1}; }
    bool canBeginDragAt(const QPoint& point) const override;
    bool holdsPressAt(const QPoint& point, Qt::KeyboardModifiers modifiers) const override;
    bool fillDragState(const QPoint& point) override;
    QModelIndex dropTargetAt(const QPoint& point) const override;
    void dropOn(const QModelIndex& target) override;
    bool deleteByKey() override;
    void renameLabel(const QModelIndex& index, const QString& text) override;
    std::optional<MenuEntries> prepareContextMenu(const QPoint& point) override;
    bool offersRenameOn(const QModelIndex& index) const override;
    void renameAsMenuDoes(const QModelIndex& index) override;
    QModelIndex labelAt(const QPoint& point) const override;
    bool openItem(const QModelIndex& index) override;
    bool goToParentFolder() override;
    std::string desktopDropFolder(const QModelIndex& target) const override;
    void showDesktopCopy(const QModelIndex& target, const std::string& folder) override;

private:
    // The rows of the records the model holds now, ordered and shown as fill shows them.
    void showRecords();
    // Rebuilds the find results from the entries (or only reorders them during a re-sort).
    void fillFindResults();
    // The archive's own node of the current folder, "C:\a.zip/", in front of every member path.
    std::string archiveNode() const;
    // The name an operation item of the row takes: the folder shown and the row's name, or for a
    // find result the archive's node and the member's path.
    std::string itemNameAt(int row) const;

    struct FindQuery {
        std::string text;
        bool matchCase = false;
    };
    std::optional<FindQuery> m_find;
    FoldedNames m_foldedNames; // of the listing searched last

    // Widens the size columns to their widest text, never below the widths they start with.
    void fitSizeColumns();
    // The header's sort indicator on the column of the current key.
    void showSortIndicator();
    // Double-click or Enter on a file row: the desktop's default application opens it, a member
    // as a read-only copy extracted for it.
    void openFileRow(int row);
    void onColumnClicked(int column);
    QString rowName(int row) const;
    Transfers transfers();

    ListModel* m_model = nullptr;
    Role m_role = Role::Local;
    QString m_currentFolder;
    QPointer<QTreeWidget> m_partnerTree;
    QPersistentModelIndex m_partnerTreeItem;
    // The row the last right click hit, which Rename renames.
    int m_clickedRow = -1;
};

} // namespace views
