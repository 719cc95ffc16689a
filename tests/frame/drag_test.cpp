// The drag between the four panes with real mouse events: the panes sit in the real splitter and
// the frame's drag routing is on, so events go where Qt would send them (the pane that got the
// press while the button is held) and the routing passes them on.
#include "dragrouter.h"
#include "fakehost.h"
#include "fourpanes.h"
#include "offscreenmain.h"
#include "sandbox.h"

#include <QSplitter>
#include <QSplitterHandle>
#include <filesystem>

using testsupport::FakeHost;
using testsupport::Sandbox;
using views::kOwnerArchiveList;
using views::kOwnerArchiveTree;
using views::kOwnerLocalList;
using views::kOwnerLocalTree;

namespace {

void makeFolder(const Sandbox& sandbox, const std::string& relative) {
    std::filesystem::create_directories(sandbox.hostPath(relative));
}

void makeFile(const Sandbox& sandbox, const std::string& relative) {
    testsupport::writeFile(sandbox.hostPath(relative), "x");
}

// The four panes of a fake frame in the real splitter, with the drag routing on.
struct DragBench {
    FakeHost host;
    frame::FourPanes panes;

    DragBench() {
        host.createPanes();
        panes.setPane(0, 0, host.trees[0]);
        panes.setPane(0, 1, host.lists[0]);
        panes.setPane(1, 0, host.trees[1]);
        panes.setPane(1, 1, host.lists[1]);
        host.container.hide();
        panes.resize(900, 600);
        panes.show();
        new frame::DragRouter(host, &panes);
    }

    archive::DragState& drag() { return host.doc->drag(); }
    // The pane whose owner flag is set; -1 for none.
    int owner() {
        for (int index = 0; index < 4; ++index) {
            if (drag().ownerFlags[index] != 0) {
                return index;
            }
        }
        return -1;
    }
    QWidget* holder() { return host.doc->dragTracker().mouseHolder(); }
};

// The mouse as a user moves it: pressed in one pane, moved in small steps, released. While the
// button is held every event goes to the widget that got the press, as Qt sends it.
class Pointer {
public:
    explicit Pointer(DragBench& bench) : m_bench(bench) {}

    void press(QWidget* client, const QPoint& global) {
        m_pressed = client;
        m_at = global;
        QTest::mousePress(client, Qt::LeftButton, Qt::NoModifier, client->mapFromGlobal(global));
    }
    void moveTo(const QPoint& global) {
        const QPoint delta = global - m_at;
        const int steps = std::max(1, std::max(std::abs(delta.x()), std::abs(delta.y())) / 4);
        const QPoint from = m_at;
        for (int step = 1; step <= steps; ++step) {
            m_at = from + delta * step / steps;
            if (m_pressed != nullptr) {
                QTest::mouseMove(m_pressed, m_pressed->mapFromGlobal(m_at));
            } else {
                // No button held: the move goes to whatever lies under the pointer.
                QWidget* window = &m_bench.panes;
                QWidget* under = window->childAt(window->mapFromGlobal(m_at));
                under = under != nullptr ? under : window;
                QMouseEvent move(QEvent::MouseMove, QPointF(under->mapFromGlobal(m_at)), QPointF(m_at),
                                 Qt::NoButton, Qt::NoButton, Qt::NoModifier);
                QApplication::sendEvent(under, &move);
            }
            m_mostOwners = std::max(m_mostOwners, views::ownerCount(m_bench.drag()));
        }
    }
    // Far enough for a press to become a drag.
    void startDrag() { moveTo(m_at + QPoint(QApplication::startDragDistance() + 2, 0)); }
    void release() {
        QTest::mouseRelease(m_pressed, Qt::LeftButton, Qt::NoModifier, m_pressed->mapFromGlobal(m_at));
        m_pressed = nullptr;
    }
    // A press and release with the pointer where it is, sent to the widget under it.
    void click(QWidget* client) {
        press(client, m_at);
        release();
    }
    QPoint at() const { return m_at; }
    int mostOwnersAtOnce() const { return m_mostOwners; }

private:
    DragBench& m_bench;
    QWidget* m_pressed = nullptr;
    QPoint m_at;
    int m_mostOwners = 0;
};

QPoint onIcon(QAbstractScrollArea* pane, const QRect& cell) {
    return pane->viewport()->mapToGlobal(QPoint(cell.left() + 10, cell.center().y()));
}

QPoint itemSpot(views::CMyTreeView& tree, const QString& path) {
    QTreeWidgetItem* item = tree.revealItem(path);
    return item != nullptr ? onIcon(&tree, tree.visualItemRect(item)) : QPoint();
}

int rowOf(views::CMyListView& list, const QString& name) {
    for (int row = 0; row < list.rowCount(); ++row) {
        if (list.rowTexts(row).value(0) == name) {
            return row;
        }
    }
    return -1;
}

QPoint rowSpot(views::CMyListView& list, const QString& name) {
    const int row = rowOf(list, name);
    return row >= 0 ? onIcon(&list, list.visualRect(list.model()->index(row, 0))) : QPoint();
}

QPoint centreOf(QAbstractScrollArea* pane) {
    return pane->viewport()->mapToGlobal(pane->viewport()->rect().center());
}

// Inside a pane's client area, below every row.
QPoint emptySpaceOf(QAbstractScrollArea* pane) {
    return pane->viewport()->mapToGlobal(QPoint(10, pane->viewport()->height() - 4));
}

QPoint handleCentre(QSplitter* splitter) {
    QSplitterHandle* handle = splitter->handle(1);
    return handle->mapToGlobal(handle->rect().center());
}

Qt::CursorShape dragCursor() {
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor != nullptr ? cursor->shape() : Qt::BitmapCursor; // BitmapCursor: none set
}

bool imageShown(views::DragImage* image) {
    return image != nullptr && image->isShown();
}

} // namespace

class DragTest : public QObject {
    Q_OBJECT
private slots:
    void handOverFromLocalTreeToLocalList();
    void handOverFromArchiveTreeUpToLocalTree();
    void releaseOnSplitterBarKeepsDragPending();
    void aPaneLeftAndEnteredAgainTakesTheDragBack_data();
    void aPaneLeftAndEnteredAgainTakesTheDragBack();
    void releaseWithoutFolderRowDoesNothing_data();
    void releaseWithoutFolderRowDoesNothing();
    void archiveListRowsAreNoTargetForArchiveSide_data();
    void archiveListRowsAreNoTargetForArchiveSide();
    void aFolderDraggedFromTheTreeHasAllItsRowsSelected();
    void rootsStartNoDrag_data();
    void rootsStartNoDrag();
    void pressOnSelectedRowDragsTheWholeSelection();
};

void DragTest::handOverFromLocalTreeToLocalList() {
    Sandbox sandbox;
    makeFolder(sandbox, "Data/Sub/Deep");
    makeFile(sandbox, "Data/Sub/f.txt");
    DragBench bench;
    views::CMyTreeView& tree = *bench.host.trees[0];
    views::CMyListView& list = *bench.host.lists[0];
    QVERIFY(tree.expandPath("C:\\Data\\"));
    Pointer pointer(bench);

    pointer.press(tree.viewport(), itemSpot(tree, "C:\\Data\\Sub\\"));
    pointer.startDrag();
    QCOMPARE(bench.owner(), int(kOwnerLocalTree));
    QCOMPARE(bench.holder(), &tree);
    QCOMPARE(bench.drag().sourceKind, archive::kDragLocalTree);
    QCOMPARE(bench.drag().imageIndex, 0);
    QCOMPARE(bench.drag().draggedFolderPath, std::string("C:\\Data\\Sub\\"));
    QCOMPARE(bench.drag().draggedFolderName, std::string("Sub"));
    // The dragged folder is selected: the list shows it, every row selected.
    QCOMPARE(list.currentFolder(), QString("C:\\Data\\Sub\\"));
    QCOMPARE(list.selectedNames(), QStringList({"Deep", "f.txt"}));
    QVERIFY(imageShown(tree.dragImage()));
    QCOMPARE(tree.dragImage()->pos(), tree.viewport()->mapFromGlobal(pointer.at()) + QPoint(0, 20));
    QCOMPARE(dragCursor(), Qt::ArrowCursor); // over Sub itself, a folder of the local tree

    // Just right of the tree: it lets go of the mouse and hides its image, but still owns the drag.
    const QPoint rightOfTree = tree.viewport()->mapToGlobal(QPoint(tree.viewport()->width() + 1, 0));
    pointer.moveTo(QPoint(rightOfTree.x(), pointer.at().y()));
    QCOMPARE(bench.owner(), int(kOwnerLocalTree));
    QCOMPARE(bench.holder(), nullptr);
    QVERIFY(!imageShown(tree.dragImage()));
    QCOMPARE(dragCursor(), Qt::BitmapCursor);

    // Over the list: the list takes the drag over.
    bench.host.fakeWindow.calls.clear();
    pointer.moveTo(centreOf(&list));
    QCOMPARE(bench.owner(), int(kOwnerLocalList));
    QCOMPARE(bench.holder(), &list);
    QVERIFY(imageShown(list.dragImage()));
    QVERIFY(!imageShown(tree.dragImage()));
    QCOMPARE(list.dragImage()->pos(), list.viewport()->mapFromGlobal(pointer.at()) + QPoint(0, 20));
    QCOMPARE(bench.host.fakeWindow.callsStartingWith("repaint").size(), size_t(1));
    QCOMPARE(bench.drag().sourceKind, archive::kDragLocalTree);
    QCOMPARE(bench.drag().draggedFolderPath, std::string("C:\\Data\\Sub\\"));

    // The row under the pointer shows the drop highlight, the way a selected row looks.
    const QRect deepRow = list.visualRect(list.model()->index(rowOf(list, "Deep"), 0));
    list.selectionModel()->clearSelection();
    const QImage plain = list.viewport()->grab(deepRow).toImage();
    pointer.moveTo(rowSpot(list, "Deep"));
    QCOMPARE(list.dropTarget().row(), rowOf(list, "Deep"));
    QCOMPARE(list.dropHighlighted().row(), rowOf(list, "Deep"));
    QCOMPARE(dragCursor(), Qt::ArrowCursor);
    list.dragImage()->hide(); // the picture must not stand in for the highlight
    QVERIFY(list.viewport()->grab(deepRow).toImage() != plain);
    list.dragImage()->show();
    pointer.moveTo(rowSpot(list, "f.txt"));
    QCOMPARE(list.dropTarget().row(), -1);
    QCOMPARE(list.dropHighlighted().row(), -1);
    QCOMPARE(dragCursor(), Qt::ForbiddenCursor);
    QCOMPARE(list.viewport()->grab(deepRow).toImage(), plain);

    // Released over a file row: the drag ends and nothing is dropped.
    pointer.release();
    QCOMPARE(bench.owner(), -1);
    QCOMPARE(bench.holder(), nullptr);
    QVERIFY(!imageShown(list.dragImage()));
    QCOMPARE(dragCursor(), Qt::BitmapCursor);
    QVERIFY(bench.host.fakeWindow.boxes().empty());
    QCOMPARE(pointer.mostOwnersAtOnce(), 1);
}

void DragTest::handOverFromArchiveTreeUpToLocalTree() {
    Sandbox sandbox;
    DragBench bench;
    bench.host.openListing(testsupport::readTestFixture("archive/fixtures/nested-listing.txt"),
                           "C:\\nested.zip", "nested.zip");
    views::CMyTreeView& archiveTree = *bench.host.trees[1];
    views::CMyTreeView& localTree = *bench.host.trees[0];
    Pointer pointer(bench);

    pointer.press(archiveTree.viewport(), itemSpot(archiveTree, "C:\\nested.zip/docs/"));
    pointer.startDrag();
    QCOMPARE(bench.owner(), int(kOwnerArchiveTree));
    QCOMPARE(bench.drag().sourceKind, archive::kDragArchiveTree);
    QCOMPARE(bench.drag().imageIndex, 1);
    QCOMPARE(bench.drag().draggedFolderPath, std::string("C:\\nested.zip/docs"));
    QCOMPARE(bench.drag().draggedFolderName, std::string("docs"));
    QCOMPARE(bench.host.lists[1]->selectedNames(), QStringList({"old", "b.txt"}));
    // Nothing of the archive tree takes an archive folder.
    QCOMPARE(dragCursor(), Qt::ForbiddenCursor);
    QCOMPARE(archiveTree.itemFromIndex(archiveTree.dropTarget()), nullptr);

    // Straight up: the archive tree lets go at its top edge and the local tree takes over.
    const QPoint overLocalTree =
        localTree.viewport()->mapToGlobal(QPoint(10, localTree.viewport()->height() - 4));
    pointer.moveTo(QPoint(pointer.at().x(), overLocalTree.y()));
    QCOMPARE(bench.owner(), int(kOwnerLocalTree));
    QCOMPARE(bench.holder(), &localTree);
    QVERIFY(imageShown(localTree.dragImage()));
    QVERIFY(!imageShown(archiveTree.dragImage()));
    QCOMPARE(bench.drag().sourceKind, archive::kDragArchiveTree);
    QCOMPARE(bench.drag().draggedFolderPath, std::string("C:\\nested.zip/docs"));

    pointer.moveTo(itemSpot(localTree, "C:\\"));
    QCOMPARE(localTree.itemFromIndex(localTree.dropTarget()), localTree.findItem("C:\\"));
    QCOMPARE(localTree.itemFromIndex(localTree.dropHighlighted()), localTree.findItem("C:\\"));
    QCOMPARE(dragCursor(), Qt::ArrowCursor);
    // "Local Computer" never takes a drop.
    pointer.moveTo(itemSpot(localTree, "Local Computer"));
    QCOMPARE(localTree.itemFromIndex(localTree.dropTarget()), nullptr);
    QCOMPARE(localTree.itemFromIndex(localTree.dropHighlighted()), nullptr);
    QCOMPARE(dragCursor(), Qt::ForbiddenCursor);

    pointer.release();
    QCOMPARE(bench.owner(), -1);
    QVERIFY(!imageShown(localTree.dragImage()));
    QVERIFY(bench.host.fakeWindow.boxes().empty());
    QCOMPARE(pointer.mostOwnersAtOnce(), 1);
}

void DragTest::releaseOnSplitterBarKeepsDragPending() {
    Sandbox sandbox;
    makeFolder(sandbox, "Data/Sub");
    makeFile(sandbox, "Data/Sub/a.txt");
    makeFile(sandbox, "Data/Sub/b.txt");
    DragBench bench;
    views::CMyTreeView& tree = *bench.host.trees[0];
    views::CMyListView& list = *bench.host.lists[0];
    QVERIFY(tree.expandPath("C:\\Data\\"));
    Pointer pointer(bench);

    pointer.press(tree.viewport(), itemSpot(tree, "C:\\Data\\Sub\\"));
    pointer.startDrag();
    pointer.moveTo(QPoint(handleCentre(bench.panes.row(0)).x(), pointer.at().y()));
    pointer.release();
    // No pane took the release: the tree still owns the drag, with no image and no mouse.
    QCOMPARE(bench.owner(), int(kOwnerLocalTree));
    QCOMPARE(bench.holder(), nullptr);
    QVERIFY(!imageShown(tree.dragImage()));
    QVERIFY(bench.host.fakeWindow.boxes().empty());

    // The next move over a pane, with no button held, resumes the drag there.
    pointer.moveTo(rowSpot(list, "b.txt"));
    QCOMPARE(bench.owner(), int(kOwnerLocalList));
    QCOMPARE(bench.holder(), &list);
    QVERIFY(imageShown(list.dragImage()));
    QCOMPARE(dragCursor(), Qt::ForbiddenCursor);

    // A click there ends it: the press changes no selection, the release drops nothing.
    pointer.click(list.viewport());
    QCOMPARE(bench.owner(), -1);
    QCOMPARE(list.selectedNames(), QStringList({"a.txt", "b.txt"}));
    QVERIFY(!imageShown(list.dragImage()));
    QVERIFY(bench.host.fakeWindow.boxes().empty());
    QCOMPARE(pointer.mostOwnersAtOnce(), 1);
}

void DragTest::aPaneLeftAndEnteredAgainTakesTheDragBack_data() {
    QTest::addColumn<int>("column");
    QTest::newRow("the local tree, out to the right") << 0;
    QTest::newRow("the local list, out downwards") << 1;
}

void DragTest::aPaneLeftAndEnteredAgainTakesTheDragBack() {
    QFETCH(int, column);
    Sandbox sandbox;
    makeFolder(sandbox, "Data/Dest");
    makeFolder(sandbox, "Data/Sub");
    makeFile(sandbox, "Data/a.txt");
    DragBench bench;
    views::CMyTreeView& tree = *bench.host.trees[0];
    views::CMyListView& list = *bench.host.lists[0];
    QVERIFY(tree.expandPath("C:\\Data\\"));
    QVERIFY(tree.selectPath("C:\\Data\\"));
    QVERIFY(list.selectRowsByName({"a.txt"}));
    QAbstractScrollArea* pane = column == 0 ? static_cast<QAbstractScrollArea*>(&tree) : &list;
    Pointer pointer(bench);

    if (column == 0) {
        pointer.press(tree.viewport(), itemSpot(tree, "C:\\Data\\Sub\\"));
    } else {
        pointer.press(list.viewport(), rowSpot(list, "a.txt"));
    }
    pointer.startDrag();
    const int owner = column == 0 ? int(kOwnerLocalTree) : int(kOwnerLocalList);
    QCOMPARE(bench.owner(), owner);
    // Onto a splitter bar: the pane lets go and no other pane takes over.
    if (column == 0) {
        pointer.moveTo(QPoint(handleCentre(bench.panes.row(0)).x(), pointer.at().y()));
    } else {
        pointer.moveTo(QPoint(pointer.at().x(), handleCentre(bench.panes.rows()).y()));
    }
    QCOMPARE(bench.owner(), owner);
    QCOMPARE(bench.holder(), nullptr);

    // Straight back: the drag goes on in the same pane, image and all, and still drops there.
    if (column == 0) {
        pointer.moveTo(itemSpot(tree, "C:\\Data\\Dest\\"));
        QVERIFY(imageShown(tree.dragImage()));
        QCOMPARE(tree.itemFromIndex(tree.dropHighlighted()), tree.findItem("C:\\Data\\Dest\\"));
    } else {
        pointer.moveTo(rowSpot(list, "Dest"));
        QVERIFY(imageShown(list.dragImage()));
        QCOMPARE(list.dropHighlighted().row(), rowOf(list, "Dest"));
    }
    QCOMPARE(bench.owner(), owner);
    QCOMPARE(bench.holder(), pane);
    bench.host.fakeWindow.answers.push_back(archive::MessageAnswer::Cancel);
    pointer.release();
    QCOMPARE(bench.host.fakeWindow.boxes().size(), size_t(1));
    QCOMPARE(bench.owner(), -1);
}

void DragTest::releaseWithoutFolderRowDoesNothing_data() {
    QTest::addColumn<QString>("where");
    QTest::newRow("over a file row") << "file row";
    QTest::newRow("over empty space") << "empty space";
    QTest::newRow("after leaving the list") << "left";
}

void DragTest::releaseWithoutFolderRowDoesNothing() {
    QFETCH(QString, where);
    Sandbox sandbox;
    makeFolder(sandbox, "Data/Dest");
    makeFile(sandbox, "Data/a.txt");
    makeFile(sandbox, "Data/b.txt");
    DragBench bench;
    views::CMyTreeView& tree = *bench.host.trees[0];
    views::CMyListView& list = *bench.host.lists[0];
    QVERIFY(tree.selectPath("C:\\Data\\"));
    QVERIFY(list.selectRowsByName({"a.txt"}));
    Pointer pointer(bench);

    pointer.press(list.viewport(), rowSpot(list, "a.txt"));
    pointer.startDrag();
    QCOMPARE(bench.owner(), int(kOwnerLocalList));
    QCOMPARE(bench.drag().sourceKind, archive::kDragLocalList);
    pointer.moveTo(rowSpot(list, "Dest"));
    QCOMPARE(list.dropHighlighted().row(), rowOf(list, "Dest"));

    if (where == "file row") {
        pointer.moveTo(rowSpot(list, "b.txt"));
    } else if (where == "empty space") {
        pointer.moveTo(emptySpaceOf(&list));
    } else {
        // Out to the left, into the tree below its last item, which takes the drag over.
        pointer.moveTo(emptySpaceOf(&tree));
        QCOMPARE(bench.owner(), int(kOwnerLocalTree));
    }
    QCOMPARE(list.dropHighlighted().row(), -1);
    pointer.release();

    QCOMPARE(bench.owner(), -1);
    QCOMPARE(list.dropHighlighted().row(), -1);
    QCOMPARE(tree.itemFromIndex(tree.dropHighlighted()), nullptr);
    QCOMPARE(dragCursor(), Qt::BitmapCursor);
    QVERIFY(bench.host.fakeWindow.boxes().empty());
    QVERIFY(!testsupport::fileExists(sandbox.hostPath("Data/Dest/a.txt")));
}

void DragTest::archiveListRowsAreNoTargetForArchiveSide_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<Qt::CursorShape>("overFolderRow");
    QTest::newRow("archive list rows") << "archive-list" << Qt::ForbiddenCursor;
    QTest::newRow("archive tree folder") << "archive-tree" << Qt::ForbiddenCursor;
    // The local side may drop on the same row: the check above can tell the two apart.
    QTest::newRow("local list rows") << "local-list" << Qt::ArrowCursor;
}

void DragTest::archiveListRowsAreNoTargetForArchiveSide() {
    QFETCH(QString, source);
    QFETCH(Qt::CursorShape, overFolderRow);
    Sandbox sandbox;
    makeFile(sandbox, "Data/a.txt");
    DragBench bench;
    bench.host.openListing(testsupport::readTestFixture("archive/fixtures/nested-listing.txt"),
                           "C:\\nested.zip", "nested.zip");
    views::CMyListView& archiveList = *bench.host.lists[1];
    views::CMyListView& localList = *bench.host.lists[0];
    views::CMyTreeView& archiveTree = *bench.host.trees[1];
    Pointer pointer(bench);

    if (source == "archive-list") {
        QVERIFY(archiveList.selectRowsByName({"empty.txt"}));
        pointer.press(archiveList.viewport(), rowSpot(archiveList, "empty.txt"));
        pointer.startDrag();
    } else if (source == "archive-tree") {
        // docs holds the folder old and the file b.txt.
        pointer.press(archiveTree.viewport(), itemSpot(archiveTree, "C:\\nested.zip/docs/"));
        pointer.startDrag();
        pointer.moveTo(centreOf(&archiveList));
    } else {
        QVERIFY(bench.host.trees[0]->selectPath("C:\\Data\\"));
        QVERIFY(localList.selectRowsByName({"a.txt"}));
        pointer.press(localList.viewport(), rowSpot(localList, "a.txt"));
        pointer.startDrag();
        pointer.moveTo(centreOf(&archiveList));
    }
    QCOMPARE(bench.owner(), int(kOwnerArchiveList));
    QVERIFY(archiveList.rowCount() >= 2);
    for (int row = 0; row < archiveList.rowCount(); ++row) {
        const QString name = archiveList.rowTexts(row).value(0);
        pointer.moveTo(rowSpot(archiveList, name));
        const bool folder = archiveList.recordAtRow(row)->isFolder();
        const Qt::CursorShape expected = folder ? overFolderRow : Qt::ForbiddenCursor;
        QVERIFY2(dragCursor() == expected, qPrintable(name));
        QCOMPARE(archiveList.dropHighlighted().row(), expected == Qt::ArrowCursor ? row : -1);
    }
    // Ends on a row that takes nothing, so the release drops nothing.
    pointer.moveTo(emptySpaceOf(&archiveList));
    pointer.release();
    QCOMPARE(bench.owner(), -1);
    QVERIFY(bench.host.fakeWindow.boxes().empty());
}

void DragTest::aFolderDraggedFromTheTreeHasAllItsRowsSelected() {
    Sandbox sandbox;
    makeFile(sandbox, "Data/Sub/a.txt");
    makeFile(sandbox, "Data/Sub/b.txt");
    DragBench bench;
    views::CMyTreeView& tree = *bench.host.trees[0];
    views::CMyListView& list = *bench.host.lists[0];
    // The folder is selected already and one of its rows picked since.
    QVERIFY(tree.selectPath("C:\\Data\\Sub\\"));
    QVERIFY(list.selectRowsByName({"b.txt"}));
    Pointer pointer(bench);
    pointer.press(tree.viewport(), itemSpot(tree, "C:\\Data\\Sub\\"));
    pointer.startDrag();
    QCOMPARE(bench.owner(), int(kOwnerLocalTree));
    QCOMPARE(list.selectedNames(), QStringList({"a.txt", "b.txt"}));
    pointer.moveTo(emptySpaceOf(&tree));
    pointer.release();
    QCOMPARE(bench.owner(), -1);
}

void DragTest::rootsStartNoDrag_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("path");
    QTest::newRow("Local Computer") << 0 << "Local Computer";
    QTest::newRow("a drive") << 0 << "C:\\";
    QTest::newRow("the archive") << 1 << "C:\\Program\\blank.zip/";
}

void DragTest::rootsStartNoDrag() {
    QFETCH(int, row);
    QFETCH(QString, path);
    Sandbox sandbox;
    DragBench bench;
    views::CMyTreeView& tree = *bench.host.trees[row];
    Pointer pointer(bench);
    pointer.press(tree.viewport(), itemSpot(tree, path));
    pointer.startDrag();
    pointer.moveTo(centreOf(bench.host.lists[row]));
    QCOMPARE(bench.owner(), -1);
    QCOMPARE(bench.holder(), nullptr);
    QCOMPARE(dragCursor(), Qt::BitmapCursor);
    pointer.release();
    QCOMPARE(bench.owner(), -1);
}

void DragTest::pressOnSelectedRowDragsTheWholeSelection() {
    Sandbox sandbox;
    makeFile(sandbox, "Data/a.txt");
    makeFile(sandbox, "Data/b.txt");
    makeFile(sandbox, "Data/c.txt");
    DragBench bench;
    views::CMyListView& list = *bench.host.lists[0];
    QVERIFY(bench.host.trees[0]->selectPath("C:\\Data\\"));
    QVERIFY(list.selectRowsByName({"a.txt", "b.txt"}));
    Pointer pointer(bench);

    pointer.press(list.viewport(), rowSpot(list, "b.txt"));
    pointer.startDrag();
    QCOMPARE(bench.owner(), int(kOwnerLocalList));
    QCOMPARE(list.selectedNames(), QStringList({"a.txt", "b.txt"}));
    pointer.moveTo(emptySpaceOf(&list));
    pointer.release();
    QCOMPARE(list.selectedNames(), QStringList({"a.txt", "b.txt"}));

    // A click with no drag on a row of the selection selects that row alone.
    pointer.moveTo(rowSpot(list, "b.txt"));
    pointer.click(list.viewport());
    QCOMPARE(bench.owner(), -1);
    QCOMPARE(list.selectedNames(), QStringList({"b.txt"}));
}

PELLIX_OFFSCREEN_TEST_MAIN(DragTest)

#include "drag_test.moc"
