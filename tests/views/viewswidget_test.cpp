#include "fakehost.h"
#include "sandbox.h"

#include <QApplication>
#include <QHeaderView>
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

    // A re-sort reorders the kept records: a file gone from the disk stays until the next fill.
    std::filesystem::remove(sandbox.hostPath("x3"));
    clickColumn(*host.lists[inArchiveList ? 1 : 0], column);
    QCOMPARE(host.key, key);
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
