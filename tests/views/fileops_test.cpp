// The transfers and drops of the four panes, called as the drag code calls them on release, over
// a fake frame with real folders and a real archive engine (its jobs never run here: the
// collected operation items and the operation's kind are what a drop decides).
#include "fakehost.h"
#include "sandbox.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QWindow>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>

using testsupport::FakeHost;
using testsupport::Sandbox;
namespace fs = std::filesystem;

namespace {

constexpr char kConfirmCopyBox[] =
    "Question|Confirm File Copy|Are you sure you want to copy the selected item(s)?";
constexpr char kConfirmUnzipBox[] =
    "Question|Confirm Unzip File(s)|Are you sure you want to Unzip the selected File(s)?";
constexpr char kConfirmZipBox[] =
    "Question|Confirm Zip File(s)|Are you sure you want to Add the selected File(s) to the Zip Archive?";
constexpr char kConfirmDeleteBox[] =
    "Question|Confirm File Delete|Are you sure you want to delete the selected item(s)?";
constexpr char kSameFolderBox[] =
    "Stop|Error Copying Folder|The destination folder is the same as the source folder.";
constexpr char kCopyFailedBox[] =
    "Stop|Error Copying File|The program was unable to copy the selected file(s).";
constexpr char kDeleteFileFailedBox[] =
    "Stop|Error Deleting File|The program was unable to delete the specified file(s).";

QStringList boxes(const FakeHost& host) {
    QStringList result;
    for (const std::string& box : host.fakeWindow.boxes()) {
        result << QString::fromStdString(box);
    }
    return result;
}

// The operation items as "name|size".
QStringList items(const FakeHost& host) {
    QStringList result;
    for (const archive::OperationItem& item : host.archiveEngine->state().operationItems) {
        result << QString::fromStdString(item.name) + "|" + QString::number(item.size);
    }
    return result;
}

QStringList progressTitles(const FakeHost& host) {
    QStringList result;
    for (const std::string& call : host.fakeWindow.callsStartingWith("progress ")) {
        if (call != "progress closed") {
            result << QString::fromStdString(call.substr(9));
        }
    }
    return result;
}

bool present(const Sandbox& sandbox, const std::string& relative) {
    return fs::exists(fs::symlink_status(sandbox.hostPath(relative)));
}

void answer(FakeHost& host, std::initializer_list<archive::MessageAnswer> answers) {
    host.fakeWindow.answers.assign(answers.begin(), answers.end());
}

// The archive of the nested fixture: docs/b.txt, docs/old/a.txt, empty.txt, top dir/r.bin.
void openNestedArchive(FakeHost& host) {
    host.openListing(testsupport::readTestFixture("archive/fixtures/nested-listing.txt"), "C:\\nested.zip",
                     "nested.zip");
}

} // namespace

class FileOpsTest : public QObject {
    Q_OBJECT
private slots:
    void localRowsDropOntoAFolderRow_data();
    void localRowsDropOntoAFolderRow();
    void folderDropsThatWouldLandInThemselvesAreRefused_data();
    void folderDropsThatWouldLandInThemselvesAreRefused();
    void aDroppedFolderReplacesOneOfTheSameName();
    void releasesOnNoTargetDoNothing_data();
    void releasesOnNoTargetDoNothing();
    void anUnreadableSourceNeverCostsTheFolderItWouldReplace();
    void archiveDropsCollectMembersAndExtract_data();
    void archiveDropsCollectMembersAndExtract();
    void zipCommandAddsTheLocalSelection();
    void anUnreadableFolderStopsTheZipCommand();
    void localDeleteStopsAtAReadOnlyFile();
    void diskStepFailuresShowTheirOwnMessage_data();
    void diskStepFailuresShowTheirOwnMessage();
    void archiveDeleteCollectsTheSelectedMembers();
    void unzipCommandChecksItsSelectionAndDestination();
    void filesFromTheDesktopDropAsLocalRows_data();
    void filesFromTheDesktopDropAsLocalRows();
    void dragsOutOfTheWindowHandOverFiles();
    void rowsOpenWithTheDesktopApplication();
};

namespace {

// A drop from another program: the enter, a move and the drop at point of the pane's viewport,
// carrying urls; whether the pane took it.
bool dropFromDesktop(QAbstractItemView& pane, const QPoint& point, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(point, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane.viewport(), &enter);
    QDragMoveEvent move(point, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane.viewport(), &move);
    if (!move.isAccepted()) {
        return false;
    }
    QDropEvent drop(QPointF(point), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane.viewport(), &drop);
    QCoreApplication::processEvents(); // the work runs once the drop is answered
    return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
}

QPoint rowPoint(const views::CMyListView& list, const QString& name) {
    return list.visualRect(list.model()->index(list.rowNamed(name), 0)).center();
}

} // namespace

void FileOpsTest::localRowsDropOntoAFolderRow_data() {
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<QStringList>("copied");
    QTest::newRow("files and a folder") << QStringList{"a.txt", "b.txt", "sub"} << true
                                        << QStringList{"dst/a.txt", "dst/b.txt", "dst/sub/inner.txt"};
    QTest::newRow("cancelled") << QStringList{"a.txt", "sub"} << false << QStringList{};
}

void FileOpsTest::localRowsDropOntoAFolderRow() {
    QFETCH(QStringList, selected);
    QFETCH(bool, confirmed);
    QFETCH(QStringList, copied);
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("src/a.txt"), "a");
    testsupport::writeFile(sandbox.hostPath("src/b.txt"), "b");
    testsupport::writeFile(sandbox.hostPath("src/sub/inner.txt"), "inner");
    fs::create_directories(sandbox.hostPath("src/dst"));
    FakeHost host;
    host.createPanes();
    QVERIFY(host.trees[0]->selectPath("C:\\src\\"));
    views::CMyListView& list = *host.lists[0];
    QVERIFY(list.selectRowsByName(selected));
    host.doc->drag().sourceKind = archive::kDragLocalList;
    answer(host, {confirmed ? archive::MessageAnswer::Ok : archive::MessageAnswer::Cancel});

    list.dropOnRow(list.rowNamed("dst"));

    QCOMPARE(boxes(host), QStringList{kConfirmCopyBox});
    for (const QString& file : copied) {
        QVERIFY2(present(sandbox, "src/" + file.toStdString()), qPrintable(file));
    }
    if (!confirmed) {
        QVERIFY(fs::is_empty(sandbox.hostPath("src/dst")));
        QVERIFY(!host.statusHistory.contains("Copying Files - Please Wait ..."));
    } else {
        QCOMPARE(host.statusHistory.mid(host.statusHistory.indexOf("Copying Files - Please Wait ...")).last(),
                 QString("Ready"));
        // The sources stay: a drop copies.
        QVERIFY(present(sandbox, "src/a.txt") && present(sandbox, "src/sub/inner.txt"));
    }
    QCOMPARE(host.fakeWindow.waitCursorDepth, 0);
}

void FileOpsTest::folderDropsThatWouldLandInThemselvesAreRefused_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("dropOn"); // a row of C:\data\ for the list, a tree path for the tree
    QTest::addColumn<QString>("dragged");
    // The folder row X dropped onto its own row: X into X.
    QTest::newRow("list rows onto their own row") << int(archive::kDragLocalList) << "X"
                                                  << "X";
    // The local tree's X onto its own row in the list: C:\data\X\X.
    QTest::newRow("tree folder onto its own row") << int(archive::kDragLocalTree) << "X"
                                                  << "C:\\data\\X\\";
    // The local tree's X onto its parent: C:\data\X exists and is X itself.
    QTest::newRow("tree folder onto its parent") << int(archive::kDragLocalTree) << "tree:C:\\data\\"
                                                 << "C:\\data\\X\\";
    // Into a folder of its own.
    QTest::newRow("tree folder into its sub-folder")
        << int(archive::kDragLocalTree) << "tree:C:\\data\\X\\in\\"
        << "C:\\data\\X\\";
}

void FileOpsTest::folderDropsThatWouldLandInThemselvesAreRefused() {
    QFETCH(int, kind);
    QFETCH(QString, dropOn);
    QFETCH(QString, dragged);
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("data/X/in/file.txt"), "f");
    FakeHost host;
    host.createPanes();
    QVERIFY(host.trees[0]->selectPath("C:\\data\\"));
    views::CMyListView& list = *host.lists[0];
    archive::DragState& drag = host.doc->drag();
    drag.sourceKind = kind;
    if (kind == archive::kDragLocalList) {
        QVERIFY(list.selectRowsByName({dragged}));
    } else {
        drag.draggedFolderPath = dragged.toStdString();
        drag.draggedFolderName = "X";
    }
    answer(host, {archive::MessageAnswer::Ok});

    if (dropOn.startsWith("tree:")) {
        views::CMyTreeView& tree = *host.trees[0];
        QTreeWidgetItem* item = tree.revealItem(dropOn.mid(5));
        QVERIFY(item != nullptr);
        tree.dropOnItem(item);
    } else {
        list.dropOnRow(list.rowNamed(dropOn));
    }

    QCOMPARE(boxes(host), QStringList({kConfirmCopyBox, kSameFolderBox}));
    QVERIFY(!present(sandbox, "data/X/X"));
    QVERIFY(!present(sandbox, "data/X/in/X"));
    QCOMPARE(testsupport::readFile(sandbox.hostPath("data/X/in/file.txt")), std::string("f"));
}

void FileOpsTest::aDroppedFolderReplacesOneOfTheSameName() {
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("data/X/new.txt"), "new");
    testsupport::writeFile(sandbox.hostPath("data/XY/X/old.txt"), "old");
    FakeHost host;
    host.createPanes();
    QVERIFY(host.trees[0]->selectPath("C:\\data\\"));
    views::CMyListView& list = *host.lists[0];
    // X onto its sibling XY, which holds an X of its own: that X is replaced, nothing refused.
    QVERIFY(list.selectRowsByName({"X"}));
    host.doc->drag().sourceKind = archive::kDragLocalList;
    answer(host, {archive::MessageAnswer::Ok});
    list.dropOnRow(list.rowNamed("XY"));
    QCOMPARE(boxes(host), QStringList{kConfirmCopyBox});
    QVERIFY(!present(sandbox, "data/XY/X/old.txt"));
    QCOMPARE(testsupport::readFile(sandbox.hostPath("data/XY/X/new.txt")), std::string("new"));
    QVERIFY(present(sandbox, "data/X/new.txt"));
}

void FileOpsTest::releasesOnNoTargetDoNothing_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("pane");
    QTest::addColumn<QString>("target");
    QTest::newRow("local rows on a file row") << int(archive::kDragLocalList) << "local-list"
                                              << "a.txt";
    QTest::newRow("local rows on no row") << int(archive::kDragLocalList) << "local-list"
                                          << "";
    QTest::newRow("archive rows on an archive folder row") << int(archive::kDragArchiveList) << "archive-list"
                                                           << "docs";
    QTest::newRow("archive folder on an archive folder row")
        << int(archive::kDragArchiveTree) << "archive-list"
        << "docs";
    QTest::newRow("archive rows on the archive root") << int(archive::kDragArchiveList) << "archive-tree"
                                                      << "C:\\nested.zip/";
    QTest::newRow("archive folder on an archive folder") << int(archive::kDragArchiveTree) << "archive-tree"
                                                         << "C:\\nested.zip/docs/";
    QTest::newRow("local rows on the computer") << int(archive::kDragLocalList) << "local-tree"
                                                << "Local Computer";
    QTest::newRow("local rows on no item") << int(archive::kDragLocalList) << "local-tree"
                                           << "";
}

void FileOpsTest::releasesOnNoTargetDoNothing() {
    QFETCH(int, kind);
    QFETCH(QString, pane);
    QFETCH(QString, target);
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("data/a.txt"), "a");
    testsupport::writeFile(sandbox.hostPath("data/sub/b.txt"), "b");
    FakeHost host;
    host.createPanes();
    openNestedArchive(host);
    QVERIFY(host.trees[0]->selectPath("C:\\data\\"));
    host.lists[0]->selectAll();
    host.lists[1]->selectAll();
    host.doc->drag().sourceKind = kind;
    host.doc->drag().draggedFolderPath = "C:\\nested.zip/docs";
    host.doc->drag().draggedFolderName = "docs";
    host.fakeWindow.calls.clear();
    const int row = pane.startsWith("local") ? 0 : 1;
    if (pane.endsWith("list")) {
        host.lists[row]->dropOnRow(target.isEmpty() ? -1 : host.lists[row]->rowNamed(target));
    } else {
        host.trees[row]->dropOnItem(target.isEmpty() ? nullptr : host.trees[row]->findItem(target));
    }
    QCOMPARE(boxes(host), QStringList{});
    QVERIFY(items(host).isEmpty());
    QVERIFY(progressTitles(host).isEmpty());
    QVERIFY(present(sandbox, "data/sub/b.txt"));
    QVERIFY(!present(sandbox, "data/sub/sub"));
}

void FileOpsTest::anUnreadableSourceNeverCostsTheFolderItWouldReplace() {
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("target/Sub/precious.txt"), "keep");
    FakeHost host;
    host.createPanes();
    // The dragged folder has gone behind the program's back since the drag began.
    archive::DragState& drag = host.doc->drag();
    drag.sourceKind = archive::kDragLocalTree;
    drag.draggedFolderPath = "C:\\vanished\\Sub\\";
    drag.draggedFolderName = "Sub";
    answer(host, {archive::MessageAnswer::Ok});
    views::CMyTreeView& tree = *host.trees[0];
    tree.dropOnItem(tree.revealItem("C:\\target\\"));
    QCOMPARE(boxes(host), QStringList({kConfirmCopyBox, kCopyFailedBox}));
    QCOMPARE(testsupport::readFile(sandbox.hostPath("target/Sub/precious.txt")), std::string("keep"));
}

void FileOpsTest::archiveDropsCollectMembersAndExtract_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("archiveFolder"); // selected in the archive tree
    QTest::addColumn<QStringList>("rows");      // selected in the archive list (kind 3)
    QTest::addColumn<QString>("dropOn");        // "tree:PATH" or a row of C:\out\ in the local list
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QStringList>("expectedItems");
    // Rows name members by the tree path; the archive's own path goes with the list file's "/" cut.
    QTest::newRow("list rows onto a folder row")
        << int(archive::kDragArchiveList) << "C:\\nested.zip/docs/" << QStringList{"b.txt", "old"} << "here"
        << "C:\\out\\here" << QStringList{"docs\\old\\a.txt|12", "C:\\nested.zip/docs/b.txt|8893"};
    QTest::newRow("list rows onto a drive")
        << int(archive::kDragArchiveList) << "C:\\nested.zip/" << QStringList{"empty.txt"} << "tree:C:\\"
        << "C:/" << QStringList{"C:\\nested.zip/empty.txt|0"};
    QTest::newRow("archive folder onto a folder row")
        << int(archive::kDragArchiveTree) << "C:\\nested.zip/docs/" << QStringList{} << "here"
        << "C:\\out\\here" << QStringList{"docs\\b.txt|8893", "docs\\old\\a.txt|12"};
    QTest::newRow("archive folder onto a drive")
        << int(archive::kDragArchiveTree) << "C:\\nested.zip/top dir/" << QStringList{} << "tree:C:\\"
        << "C:/" << QStringList{"top dir\\r.bin|3000"};
}

void FileOpsTest::archiveDropsCollectMembersAndExtract() {
    QFETCH(int, kind);
    QFETCH(QString, archiveFolder);
    QFETCH(QStringList, rows);
    QFETCH(QString, dropOn);
    QFETCH(QString, destination);
    QFETCH(QStringList, expectedItems);
    Sandbox sandbox;
    fs::create_directories(sandbox.hostPath("out/here"));
    FakeHost host;
    host.createPanes();
    openNestedArchive(host);
    QVERIFY(host.trees[1]->selectPath(archiveFolder));
    archive::DragState& drag = host.doc->drag();
    drag.sourceKind = kind;
    if (kind == archive::kDragArchiveList) {
        QVERIFY(host.lists[1]->selectRowsByName(rows));
    } else {
        drag.draggedFolderPath = archiveFolder.chopped(1).toStdString();
        drag.draggedFolderName = archiveFolder.chopped(1).section('/', -1).toStdString();
    }
    host.archiveEngine->state().deleteRequest = true; // left over: a drop from the archive clears it
    answer(host, {archive::MessageAnswer::Ok});

    if (dropOn.startsWith("tree:")) {
        host.trees[0]->dropOnItem(host.trees[0]->revealItem(dropOn.mid(5)));
    } else {
        QVERIFY(host.trees[0]->selectPath("C:\\out\\"));
        host.lists[0]->dropOnRow(host.lists[0]->rowNamed(dropOn));
    }

    QCOMPARE(boxes(host).value(0), QString(kConfirmUnzipBox));
    QCOMPARE(items(host), expectedItems);
    QCOMPARE(QString::fromStdString(host.archiveEngine->state().extractDestination), destination);
    QCOMPARE(progressTitles(host), QStringList{"UnZipping Files - Please Wait ..."});
    QVERIFY(!host.archiveEngine->state().deleteRequest);
}

void FileOpsTest::zipCommandAddsTheLocalSelection() {
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("data/a.txt"), "aaaa");
    testsupport::writeFile(sandbox.hostPath("data/sub/b.txt"), "bb");
    testsupport::writeFile(sandbox.hostPath("data/sub/deep/c.txt"), "c");
    testsupport::writeFile(sandbox.hostPath("data/skipped.txt"), "not selected");
    // A link back up would make the walk endless if it were followed.
    fs::create_directory_symlink(sandbox.hostPath("data"), sandbox.hostPath("data/sub/up"));
    FakeHost host;
    host.createPanes();
    QVERIFY(host.trees[0]->selectPath("C:\\data\\"));
    QVERIFY(host.lists[0]->selectRowsByName({"a.txt", "sub"}));
    host.doc->drag().sourceKind = archive::kDragArchiveTree; // whatever the last drag was
    answer(host, {archive::MessageAnswer::Ok});

    views::CMyListView::runZipCommand(host);

    QCOMPARE(boxes(host).value(0), QString(kConfirmZipBox));
    QCOMPARE(host.doc->drag().sourceKind, int(archive::kDragLocalList));
    // Rows in their order, folders first; a folder's files at any depth, its link to a folder left out.
    QCOMPARE(items(host),
             QStringList({"C:\\data\\sub\\b.txt|2", "C:\\data\\sub\\deep\\c.txt|1", "C:\\data\\a.txt|4"}));
    QCOMPARE(progressTitles(host), QStringList{"Zipping Files - Please Wait ..."});

    // Declined: nothing is collected.
    host.fakeWindow.calls.clear();
    host.archiveEngine->clearOperationItems();
    answer(host, {archive::MessageAnswer::Cancel});
    views::CMyListView::runZipCommand(host);
    QVERIFY(items(host).isEmpty());
    QVERIFY(progressTitles(host).isEmpty());
}

void FileOpsTest::anUnreadableFolderStopsTheZipCommand() {
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("data/a.txt"), "a");
    testsupport::writeFile(sandbox.hostPath("data/sub/b.txt"), "b");
    testsupport::writeFile(sandbox.hostPath("data/sub/locked/c.txt"), "c");
    FakeHost host;
    host.createPanes();
    QVERIFY(host.trees[0]->selectPath("C:\\data\\"));
    QVERIFY(host.lists[0]->selectRowsByName({"a.txt", "sub"}));
    answer(host, {archive::MessageAnswer::Ok});
    chmod(sandbox.hostPath("data/sub/locked").c_str(), 0);
    {
        testsupport::PermissionsEnforced asAUser;
        views::CMyListView::runZipCommand(host);
    }
    chmod(sandbox.hostPath("data/sub/locked").c_str(), 0755);

    // The folder is named, and no add runs on what could be read: nothing claims success.
    QCOMPARE(boxes(host),
             QStringList({kConfirmZipBox, "Stop|Unable to Add Files to the Archive|The program "
                                          "was unable to read the folder C:\\data\\sub\\locked."}));
    QVERIFY(progressTitles(host).isEmpty());
    QCOMPARE(host.status[0], QString("Ready"));
    QCOMPARE(host.fakeWindow.waitCursorDepth, 0);
}

void FileOpsTest::localDeleteStopsAtAReadOnlyFile() {
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("data/a.txt"), "a");
    testsupport::writeFile(sandbox.hostPath("data/b/inner.txt"), "b");
    testsupport::writeFile(sandbox.hostPath("data/c.txt"), "read-only");
    testsupport::writeFile(sandbox.hostPath("data/d.txt"), "d");
    testsupport::writeFile(sandbox.hostPath("keep/kept.txt"), "kept");
    fs::create_directory_symlink(sandbox.hostPath("keep"), sandbox.hostPath("data/b/link"));
    chmod(sandbox.hostPath("data/c.txt").c_str(), 0444);
    FakeHost host;
    host.createPanes();
    QVERIFY(host.trees[0]->selectPath("C:\\data\\"));
    views::CMyListView& list = *host.lists[0];
    QVERIFY(list.selectRowsByName({"a.txt", "b", "c.txt", "d.txt"}));
    answer(host, {archive::MessageAnswer::Ok});

    list.deleteSelection();

    QCOMPARE(boxes(host), QStringList({kConfirmDeleteBox, kDeleteFileFailedBox}));
    QVERIFY(!present(sandbox, "data/a.txt"));
    QVERIFY(!present(sandbox, "data/b"));
    QVERIFY(present(sandbox, "data/c.txt"));
    QVERIFY(present(sandbox, "data/d.txt"));
    QCOMPARE(testsupport::readFile(sandbox.hostPath("keep/kept.txt")), std::string("kept"));
    // The list is read again: it shows what is left.
    QCOMPARE(list.rowCount(), 2);
    QVERIFY(list.rowNamed("c.txt") >= 0 && list.rowNamed("d.txt") >= 0);
}

void FileOpsTest::diskStepFailuresShowTheirOwnMessage_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("kept"); // what the failure leaves in place
    // The shown folder was removed behind the program's back.
    QTest::newRow("new folder")
        << "new folder"
        << "Stop|Error Creating Directory|The program was unable to create the new directory."
        << "";
    // A folder of the file's name stands where the copy would go.
    QTest::newRow("file copy") << "copy" << kCopyFailedBox << "data/dst/a.txt/inside.txt";
    // Its files go, but the folder holding it may not be changed, so the emptied folder cannot go.
    QTest::newRow("folder removal") << "delete"
                                    << "Stop|Error Deleting Folder|The program was unable to delete the "
                                       "specified folder(s)."
                                    << "data/odd";
}

void FileOpsTest::diskStepFailuresShowTheirOwnMessage() {
    QFETCH(QString, operation);
    QFETCH(QString, box);
    QFETCH(QString, kept);
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("data/a.txt"), "a");
    testsupport::writeFile(sandbox.hostPath("data/dst/a.txt/inside.txt"), "in");
    testsupport::writeFile(sandbox.hostPath("data/odd/plain.txt"), "p");
    testsupport::writeFile(sandbox.hostPath("data/odd/back\\slash"), "b");
    FakeHost host;
    host.createPanes();
    QVERIFY(host.trees[0]->selectPath("C:\\data\\"));
    views::CMyListView& list = *host.lists[0];
    answer(host, {archive::MessageAnswer::Ok});
    if (operation == "new folder") {
        fs::remove_all(sandbox.hostPath("data"));
        list.newFolder();
        QCOMPARE(boxes(host), QStringList{box});
        QVERIFY(!present(sandbox, "data"));
        QCOMPARE(list.rowNamed("NewFolder1"), -1);
        return;
    }
    if (operation == "copy") {
        QVERIFY(list.selectRowsByName({"a.txt"}));
        host.doc->drag().sourceKind = archive::kDragLocalList;
        list.dropOnRow(list.rowNamed("dst"));
        QCOMPARE(boxes(host), QStringList({kConfirmCopyBox, box}));
    } else {
        QVERIFY(list.selectRowsByName({"odd"}));
        chmod(sandbox.hostPath("data").c_str(), 0555);
        {
            testsupport::PermissionsEnforced asAUser;
            list.deleteSelection();
        }
        chmod(sandbox.hostPath("data").c_str(), 0755);
        QCOMPARE(boxes(host), QStringList({kConfirmDeleteBox, box}));
        QVERIFY(!present(sandbox, "data/odd/plain.txt"));
        QVERIFY2(!present(sandbox, "data/odd/back\\slash"), "a name with a backslash is deleted too");
    }
    QVERIFY2(present(sandbox, kept.toStdString()), qPrintable(kept));
}

void FileOpsTest::archiveDeleteCollectsTheSelectedMembers() {
    Sandbox sandbox;
    FakeHost host;
    host.createPanes();
    openNestedArchive(host);
    QVERIFY(host.trees[1]->selectPath("C:\\nested.zip/docs/"));
    QVERIFY(host.lists[1]->selectRowsByName({"b.txt", "old"}));
    answer(host, {archive::MessageAnswer::Ok});

    host.lists[1]->deleteSelection();

    QCOMPARE(boxes(host).value(0), QString(kConfirmDeleteBox));
    QCOMPARE(items(host), QStringList({"docs\\old\\a.txt|12", "C:\\nested.zip/docs/b.txt|8893"}));
    QCOMPARE(progressTitles(host), QStringList{"Deleting Files - Please Wait ..."});
    QVERIFY(!host.archiveEngine->state().deleteRequest);
}

void FileOpsTest::unzipCommandChecksItsSelectionAndDestination() {
    Sandbox sandbox;
    fs::create_directories(sandbox.hostPath("out"));
    FakeHost host;
    host.createPanes();
    openNestedArchive(host);
    views::CMyTreeView& tree = *host.trees[0];
    views::CMyListView& archiveList = *host.lists[1];

    archiveList.clearSelection();
    tree.unzipIntoTreeFolder();
    QCOMPARE(boxes(host), QStringList{"Stop|Unable to Unzip Files|There are no files selected to Unzip."});

    host.fakeWindow.calls.clear();
    QVERIFY(archiveList.selectRowsByName({"empty.txt"}));
    tree.setCurrentItem(tree.rootItem());
    tree.unzipIntoTreeFolder();
    QCOMPARE(boxes(host),
             QStringList{"Stop|Unable to Unzip Files|Please first select a Treeview Folder as the "
                         "Destination (in the upper-left quadrant)."});
    QVERIFY(progressTitles(host).isEmpty());

    host.fakeWindow.calls.clear();
    QVERIFY(tree.selectPath("C:\\out\\"));
    QVERIFY(archiveList.selectRowsByName({"empty.txt"}));
    answer(host, {archive::MessageAnswer::Ok});
    tree.unzipIntoTreeFolder();
    QCOMPARE(boxes(host).value(0), QString(kConfirmUnzipBox));
    QCOMPARE(items(host), QStringList{"C:\\nested.zip/empty.txt|0"});
    QCOMPARE(QString::fromStdString(host.archiveEngine->state().extractDestination), QString("C:\\out"));
    QCOMPARE(host.doc->drag().sourceKind, int(archive::kDragArchiveList));
}

void FileOpsTest::filesFromTheDesktopDropAsLocalRows_data() {
    QTest::addColumn<int>("pane"); // 0 local tree, 1 local list, 2 archive tree, 3 archive list
    QTest::addColumn<QString>("over");
    QTest::addColumn<QStringList>("expectedBoxes");
    QTest::addColumn<QStringList>("expected"); // copied files, or the collected items
    QTest::newRow("local folder row")
        << 1 << "dst" << QStringList{kConfirmCopyBox} << QStringList{"dst/a.txt", "dst/sub/inner.txt"};
    QTest::newRow("local list's own folder")
        << 1 << "" << QStringList{kConfirmCopyBox} << QStringList{"a.txt", "sub/inner.txt"};
    QTest::newRow("local tree folder") << 0 << "C:\\work\\dst\\" << QStringList{kConfirmCopyBox}
                                       << QStringList{"dst/a.txt", "dst/sub/inner.txt"};
    QTest::newRow("archive list") << 3 << "" << QStringList{kConfirmZipBox}
                                  << QStringList{"C:\\elsewhere\\a.txt|1", "C:\\elsewhere\\sub\\inner.txt|5"};
    QTest::newRow("archive tree") << 2 << "C:\\nested.zip/" << QStringList{kConfirmZipBox}
                                  << QStringList{"C:\\elsewhere\\a.txt|1", "C:\\elsewhere\\sub\\inner.txt|5"};
}

void FileOpsTest::filesFromTheDesktopDropAsLocalRows() {
    QFETCH(int, pane);
    QFETCH(QString, over);
    QFETCH(QStringList, expectedBoxes);
    QFETCH(QStringList, expected);
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("elsewhere/a.txt"), "a");
    testsupport::writeFile(sandbox.hostPath("elsewhere/sub/inner.txt"), "inner");
    fs::create_directories(sandbox.hostPath("work/dst"));
    FakeHost host;
    host.createPanes();
    openNestedArchive(host);
    QVERIFY(host.trees[0]->selectPath("C:\\work\\"));
    const QList<QUrl> files = {
        QUrl::fromLocalFile(QString::fromStdString(sandbox.hostPath("elsewhere/a.txt"))),
        QUrl::fromLocalFile(QString::fromStdString(sandbox.hostPath("elsewhere/sub")))};
    QAbstractItemView* panes[4] = {host.trees[0], host.lists[0], host.trees[1], host.lists[1]};
    QAbstractItemView& view = *panes[pane];
    QPoint at(view.viewport()->width() / 2, view.viewport()->height() - 5);
    if (pane % 2 == 1 && !over.isEmpty()) {
        at = rowPoint(*host.lists[pane / 2], over);
    } else if (pane % 2 == 0) {
        views::CMyTreeView& tree = *host.trees[pane / 2];
        QTreeWidgetItem* item = tree.currentItem();
        QVERIFY(tree.selectPath(over));
        const QRect cell = tree.visualItemRect(tree.currentItem());
        at = QPoint(cell.left() + 24, cell.center().y());
        tree.setCurrentItem(item);
    }

    // Something else than files, or a drag of the panes' own under way, is refused.
    QVERIFY(!dropFromDesktop(view, at, {QUrl("https://example.org/a.txt")}));
    answer(host, {archive::MessageAnswer::Ok});
    QVERIFY(dropFromDesktop(view, at, files));

    // (The archive operation's job never runs here: the box after the confirmation says so.)
    QCOMPARE(boxes(host).mid(0, 1), expectedBoxes);
    if (pane >= 2) {
        // Added as the Zip command adds the local list's rows, with its progress.
        QCOMPARE(items(host), expected);
        QCOMPARE(progressTitles(host), QStringList{"Zipping Files - Please Wait ..."});
    } else {
        for (const QString& file : expected) {
            QVERIFY2(present(sandbox, "work/" + file.toStdString()), qPrintable(file));
        }
        QVERIFY(present(sandbox, "elsewhere/a.txt")); // copied, not moved
        QVERIFY(items(host).isEmpty());
        if (pane == 1 && over.isEmpty()) {
            QVERIFY(host.lists[0]->rowNamed("a.txt") >= 0); // the list shows the copies
        }
    }

    // Declined: nothing happens.
    host.fakeWindow.calls.clear();
    host.archiveEngine->clearOperationItems();
    answer(host, {archive::MessageAnswer::Cancel});
    fs::remove_all(sandbox.hostPath("work/dst"));
    fs::create_directories(sandbox.hostPath("work/dst"));
    QVERIFY(dropFromDesktop(view, at, files));
    QVERIFY(items(host).isEmpty());
    QVERIFY(!present(sandbox, "work/dst/a.txt"));
}

// A drag that leaves the window hands the desktop what it drags: local rows as they are, archive
// rows extracted with their folders into a folder of the program's own; only while the button is
// held, since a desktop drag started after its release would wait for another click.
void FileOpsTest::dragsOutOfTheWindowHandOverFiles() {
    // The application's own record of the buttons, kept from window system input.
    QWindow pointer;
    pointer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pointer));
    QTest::mousePress(&pointer, Qt::LeftButton);
    QVERIFY(QGuiApplication::mouseButtons().testFlag(Qt::LeftButton));
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("work/a.txt"), "a");
    fs::create_directories(sandbox.hostPath("work/sub"));
    fs::create_directories(sandbox.hostPath("Program"));
    FakeHost host;
    host.createPanes();
    openNestedArchive(host);
    QList<QUrl> handed;
    int drags = 0;
    host.doc->desktop().drag = [&](QWidget*, QMimeData* data) {
        ++drags;
        handed = data->urls();
        delete data;
    };
    QVERIFY(host.trees[0]->selectPath("C:\\work\\"));
    views::CMyListView& local = *host.lists[0];
    QVERIFY(local.selectRowsByName({"a.txt", "sub"}));
    host.doc->drag().sourceKind = archive::kDragLocalList;
    local.startDragImage(rowPoint(local, "a.txt"));
    // Into the pane beside it: still the panes' own drag.
    QVERIFY(local.dragMouseMove(QPoint(-5, 10)));
    QCOMPARE(drags, 0);
    local.startDragImage(rowPoint(local, "a.txt"));
    QVERIFY(local.dragMouseMove(local.viewport()->mapFrom(&host.container, QPoint(-30, 10))));
    QCOMPARE(drags, 1);
    QVERIFY(!views::isDragUnderWay(host.doc->drag()));
    QCOMPARE(handed,
             QList<QUrl>({QUrl::fromLocalFile(QString::fromStdString(sandbox.hostPath("work/sub"))),
                          QUrl::fromLocalFile(QString::fromStdString(sandbox.hostPath("work/a.txt")))}));
    // Let go of by the time the drag would start (the extraction of members takes a while): the
    // drag ends quietly.
    QTest::mouseRelease(&pointer, Qt::LeftButton);
    local.startDragImage(rowPoint(local, "a.txt"));
    QVERIFY(local.dragMouseMove(local.viewport()->mapFrom(&host.container, QPoint(-30, 10))));
    QCOMPARE(drags, 1);
    QVERIFY(!views::isDragUnderWay(host.doc->drag()));

    // Archive rows: the archiver extracts them into a new folder inside the program's folder.
    QVERIFY(host.trees[1]->selectPath("C:\\nested.zip/docs/"));
    views::CMyListView& members = *host.lists[1];
    QVERIFY(members.selectRowsByName({"b.txt", "old"}));
    host.doc->drag().sourceKind = archive::kDragArchiveList;
    members.startDragImage(rowPoint(members, "b.txt"));
    QVERIFY(members.dragMouseMove(members.viewport()->mapFrom(&host.container, QPoint(10, 700))));
    QCOMPARE(items(host), QStringList({"docs\\old\\a.txt|12", "C:\\nested.zip/docs/b.txt|8893"}));
    const std::string destination = host.archiveEngine->state().extractDestination;
    QCOMPARE(QString::fromStdString(destination).left(18), QString("C:\\Program\\copies\\"));
    QVERIFY(present(sandbox, "Program/copies/" + destination.substr(18)));
    QCOMPARE(progressTitles(host), QStringList{"UnZipping Files - Please Wait ..."});
    QVERIFY(boxes(host).filter("Information").isEmpty()); // no completion box in the middle of a drag
    QCOMPARE(host.doc->drag().sourceKind, int(archive::kDragArchiveList));
}

void FileOpsTest::rowsOpenWithTheDesktopApplication() {
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("work/a file.txt"), "a");
    fs::create_directories(sandbox.hostPath("Program"));
    FakeHost host;
    host.createPanes();
    openNestedArchive(host);
    QStringList opened;
    host.doc->desktop().open = [&](const QString& path) {
        opened << path;
        return true;
    };
    QVERIFY(host.trees[0]->selectPath("C:\\work\\"));
    views::CMyListView& local = *host.lists[0];
    QTest::mouseDClick(local.viewport(), Qt::LeftButton, Qt::NoModifier, rowPoint(local, "a file.txt"));
    QCOMPARE(opened, QStringList{QString::fromStdString(sandbox.hostPath("work/a file.txt"))});
    local.setFocus();
    QVERIFY(local.selectRowsByName({"a file.txt"}));
    QTest::keyClick(&local, Qt::Key_Return);
    QCOMPARE(opened.size(), 2);
    QVERIFY(boxes(host).isEmpty());

    // A member: extracted through the archiver for it, then opened.
    QVERIFY(host.trees[1]->selectPath("C:\\nested.zip/docs/"));
    views::CMyListView& members = *host.lists[1];
    QTest::mouseDClick(members.viewport(), Qt::LeftButton, Qt::NoModifier, rowPoint(members, "b.txt"));
    QCOMPARE(items(host), QStringList{"C:\\nested.zip/docs/b.txt|8893"});
    QCOMPARE(QString::fromStdString(host.archiveEngine->state().extractDestination).left(18),
             QString("C:\\Program\\copies\\"));
    QCOMPARE(progressTitles(host), QStringList{"UnZipping Files - Please Wait ..."});
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    setenv("TZ", "UTC", 1);
    tzset();
    QApplication app(argc, argv);
    FileOpsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "fileops_test.moc"
