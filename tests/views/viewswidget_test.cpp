#include "fakehost.h"
#include "sandbox.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTest>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <utime.h>

using testsupport::FakeHost;
using testsupport::Sandbox;
using views::SortKey;

Q_DECLARE_METATYPE(SortKey)

namespace {

// The names of a list's rows in row order, "name/" for a folder row.
QStringList rowNames(const views::CMyListView& list) {
    QStringList names;
    for (int row = 0; row < list.rowCount(); ++row) {
        names.push_back(list.rowTexts(row).front() + (list.recordAtRow(row)->isFolder() ? "/" : ""));
    }
    return names;
}

void makeFolder(const Sandbox& sandbox, const std::string& relative) {
    std::filesystem::create_directories(sandbox.hostPath(relative));
}

void makeFile(const Sandbox& sandbox, const std::string& relative, size_t size, std::time_t time = 0) {
    testsupport::writeFile(sandbox.hostPath(relative), std::string(size, 'x'));
    if (time != 0) {
        const utimbuf times{time, time};
        utime(sandbox.hostPath(relative).c_str(), &times);
    }
}

archive::ArchiveEntry entry(const std::string& folder, const std::string& name, std::int64_t size,
                            std::int64_t packed, const std::string& ratio, std::int64_t time) {
    archive::ArchiveEntry result;
    result.folder = folder;
    result.name = name;
    result.size = size;
    result.packedSize = packed;
    result.ratioText = ratio;
    result.time = time;
    return result;
}

void clickColumn(views::CMyListView& list, int column) {
    QHeaderView* header = list.header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

} // namespace

class ViewsWidgetTest : public QObject {
    Q_OBJECT
private slots:
    void localListShowsAFolder();
    void archiveListShowsAFolder_data();
    void archiveListShowsAFolder();
    void columnClicksReorderBothLists_data();
    void columnClicksReorderBothLists();
    void localTreeReadsFoldersOnExpansion();
    void collapsedAndExpandedFolderShowsANewSubFolder();
    void computerRootEmptiesTheList();
    void tabCyclesThroughThePanes_data();
    void tabCyclesThroughThePanes();
    void archiveListOfHundredThousandMembers();
    void findResultsOfAReplacedListingAreRefilled();
    void renameGesturesStartWhereRenameIsOffered_data();
    void renameGesturesStartWhereRenameIsOffered();
    void folderRowsOpenAndBackspaceGoesUp_data();
    void folderRowsOpenAndBackspaceGoesUp();
    void activePaneAndDropTargetAreSeen();
    void sizeColumnsWidenToTheWidestSize();
    void namesAreShownWithTheCharactersTheyCarry();
};

void ViewsWidgetTest::localListShowsAFolder() {
    Sandbox sandbox;
    makeFile(sandbox, "Data/b.txt", 3, 1'070'273'100);
    makeFile(sandbox, "Data/A.txt", 1234, 1'070'273'100);
    makeFolder(sandbox, "Data/Zeta");
    makeFolder(sandbox, "Data/.hidden");
    makeFolder(sandbox, "Data/sub");
    FakeHost host;
    host.createPanes();
    views::CMyListView& list = *host.lists[0];

    // The first drive is selected at start: the home folder holds only Data.
    QCOMPARE(list.currentFolder(), QString("C:\\"));
    QCOMPARE(rowNames(list), QStringList({"Data/"}));
    QCOMPARE(host.status[1], QString("Local: 1 Items"));

    QVERIFY(host.trees[0]->selectPath("C:\\Data\\"));
    QCOMPARE(list.currentFolder(), QString("C:\\Data\\"));
    QCOMPARE(list.partnerTreeItem(), host.trees[0]->currentItem());
    QCOMPARE(rowNames(list), QStringList({".hidden/", "sub/", "Zeta/", "A.txt", "b.txt"}));
    QCOMPARE(host.status[1], QString("Local: 5 Items"));
    QCOMPARE(host.status[0], QString("Ready"));
    const qsizetype reading = host.statusHistory.lastIndexOf("Reading Local Directory - Please Wait");
    QVERIFY(reading >= 0);
    QCOMPARE(host.statusHistory.mid(reading + 1).last(), QString("Ready"));

    QCOMPARE(list.columnTitles(), QStringList({"Name", "File Size", "Date Modified"}));
    // A folder shows no size but does show its date.
    const QStringList folderRow = list.rowTexts(0);
    QCOMPARE(folderRow.size(), 3);
    QCOMPARE(folderRow[1], QString());
    QVERIFY(!folderRow[2].isEmpty());
    QCOMPARE(list.rowTexts(3), QStringList({"A.txt", "1,234", "12/1/03 10:05 AM"}));
    // A folder chosen in the tree arrives with all its rows selected.
    QCOMPARE(list.selectedNames(), QStringList({".hidden", "sub", "Zeta", "A.txt", "b.txt"}));

    QCOMPARE(QList<int>({list.header()->sectionSize(0), list.header()->sectionSize(1),
                         list.header()->sectionSize(2)}),
             QList<int>({170, 70, 130}));
    QCOMPARE(list.model()->headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>() &
                 Qt::AlignHorizontal_Mask,
             Qt::AlignRight);
    QVERIFY(list.selectRowsByName({"b.txt", "sub"}));
    QCOMPARE(list.selectedNames(), QStringList({"sub", "b.txt"}));
    QVERIFY(!list.selectRowsByName({"missing"}));

    // A folder that cannot be read shows an empty list without a message.
    list.fill("C:\\Missing\\");
    QCOMPARE(list.rowCount(), 0);
    QCOMPARE(host.status[1], QString("Local: 0 Items"));
    QVERIFY(host.fakeWindow.boxes().empty());
}

void ViewsWidgetTest::archiveListShowsAFolder_data() {
    QTest::addColumn<QString>("treePath");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("firstFileRow");

    QTest::newRow("root") << "C:\\nested.zip/" << QStringList({"docs/", "top dir/", "empty.txt"})
                          << QStringList({"empty.txt", "0", "0", " 0.0%", "9/15/03 12:30 AM"});
    QTest::newRow("docs") << "C:\\nested.zip/docs/" << QStringList({"old/", "b.txt"})
                          << QStringList({"b.txt", "8,893", "4,200", "52.8%", "9/15/03 12:05 PM"});
    QTest::newRow("docs/old") << "C:\\nested.zip/docs/old/" << QStringList({"a.txt"})
                              << QStringList({"a.txt", "12", "12", " 0.0%", "9/15/03 10:23 PM"});
    QTest::newRow("top dir") << "C:\\nested.zip/top dir/" << QStringList({"r.bin"})
                             << QStringList({"r.bin", "3,000", "3,000", " 0.0%", "12/7/26 9:38 PM"});
}

void ViewsWidgetTest::archiveListShowsAFolder() {
    QFETCH(QString, treePath);
    QFETCH(QStringList, names);
    QFETCH(QStringList, firstFileRow);
    Sandbox sandbox;
    FakeHost host;
    host.createPanes();
    views::CMyTreeView& tree = *host.trees[1];
    views::CMyListView& list = *host.lists[1];
    // Before any archive: the blank archive's root alone, selected by the list's initial update.
    QCOMPARE(testsupport::treeLines(tree), QStringList({"archive C:\\Program\\blank.zip [selected]"}));
    QCOMPARE(list.rowCount(), 0);
    QCOMPARE(host.status[2], QString("Zip: 0 Items"));

    host.openListing(testsupport::readTestFixture("archive/fixtures/nested-listing.txt"), "C:\\nested.zip",
                     "nested.zip");
    QCOMPARE(host.title, QString("nested.zip"));
    QCOMPARE(testsupport::treeLines(tree),
             QStringList({"archive C:\\nested.zip [expanded] [selected]", "  archive-folder docs",
                          "    placeholder Empty Folder", "  archive-folder top dir",
                          "    placeholder Empty Folder"}));
    QCOMPARE(list.currentFolder(), QString("C:\\nested.zip/"));

    QVERIFY(tree.selectPath(treePath));
    QCOMPARE(tree.treePath(tree.currentItem()), treePath);
    QCOMPARE(list.currentFolder(), treePath);
    QCOMPARE(rowNames(list), names);
    QCOMPARE(host.status[2], QString("Zip: %1 Items").arg(names.size()));
    QCOMPARE(list.columnTitles(), QStringList({"Name", "File Size", "Zip Size", "Ratio", "Date Modified"}));
    QList<int> widths;
    QList<bool> rightAligned;
    for (int column = 0; column < 5; ++column) {
        widths.push_back(list.header()->sectionSize(column));
        const auto alignment = list.model()->data(list.model()->index(0, column), Qt::TextAlignmentRole);
        rightAligned.push_back((alignment.value<Qt::Alignment>() & Qt::AlignHorizontal_Mask) ==
                               Qt::AlignRight);
    }
    QCOMPARE(widths, QList<int>({170, 70, 70, 50, 130}));
    QCOMPARE(rightAligned, QList<bool>({false, true, true, false, false}));
    const int firstFile = static_cast<int>(names.size() - 1);
    QCOMPARE(list.rowTexts(firstFile), firstFileRow);
    QCOMPARE(list.partnerTreeItem(), tree.currentItem());
    if (names.front().endsWith('/')) {
        QCOMPARE(list.rowTexts(0), QStringList({names.front().chopped(1), "", "", "", ""}));
    }

    // Listing the archive again rebuilds the tree: the list shows the new root, not a deleted item.
    host.openListing(testsupport::readTestFixture("archive/fixtures/nested-listing.txt"), "C:\\nested.zip",
                     "nested.zip");
    QCOMPARE(list.partnerTreeItem(), tree.rootItem());
    QCOMPARE(list.currentFolder(), QString("C:\\nested.zip/"));
    QCOMPARE(rowNames(list), QStringList({"docs/", "top dir/", "empty.txt"}));
}

void ViewsWidgetTest::columnClicksReorderBothLists_data() {
    QTest::addColumn<bool>("inArchiveList");
    QTest::addColumn<int>("column");
    QTest::addColumn<SortKey>("key");
    QTest::addColumn<QStringList>("archiveOrder");
    QTest::addColumn<QStringList>("localOrder");

    QTest::newRow("archive Name") << true << 0 << SortKey::Name << QStringList({"sub/", "a", "b", "c"})
                                  << QStringList({"x1", "x2", "x3"});
    QTest::newRow("archive File Size")
        << true << 1 << SortKey::FileSize << QStringList({"sub/", "c", "b", "a"})
        << QStringList({"x2", "x3", "x1"});
    QTest::newRow("archive Zip Size")
        << true << 2 << SortKey::ZippedSize << QStringList({"sub/", "b", "a", "c"})
        << QStringList({"x2", "x3", "x1"});
    QTest::newRow("archive Ratio") << true << 3 << SortKey::Ratio << QStringList({"sub/", "a", "c", "b"})
                                   << QStringList({"x2", "x3", "x1"});
    QTest::newRow("archive Date") << true << 4 << SortKey::Date << QStringList({"sub/", "b", "c", "a"})
                                  << QStringList({"x1", "x3", "x2"});
    QTest::newRow("local Date") << false << 2 << SortKey::Date << QStringList({"sub/", "b", "c", "a"})
                                << QStringList({"x1", "x3", "x2"});
    QTest::newRow("local File Size") << false << 1 << SortKey::FileSize
                                     << QStringList({"sub/", "c", "b", "a"})
                                     << QStringList({"x2", "x3", "x1"});
}

void ViewsWidgetTest::columnClicksReorderBothLists() {
    QFETCH(bool, inArchiveList);
    QFETCH(int, column);
    QFETCH(SortKey, key);
    QFETCH(QStringList, archiveOrder);
    QFETCH(QStringList, localOrder);
    Sandbox sandbox;
    makeFile(sandbox, "x1", 30, 1'000'000'000);
    makeFile(sandbox, "x2", 10, 1'300'000'000);
    makeFile(sandbox, "x3", 20, 1'200'000'000);
    FakeHost host;
    host.key = SortKey::Extension;
    host.createPanes();
    host.archiveEngine->state().entries = {
        entry("", "a", 1000, 900, " 5.0%", 1'300'000'000), entry("", "b", 300, 100, "66.7%", 1'000'000'000),
        entry("", "c", 50, 950, "20.0%", 1'200'000'000), entry("sub", "x", 1, 1, " 0.0%", 900'000'000)};
    host.archiveEngine->state().folders.add("sub");
    host.archiveEngine->state().archiveJustOpened = true;
    host.trees[1]->rebuildRoot();
    host.archiveEngine->state().archiveJustOpened = false;
    QCOMPARE(rowNames(*host.lists[0]), QStringList({"x1", "x2", "x3"}));
    QVERIFY2(!host.lists[0]->header()->isSortIndicatorShown(), "no header shows the Extension key");

    // A re-sort reorders the kept records: a file gone from the disk stays until the next fill.
    std::filesystem::remove(sandbox.hostPath("x3"));
    clickColumn(*host.lists[inArchiveList ? 1 : 0], column);
    QCOMPARE(host.key, key);
    QHeaderView* clicked = host.lists[inArchiveList ? 1 : 0]->header();
    QVERIFY(clicked->isSortIndicatorShown());
    QCOMPARE(clicked->sortIndicatorSection(), column);
    QCOMPARE(clicked->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(rowNames(*host.lists[1]), archiveOrder);
    QCOMPARE(rowNames(*host.lists[0]), localOrder);
    // A fill ends with its first row selected.
    QCOMPARE(host.lists[0]->selectedNames(), QStringList({localOrder.front()}));
    // Clicking the same column again gives the same order.
    clickColumn(*host.lists[inArchiveList ? 1 : 0], column);
    QCOMPARE(rowNames(*host.lists[1]), archiveOrder);
}

void ViewsWidgetTest::localTreeReadsFoldersOnExpansion() {
    Sandbox sandbox;
    makeFolder(sandbox, "Data/sub2");
    makeFolder(sandbox, "Data/Sub1");
    makeFolder(sandbox, "Data/.hid");
    makeFile(sandbox, "Data/file.txt", 5);
    makeFolder(sandbox, "Empty");
    FakeHost host;
    host.createPanes();
    views::CMyTreeView& tree = *host.trees[0];
    QCOMPARE(
        testsupport::treeLines(tree),
        QStringList({"computer Local Computer [expanded]", "  drive Drive C [selected]",
                     "    placeholder Empty Folder", "  drive Drive Z", "    placeholder Empty Folder"}));

    // "*" does not read the whole drive.
    const QStringList before = testsupport::treeLines(tree);
    QTest::keyClick(&tree, Qt::Key_Asterisk);
    QCOMPARE(testsupport::treeLines(tree), before);

    QVERIFY(tree.expandPath("C:\\"));
    QVERIFY(tree.expandPath("C:\\Data\\"));
    QCOMPARE(testsupport::treeLines(tree).mid(1, 12),
             QStringList(
                 {"  drive Drive C [expanded] [selected]", "    folder Data [expanded]", "      folder .hid",
                  "        placeholder Empty Folder", "      folder Sub1", "        placeholder Empty Folder",
                  "      folder sub2", "        placeholder Empty Folder", "    folder Empty",
                  "      placeholder Empty Folder", "  drive Drive Z", "    placeholder Empty Folder"}));
    QCOMPARE(tree.nodePath(tree.findItem("C:\\Data\\Sub1\\")), QString("C:\\Data\\Sub1\\"));
    QCOMPARE(tree.nodePath(tree.rootItem()), QString());

    // A folder without sub-folders loses its placeholder when it is first expanded.
    QVERIFY(tree.expandPath("C:\\Empty\\"));
    QCOMPARE(tree.findItem("C:\\Empty\\")->childCount(), 0);
    QCOMPARE(host.status[0], QString("Ready"));
}

void ViewsWidgetTest::collapsedAndExpandedFolderShowsANewSubFolder() {
    Sandbox sandbox;
    makeFolder(sandbox, "Data/old");
    makeFile(sandbox, "Data/f.txt", 1);
    FakeHost host;
    host.createPanes();
    views::CMyTreeView& tree = *host.trees[0];
    QVERIFY(tree.expandPath("C:\\Data\\"));
    makeFolder(sandbox, "Data/new");
    QVERIFY(tree.findItem("C:\\Data\\new\\") == nullptr);

    // Collapsing selects the folder, and the list shows it.
    QVERIFY(tree.collapsePath("C:\\Data\\"));
    QCOMPARE(tree.itemPath(tree.currentItem()), QString("C:\\Data\\"));
    QCOMPARE(rowNames(*host.lists[0]), QStringList({"new/", "old/", "f.txt"}));

    QVERIFY(tree.expandPath("C:\\Data\\"));
    QVERIFY(tree.findItem("C:\\Data\\new\\") != nullptr);
    QCOMPARE(tree.findItem("C:\\Data\\")->childCount(), 2);

    // The list has its tree read the shown folder again after a change to it.
    QVERIFY(tree.selectPath("C:\\Data\\"));
    makeFolder(sandbox, "Data/newer");
    host.lists[0]->refreshPartnerTree();
    QVERIFY(tree.findItem("C:\\Data\\newer\\") != nullptr);
    QCOMPARE(tree.findItem("C:\\Data\\")->childCount(), 3);

    // A folder gone from the disk loses its placeholder too when it is expanded.
    std::filesystem::remove(sandbox.hostPath("Data/old"));
    QVERIFY(tree.expandPath("C:\\Data\\old\\"));
    QCOMPARE(tree.findItem("C:\\Data\\old\\")->childCount(), 0);
    QCOMPARE(host.status[0], QString("Ready"));
}

void ViewsWidgetTest::computerRootEmptiesTheList() {
    Sandbox sandbox;
    makeFile(sandbox, "a.txt", 1);
    FakeHost host;
    host.createPanes();
    QCOMPARE(host.lists[0]->rowCount(), 1);
    QVERIFY(host.trees[0]->selectPath("Local Computer"));
    QCOMPARE(host.lists[0]->rowCount(), 0);
    QCOMPARE(host.status[1], QString("Local: 0 Items"));
}

void ViewsWidgetTest::tabCyclesThroughThePanes_data() {
    QTest::addColumn<int>("from"); // 0 local tree, 1 local list, 2 archive tree, 3 archive list
    QTest::addColumn<bool>("backwards");
    QTest::addColumn<int>("to");
    QTest::newRow("local tree Tab") << 0 << false << 1;
    QTest::newRow("local list Tab") << 1 << false << 2;
    QTest::newRow("archive tree Tab") << 2 << false << 3;
    QTest::newRow("archive list Tab") << 3 << false << 0;
    QTest::newRow("local tree Shift+Tab") << 0 << true << 3;
    QTest::newRow("local list Shift+Tab") << 1 << true << 0;
    QTest::newRow("archive tree Shift+Tab") << 2 << true << 1;
    QTest::newRow("archive list Shift+Tab") << 3 << true << 2;
}

void ViewsWidgetTest::tabCyclesThroughThePanes() {
    QFETCH(int, from);
    QFETCH(bool, backwards);
    QFETCH(int, to);
    Sandbox sandbox;
    FakeHost host;
    host.createPanes();
    QWidget* panes[4] = {host.trees[0], host.lists[0], host.trees[1], host.lists[1]};
    if (backwards) {
        QTest::keyClick(panes[from], Qt::Key_Backtab, Qt::ShiftModifier);
    } else {
        QTest::keyClick(panes[from], Qt::Key_Tab);
    }
    QCOMPARE(host.activeView, panes[to]);
}

void ViewsWidgetTest::archiveListOfHundredThousandMembers() {
    Sandbox sandbox;
    FakeHost host;
    host.createPanes();
    auto& state = host.archiveEngine->state();
    for (int i = 0; i < 100'000; ++i) {
        state.entries.push_back(entry("big", "m" + std::to_string(i), i, i, " 0.0%", 1'000'000'000));
    }
    state.folders.add("big");
    state.archiveJustOpened = true;
    host.trees[1]->rebuildRoot();
    state.archiveJustOpened = false;

    QVERIFY(host.trees[1]->selectPath("C:\\Program\\blank.zip/big/"));
    QCOMPARE(host.lists[1]->rowCount(), 100'000);
    QCOMPARE(host.status[2], QString("Zip: 100000 Items"));
    QCOMPARE(host.lists[1]->selectedNames().size(), 100'000);
}

// Find results name the listing's own members; a new listing with fewer members leaves their rows
// empty, never read past its end, until the list is filled again from it.
void ViewsWidgetTest::findResultsOfAReplacedListingAreRefilled() {
    FakeHost host;
    host.createPanes();
    auto& state = host.archiveEngine->state();
    for (int i = 0; i < 3; ++i) {
        state.entries.push_back(entry("d", "m" + std::to_string(i) + ".txt", i, i, " 0.0%", 1'000'000'000));
    }
    state.folders.add("d");
    state.archiveJustOpened = true;
    host.trees[1]->rebuildRoot();
    state.archiveJustOpened = false;
    views::CMyListView& list = *host.lists[1];
    list.showFindResults("*.TXT", false);
    QCOMPARE(rowNames(list), (QStringList{"m0.txt", "m1.txt", "m2.txt"}));

    state.entries = {entry("d", "m9.txt", 9, 9, " 0.0%", 1'000'000'000)};
    ++state.listingNumber;
    QCOMPARE(list.rowTexts(2).front(), QString());
    QCOMPARE(list.memberPathAt(2), std::string());
    state.archiveJustOpened = true;
    host.trees[1]->rebuildRoot();
    state.archiveJustOpened = false;
    QVERIFY(list.showsFindResults());
    QCOMPARE(rowNames(list), (QStringList{"m9.txt"}));
}

namespace {

// The four panes over a folder Data (a.txt, Sub/) and an archive (top.txt, docs/x.txt), the
// window active so that the panes take the focus.
struct GestureBench {
    Sandbox sandbox;
    FakeHost host;

    GestureBench() {
        makeFile(sandbox, "Data/a.txt", 1);
        makeFile(sandbox, "Data/Sub/in.txt", 1);
        host.createPanes();
        auto& state = host.archiveEngine->state();
        state.entries = {entry("", "top.txt", 1, 1, " 0.0%", 1'000'000'000),
                         entry("docs", "x.txt", 1, 1, " 0.0%", 1'000'000'000)};
        state.folders.add("docs");
        state.archiveJustOpened = true;
        host.trees[1]->rebuildRoot();
        state.archiveJustOpened = false;
        QVERIFY(host.trees[0]->selectPath("C:\\Data\\"));
        host.container.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host.container));
    }

    // The pane (0 local tree, 1 local list, 2 archive tree, 3 archive list) and the point on the
    // label of `target`, made the selected and current row or item.
    QAbstractItemView* pane(int index) {
        QWidget* panes[4] = {host.trees[0], host.lists[0], host.trees[1], host.lists[1]};
        return static_cast<QAbstractItemView*>(panes[index]);
    }
    QPoint select(int index, const QString& target) {
        if (index % 2 == 1) {
            views::CMyListView* list = host.lists[index / 2];
            const int row = list->rowNamed(target);
            list->selectionModel()->setCurrentIndex(list->model()->index(row, 0),
                                                    QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
            return list->visualRect(list->model()->index(row, 0)).center();
        }
        views::CMyTreeView* tree = host.trees[index / 2];
        tree->selectPath(target);
        const QRect cell = tree->visualItemRect(tree->currentItem());
        return QPoint(cell.left() + 24, cell.center().y());
    }
    QWidget* editor(int index) {
        return index % 2 == 1 ? host.lists[index / 2]->labelEditor() : host.trees[index / 2]->labelEditor();
    }
};

} // namespace

void ViewsWidgetTest::renameGesturesStartWhereRenameIsOffered_data() {
    QTest::addColumn<int>("pane");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("offered");
    QTest::newRow("local file row") << 1 << "a.txt" << true;
    QTest::newRow("local folder row") << 1 << "Sub" << true;
    QTest::newRow("local folder") << 0 << "C:\\Data\\" << true;
    QTest::newRow("drive") << 0 << "C:\\" << false;
    QTest::newRow("archive row") << 3 << "top.txt" << false;
    QTest::newRow("archive folder") << 2 << "C:\\Program\\blank.zip/docs/" << false;
}

void ViewsWidgetTest::renameGesturesStartWhereRenameIsOffered() {
    QFETCH(int, pane);
    QFETCH(QString, target);
    QFETCH(bool, offered);
    GestureBench bench;
    QAbstractItemView* view = bench.pane(pane);
    const int settle = QApplication::doubleClickInterval() + 150;

    // F2 on the selected row or item.
    view->setFocus(Qt::OtherFocusReason);
    bench.select(pane, target);
    QTest::keyClick(view, Qt::Key_F2);
    QCOMPARE(bench.editor(pane) != nullptr, offered);
    if (bench.editor(pane) != nullptr) {
        QTest::keyClick(bench.editor(pane), Qt::Key_Escape);
    }
    QVERIFY(bench.editor(pane) == nullptr);

    // A click that gives the pane the focus does not rename, even on the selected row.
    bench.host.activeView = nullptr;
    bench.pane((pane + 1) % 4)->setFocus(Qt::OtherFocusReason);
    const QPoint label = bench.select(pane, target);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, label);
    QTest::qWait(settle);
    QVERIFY(bench.editor(pane) == nullptr);
    // A double-click is no slow second click.
    if (pane % 2 == 0) {
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, bench.select(pane, target));
        QTest::qWait(settle);
        QVERIFY(bench.editor(pane) == nullptr);
    }
    // The slow second click on the selected row, in a pane that has the focus.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, bench.select(pane, target));
    QVERIFY(bench.editor(pane) == nullptr); // not before the double-click time is over
    QTest::qWait(settle);
    QCOMPARE(bench.editor(pane) != nullptr, offered);
    if (offered) {
        QCOMPARE(qobject_cast<QLineEdit*>(bench.editor(pane))->text(),
                 target.section('\\', -2, -2).isEmpty() ? target : target.section('\\', -2, -2));
    }
}

void ViewsWidgetTest::folderRowsOpenAndBackspaceGoesUp_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("byEnter");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("inside");
    QTest::newRow("local double-click") << 0 << false << "C:\\Data\\"
                                        << "Sub"
                                        << "C:\\Data\\Sub\\";
    QTest::newRow("local Enter") << 0 << true << "C:\\Data\\"
                                 << "Sub"
                                 << "C:\\Data\\Sub\\";
    QTest::newRow("archive double-click") << 1 << false << "C:\\Program\\blank.zip/"
                                          << "docs"
                                          << "C:\\Program\\blank.zip/docs/";
    QTest::newRow("archive Enter") << 1 << true << "C:\\Program\\blank.zip/"
                                   << "docs"
                                   << "C:\\Program\\blank.zip/docs/";
}

void ViewsWidgetTest::folderRowsOpenAndBackspaceGoesUp() {
    QFETCH(int, row);
    QFETCH(bool, byEnter);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, inside);
    GestureBench bench;
    views::CMyListView& list = *bench.host.lists[row];
    views::CMyTreeView& tree = *bench.host.trees[row];
    QVERIFY(tree.selectPath(folder));
    list.setFocus(Qt::OtherFocusReason);
    const QPoint at = bench.select(row * 2 + 1, name);
    if (byEnter) {
        QTest::keyClick(&list, Qt::Key_Return);
    } else {
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
    // As choosing it in the tree: the tree shows and selects it, the list shows it all selected.
    QCOMPARE(tree.itemPath(tree.currentItem()), inside);
    QVERIFY(tree.currentItem()->parent()->isExpanded());
    QCOMPARE(list.currentFolder(), inside);
    QCOMPARE(list.selectedNames().size(), list.rowCount());
    QVERIFY(list.hasFocus());

    QTest::keyClick(&list, Qt::Key_Backspace);
    QCOMPARE(tree.itemPath(tree.currentItem()), folder);
    QCOMPARE(list.currentFolder(), folder);
    // Above a drive or the archive's own node there is nothing to go to.
    QVERIFY(tree.selectPath(row == 0 ? "C:\\" : "C:\\Program\\blank.zip/"));
    QTest::keyClick(&list, Qt::Key_Backspace);
    QCOMPARE(list.currentFolder(), QString(row == 0 ? "C:\\" : "C:\\Program\\blank.zip/"));
}

// What a user sees of the pane that has the focus and of the row that takes a drop.
void ViewsWidgetTest::activePaneAndDropTargetAreSeen() {
    GestureBench bench;
    views::CMyListView& list = *bench.host.lists[0];
    const QRect subRow = list.visualRect(list.model()->index(list.rowNamed("Sub"), 0));
    const QPoint inside = subRow.center();
    // A selected row in the pane with the focus, then in a pane without it.
    list.setFocus(Qt::OtherFocusReason);
    list.selectAll();
    const QImage focused = list.viewport()->grab().toImage();
    bench.host.trees[0]->setFocus(Qt::OtherFocusReason);
    const QImage unfocused = list.viewport()->grab().toImage();
    QVERIFY(focused.pixelColor(inside) != unfocused.pixelColor(inside));
    // The pane with the focus has a frame in the selection colour.
    const QColor frame = focused.pixelColor(QPoint(0, list.viewport()->height() / 2));
    QCOMPARE(frame, list.palette().color(QPalette::Active, QPalette::Highlight));
    QVERIFY(unfocused.pixelColor(QPoint(0, list.viewport()->height() / 2)) != frame);

    // The drop target, already selected like every row, looks like neither selection.
    auto& drag = bench.host.doc->drag();
    drag.sourceKind = archive::kDragLocalList;
    list.setFocus(Qt::OtherFocusReason);
    list.startDragImage(inside);
    QVERIFY(list.dragMouseMove(inside));
    QCOMPARE(list.dropHighlighted().row(), list.rowNamed("Sub"));
    list.dragImage()->hide(); // the picture is not what shows the target
    const QImage target = list.viewport()->grab().toImage();
    list.dragImage()->show();
    for (const QImage& selection : {focused, unfocused}) {
        QVERIFY(target.pixelColor(inside) != selection.pixelColor(inside));
        QVERIFY(target.copy(subRow) != selection.copy(subRow));
    }
    // The drag image is below the target row: its name stays in view.
    QVERIFY(list.dragImage()->isVisible());
    QVERIFY(!list.dragImage()->geometry().intersects(subRow));
    // Let go over no row: the drag ends and the highlight goes, nothing is dropped.
    const QPoint empty(4, list.viewport()->height() - 4);
    QVERIFY(list.dragMouseMove(empty));
    QVERIFY(list.dragButtonUp(empty));
    QVERIFY(!list.dropHighlighted().isValid());
}

// A 10 GB member shows its whole size: the size columns widen to their widest text and never
// below the widths they start with.
void ViewsWidgetTest::sizeColumnsWidenToTheWidestSize() {
    Sandbox sandbox;
    FakeHost host;
    host.createPanes();
    auto& state = host.archiveEngine->state();
    state.entries = {entry("", "huge.iso", 10'737'418'240, 14'377'118, "99.9%", 1'000'000'000),
                     entry("small", "s.txt", 5, 5, " 0.0%", 1'000'000'000)};
    state.folders.add("small");
    state.archiveJustOpened = true;
    host.trees[1]->rebuildRoot();
    state.archiveJustOpened = false;
    views::CMyListView& list = *host.lists[1];
    QCOMPARE(list.rowTexts(list.rowNamed("huge.iso")).mid(1, 2),
             QStringList({"10,737,418,240", "14,377,118"}));
    const int margin = 2 * (list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1);
    for (int column : {1, 2}) {
        const QString text = list.rowTexts(list.rowNamed("huge.iso")).at(column);
        const int width = list.header()->sectionSize(column);
        QVERIFY2(list.fontMetrics().horizontalAdvance(text) + margin <= width,
                 qPrintable(QString("%1 in %2 pixels").arg(text).arg(width)));
        // Painted in full: the cell shows no ellipsis.
        const QModelIndex cell = list.model()->index(list.rowNamed("huge.iso"), column);
        QCOMPARE(list.fontMetrics().elidedText(text, Qt::ElideRight, list.visualRect(cell).width() - margin),
                 text);
    }
    // A folder of small sizes keeps the widths; the Ratio and Date columns are as they were.
    QVERIFY(host.trees[1]->selectPath("C:\\Program\\blank.zip/small/"));
    QVERIFY(list.header()->sectionSize(1) > 70);
    QCOMPARE(list.header()->sectionSize(3), 50);
    QCOMPARE(list.header()->sectionSize(4), 130);
    views::CMyListView& local = *host.lists[0];
    QCOMPARE(local.header()->sectionSize(1), 70);
}

// A name's carried characters are shown as the characters themselves, line feeds as pictures.
void ViewsWidgetTest::namesAreShownWithTheCharactersTheyCarry() {
    Sandbox sandbox;
    makeFile(sandbox, "Data/a\"b.txt", 1);
    makeFile(sandbox, "Data/n\nl.txt", 1);
    makeFile(sandbox, "Data/q\"f/in.txt", 1);
    FakeHost host;
    host.createPanes();
    QVERIFY(host.trees[0]->selectPath("C:\\Data\\"));
    views::CMyListView& list = *host.lists[0];
    QStringList shown;
    for (int row = 0; row < list.model()->rowCount(); ++row) {
        const QModelIndex index = list.model()->index(row, 0);
        shown << static_cast<QStyledItemDelegate*>(list.itemDelegateForColumn(0))
                     ->displayText(index.data(), QLocale());
    }
    QCOMPARE(shown, QStringList({"q\"f", "a\"b.txt", "n\u240Al.txt"}));
    QVERIFY(host.trees[0]->selectPath(QString("C:\\Data\\q\uF022f\\")));
    views::CMyTreeView& tree = *host.trees[0];
    QCOMPARE(static_cast<QStyledItemDelegate*>(tree.itemDelegateForColumn(0))
                 ->displayText(tree.currentItem()->text(0), QLocale()),
             QString("q\"f"));
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Dates are shown in local time; the expected texts are written for UTC.
    setenv("TZ", "UTC", 1);
    tzset();
    QApplication app(argc, argv);
    ViewsWidgetTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "viewswidget_test.moc"
