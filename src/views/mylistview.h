#pragma once

#include "commandtarget.h"
#include "listrules.h"
#include "sortkey.h"

#include <QPersistentModelIndex>
#include <QPointer>
#include <QStringList>
#include <QTreeView>

class QTreeWidget;
class QTreeWidgetItem;

namespace views {

class CBrenloDoc;
class ListModel;
class ViewHost;

// One list pane: the local file list (role 0, the folder its tree selected on disk) or the
// archive list (role 1, the members and sub-folders of the archive folder its tree selected).
class CMyListView : public QTreeView, public CommandTarget {
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

    // In-place renaming: whether the pane allows it, and whether a rename is under way.
    void setLabelEditing(bool allowed) { m_labelEditAllowed = allowed; }
    bool labelEditingAllowed() const { return m_labelEditAllowed; }
    bool isLabelEditing() const { return m_labelEditing; }

    // What the rows show, for tests and the script driver.
    int rowCount() const;
    QStringList rowTexts(int row) const;
    QStringList columnTitles() const;
    QStringList selectedNames() const;
    // Selects exactly the rows with these names; false if a name has no row.
    bool selectRowsByName(const QStringList& names);
    const ListRecord* recordAtRow(int row) const;

    bool onCommand(int id) override;

protected:
    bool event(QEvent* event) override;

private:
    void onColumnClicked(int column);

    ViewHost& m_host;
    CBrenloDoc& m_document;
    ListModel* m_model = nullptr;
    Role m_role = Role::Local;
    bool m_labelEditing = false;
    bool m_labelEditAllowed = true;
    QString m_currentFolder;
    QPointer<QTreeWidget> m_partnerTree;
    QPersistentModelIndex m_partnerTreeItem;
};

} // namespace views
