#include "archiveengine.h"
#include "fakewindow.h"
#include "offscreenmain.h"
#include "progressdialog.h"
#include "sandbox.h"
#include "windowseam.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <filesystem>
#include <memory>

using archive::ProgressRow;
using frame::ProgressDialog;
using testsupport::FakeWindow;

namespace {

const char kTitle[] = "Zipping Files - Please Wait ...";
const std::string kCancelledBox = "Stop|Process Cancelled|The process has been cancelled by the user.";

// What a list shows, one "name|size|date" line per row, read back from the view's model as the
// list control would draw it.
QStringList shownRows(const QTreeView* view) {
    QStringList rows;
    const QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column) {
            cells.append(model->index(row, column).data().toString());
        }
        rows.append(cells.join(QLatin1Char('|')));
    }
    return rows;
}

// A left click on a button that waits in the event queue, as a click made while the thread was
// blocked in an archiver job does.
void queueClick(QWidget* button) {
    const QPointF at = QRectF(button->rect()).center();
    const QPointF global = button->mapToGlobal(at);
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                        Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

// The main window the dialog belongs to.
struct Owner : QWidget {
    Owner() {
        setWindowTitle(QStringLiteral("Pellix - blank.zip"));
        setGeometry(40, 30, 700, 560);
        show();
    }
};

// Hands the archive engine a real progress dialog and keeps it after the engine has let go of it,
// so that a test can read what it showed at the end of the operation. It can queue a Cancel click
// before a given cancellation check, as a user clicking during an archiver job would.
class RealDialogWindow : public FakeWindow {
public:
    explicit RealDialogWindow(QWidget* owner) : m_owner(owner) {}

    std::unique_ptr<archive::ProgressDialog> createProgressDialog(const std::string& title) override {
        calls.push_back("progress " + title);
        dialog = std::make_unique<ProgressDialog>(m_owner, *this, nullptr, QString::fromStdString(title));
        return std::make_unique<Forwarder>(*this);
    }

    std::unique_ptr<ProgressDialog> dialog;
    int queueCancelBeforeCheck = 0; // 1 = the first check of the operation
    int checks = 0;

private:
    class Forwarder : public archive::ProgressDialog {
    public:
        explicit Forwarder(RealDialogWindow& window) : m_window(window) {}
        void setPosition(int percent) override { real().setPosition(percent); }
        void addNowProcessing(const ProgressRow& row) override { real().addNowProcessing(row); }
        void clearNowProcessing() override { real().clearNowProcessing(); }
        void addCompleted(const ProgressRow& row) override { real().addCompleted(row); }
        void scrollCompletedToEnd() override { real().scrollCompletedToEnd(); }
        void setCountTexts(const std::string& count, const std::string& sizes) override {
            real().setCountTexts(count, sizes);
        }
        bool checkCancelled() override {
            if (++m_window.checks == m_window.queueCancelBeforeCheck) {
                queueClick(real().cancelButton());
            }
            return real().checkCancelled();
        }
        bool cancelRequested() const override { return m_window.dialog->cancelRequested(); }
        void requestCancel() override { real().requestCancel(); }
        void setRateText(const std::string& text) override { real().setRateText(text); }

    private:
        frame::ProgressDialog& real() { return *m_window.dialog; }
        RealDialogWindow& m_window;
    };

    QWidget* m_owner;
};

// The archive engine over a program directory C:\prog\ with the real archiver and interpreter,
// a main window, and three files to add to C:\out.zip in two chunks: one.bin (300,000 bytes),
// then two.bin (300,000) with three.txt (5).
struct EngineWorld {
    testsupport::Sandbox sandbox;
    archive::JobFiles files;
    Owner owner;
    RealDialogWindow window{&owner};
    std::string lastFolder = "C:\\";
    std::int32_t includePathInfo = 0;
    archive::RecentFileList recent;
    archive::ArchiveEngine engine;

    EngineWorld()
        : files(prepareProgramDir(sandbox)), engine(files, window, lastFolder, includePathInfo, recent) {
        testsupport::writeFile(sandbox.hostPath("in/one.bin"), std::string(300'000, '1'));
        testsupport::writeFile(sandbox.hostPath("in/two.bin"), std::string(300'000, '2'));
        testsupport::writeFile(sandbox.hostPath("in/three.txt"), "three");
        engine.state().archivePath = "C:\\out.zip";
        engine.state().archiveFileName = "out.zip";
        for (const char* name : {"in/one.bin", "in/two.bin", "in/three.txt"}) {
            const auto size = static_cast<std::int64_t>(std::filesystem::file_size(sandbox.hostPath(name)));
            engine.AddOperationItem(testsupport::Sandbox::windowsPath(name), size, "1/1/20 1:00 AM");
        }
    }

    static archive::JobFiles prepareProgramDir(const testsupport::Sandbox& sandbox) {
        std::filesystem::create_directories(sandbox.hostPath("prog"));
        std::filesystem::create_symlink(testsupport::programDir() + "/PKZIP25.EXE",
                                        sandbox.hostPath("prog/PKZIP25.EXE"));
        return archive::JobFiles::inProgramDir("C:\\prog\\", testsupport::programDir() + "/pellix-batch");
    }

    // The members of C:\out.zip as the engine listed it after the operation.
    QStringList memberNames() const {
        QStringList names;
        for (const archive::ArchiveEntry& entry : engine.state().entries) {
            names.append(QString::fromStdString(entry.name));
        }
        return names;
    }
};

} // namespace

class ProgressDialogTest : public QObject {
    Q_OBJECT

private slots:
    void opensEmptyWithTheTitleOverItsOwner();
    void showsTheRowsAndTextsItIsGiven();
    void columnsAndCountsFitTheirWidestText();
    void positionStaysWithinTheBar_data();
    void positionStaysWithinTheBar();
    void staysOnScreenOverALargeOwner();
    void completedListScrollsToItsLastRow();
    void cancelWorksWhileTheMainWindowIsDisabled();
    void duringAJobOnlyTheDialogTakesInput_data();
    void duringAJobOnlyTheDialogTakesInput();
    void queuedInputIsSeenByTheNextCheck_data();
    void queuedInputIsSeenByTheNextCheck();
    void everyCheckAfterCancelReportsItAgain();
    void hideProgramCallsBackAndTheDialogFollowsTheOwner();
    void eachDialogStartsAfresh();
    void realAddFillsTheDialog();
    void cancelDuringARealAdd_data();
    void cancelDuringARealAdd();
};

void ProgressDialogTest::opensEmptyWithTheTitleOverItsOwner() {
    Owner owner;
    FakeWindow window;
    ProgressDialog dialog(&owner, window, nullptr, QString::fromUtf8(kTitle));

    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8(kTitle));
    QVERIFY2(!(dialog.windowFlags() & Qt::WindowCloseButtonHint), "the dialog has no close box");
    QVERIFY2(dialog.parentWidget() == nullptr, "a window of its own, not a child of the main window");
    QCOMPARE(dialog.position(), 0);
    QVERIFY(dialog.nowProcessingRows().empty());
    QVERIFY(dialog.completedRows().empty());
    QVERIFY(dialog.fileCountText().isEmpty());
    QVERIFY(dialog.fileSizesText().isEmpty());
    QVERIFY(!dialog.cancelRequested());

    const QPoint ownerCentre = owner.geometry().center();
    const QPoint dialogCentre = dialog.geometry().center();
    QVERIFY2((ownerCentre - dialogCentre).manhattanLength() <= 2,
             qPrintable(QStringLiteral("owner centre %1,%2, dialog centre %3,%4")
                            .arg(ownerCentre.x())
                            .arg(ownerCentre.y())
                            .arg(dialogCentre.x())
                            .arg(dialogCentre.y())));

    // Both lists: Name 400, Size 70 aligned right, Date Modified 130, and nothing else.
    for (const QTreeView* view : {dialog.nowProcessingView(), dialog.completedView()}) {
        const QAbstractItemModel* model = view->model();
        QCOMPARE(model->columnCount(), 3);
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Size"));
        QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Date Modified"));
        QCOMPARE(view->header()->sectionSize(0), 400);
        QCOMPARE(view->header()->sectionSize(1), 70);
        QCOMPARE(view->header()->sectionSize(2), 130);
        QVERIFY2(view->width() >= 600, "all three columns fit the list");
    }
    QCOMPARE(dialog.cancelButton()->text(), QStringLiteral("&Cancel"));
    QCOMPARE(dialog.hideProgramButton()->text(), QStringLiteral("&Hide Program"));
}

void ProgressDialogTest::showsTheRowsAndTextsItIsGiven() {
    Owner owner;
    FakeWindow window;
    ProgressDialog dialog(&owner, window, nullptr, QString::fromUtf8(kTitle));

    dialog.addNowProcessing({"C:\\in\\one.bin", "300,000", "1/1/20 1:00 AM"});
    dialog.addNowProcessing({"C:\\in\\two.bin", "5", "2/3/21 4:05 PM"});
    dialog.addCompleted({"C:\\in\\zero.bin", "0", "12/31/99 11:59 PM"});
    dialog.setCountTexts("1 of 3 (33%)", "0 of 300,005 (0%)");
    dialog.setPosition(42);

    QCOMPARE(shownRows(dialog.nowProcessingView()),
             (QStringList{"C:\\in\\one.bin|300,000|1/1/20 1:00 AM", "C:\\in\\two.bin|5|2/3/21 4:05 PM"}));
    QCOMPARE(shownRows(dialog.completedView()), QStringList{"C:\\in\\zero.bin|0|12/31/99 11:59 PM"});
    QCOMPARE(dialog.nowProcessingRows().size(), size_t(2));
    QCOMPARE(QString::fromStdString(dialog.nowProcessingRows()[1].sizeText), QStringLiteral("5"));
    QCOMPARE(dialog.fileCountText(), QStringLiteral("1 of 3 (33%)"));
    QCOMPARE(dialog.fileSizesText(), QStringLiteral("0 of 300,005 (0%)"));
    QCOMPARE(dialog.position(), 42);
    const QModelIndex size = dialog.nowProcessingView()->model()->index(0, 1);
    QVERIFY2(size.data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight, "sizes align right");

    dialog.clearNowProcessing();
    QVERIFY(dialog.nowProcessingRows().empty());
    QCOMPARE(dialog.nowProcessingView()->model()->rowCount(), 0);
    QCOMPARE(dialog.completedRows().size(), size_t(1));
}

void ProgressDialogTest::columnsAndCountsFitTheirWidestText() {
    Owner owner;
    FakeWindow window;
    ProgressDialog dialog(&owner, window, nullptr, QString::fromUtf8(kTitle));
    // Sizes and dates wider than the columns' first widths, in both lists.
    dialog.addNowProcessing({"C:\\in\\big.bin", "134,217,728", "12/31/99 11:59 PM"});
    dialog.addCompleted({"C:\\in\\huge.bin", "2,147,483,647", "12/31/2099 11:59 PM"});
    dialog.addCompleted({"C:\\in\\small.bin", "5", "1/1/20 1:00 AM"});
    dialog.setCountTexts("100,000 of 100,000 (100%)", "2,147,483,647 of 2,147,483,647 (100%)");
    QCoreApplication::processEvents();
    for (const QTreeView* view : {dialog.nowProcessingView(), dialog.completedView()}) {
        for (int column : {1, 2}) {
            for (const QTreeView* rows : {dialog.nowProcessingView(), dialog.completedView()}) {
                for (int row = 0; row < rows->model()->rowCount(); ++row) {
                    const QModelIndex index = rows->model()->index(row, column);
                    QVERIFY2(view->header()->sectionSize(column) >= rows->sizeHintForIndex(index).width(),
                             qPrintable(index.data().toString() + " is cut off"));
                }
            }
        }
        QCOMPARE(view->header()->sectionSize(0), 400);
        QVERIFY2(view->viewport()->width() >= view->header()->length(), "every column is seen whole");
    }
    for (const QLabel* count : dialog.findChildren<QLabel*>()) {
        QVERIFY2(count->width() >= count->sizeHint().width(), qPrintable(count->text() + " is cut off"));
    }
}

void ProgressDialogTest::positionStaysWithinTheBar_data() {
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("shown");
    QTest::newRow("start") << 0 << 0;
    QTest::newRow("part") << 49 << 49;
    QTest::newRow("end") << 100 << 100;
    // An operation whose items are all empty divides 0 by 0; whatever comes out, the bar moves.
    QTest::newRow("below") << -2147483647 - 1 << 0;
    QTest::newRow("above") << 250 << 100;
}

void ProgressDialogTest::positionStaysWithinTheBar() {
    QFETCH(int, percent);
    QFETCH(int, shown);
    FakeWindow window;
    ProgressDialog dialog(nullptr, window, nullptr, QString::fromUtf8(kTitle));
    dialog.setPosition(37);
    dialog.setPosition(percent);
    QCOMPARE(dialog.position(), shown);
}

void ProgressDialogTest::staysOnScreenOverALargeOwner() {
    QWidget owner;
    owner.setGeometry(-400, -300, 4000, 3000);
    owner.show();
    FakeWindow window;
    ProgressDialog dialog(&owner, window, nullptr, QString::fromUtf8(kTitle));
    const QRect screen = owner.screen()->availableGeometry();
    QVERIFY2(screen.contains(dialog.frameGeometry().topLeft()), "the title bar can be reached");
}

void ProgressDialogTest::completedListScrollsToItsLastRow() {
    Owner owner;
    FakeWindow window;
    ProgressDialog dialog(&owner, window, nullptr, QString::fromUtf8(kTitle));
    for (int row = 0; row < 300; ++row) {
        dialog.addCompleted({"C:\\in\\file" + std::to_string(row) + ".txt", "1", "1/1/20 1:00 AM"});
    }
    dialog.scrollCompletedToEnd();
    QTreeView* view = dialog.completedView();
    const QAbstractItemModel* model = view->model();
    const QRect viewport = view->viewport()->rect();
    QVERIFY2(viewport.intersects(view->visualRect(model->index(299, 0))), "the last row is visible");
    QVERIFY2(!viewport.intersects(view->visualRect(model->index(0, 0))), "the first row has scrolled away");
}

void ProgressDialogTest::cancelWorksWhileTheMainWindowIsDisabled() {
    Owner owner;
    FakeWindow window;
    ProgressDialog dialog(&owner, window, nullptr, QString::fromUtf8(kTitle));
    owner.setEnabled(false); // as the operation does before its first chunk

    QVERIFY(dialog.isEnabled());
    QVERIFY(dialog.cancelButton()->isEnabled());
    QVERIFY(!dialog.checkCancelled());
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    QVERIFY(dialog.checkCancelled());
    QCOMPARE(window.boxes(), std::vector<std::string>{kCancelledBox});
    QVERIFY2(dialog.isVisible(), "the operation closes the dialog, not the button");
}

void ProgressDialogTest::duringAJobOnlyTheDialogTakesInput_data() {
    QTest::addColumn<bool>("jobRunning");
    QTest::newRow("while a job runs") << true;
    QTest::newRow("between jobs") << false;
}

void ProgressDialogTest::duringAJobOnlyTheDialogTakesInput() {
    QFETCH(bool, jobRunning);
    // A main window left enabled (Hide Program, then restored) with a field, a button and a
    // command key: what the user does there while a job runs must not reach it.
    Owner owner;
    auto* field = new QLineEdit(&owner);
    auto* button = new QPushButton(QStringLiteral("Zip"), &owner);
    auto* zip = new QAction(&owner);
    owner.addAction(zip);
    int pressed = 0;
    int zipped = 0;
    QObject::connect(button, &QPushButton::clicked, [&pressed] { ++pressed; });
    QObject::connect(zip, &QAction::triggered, [&zipped] { ++zipped; });
    FakeWindow window;
    ProgressDialog dialog(&owner, window, nullptr, QString::fromUtf8(kTitle));

    frame::JobInputFilter filter(&owner);
    if (jobRunning) {
        qApp->installEventFilter(&filter);
    }
    QCoreApplication::postEvent(field, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x"));
    queueClick(button);
    QCoreApplication::postEvent(zip, new QShortcutEvent(QKeySequence(QStringLiteral("Ctrl+Z")), 0));
    queueClick(dialog.cancelButton());
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    qApp->removeEventFilter(&filter);

    QVERIFY2(dialog.cancelRequested(), "the progress dialog's Cancel always goes through");
    QCOMPARE(field->text(), jobRunning ? QString() : QStringLiteral("x"));
    QCOMPARE(pressed, jobRunning ? 0 : 1);
    QCOMPARE(zipped, jobRunning ? 0 : 1);
}

void ProgressDialogTest::queuedInputIsSeenByTheNextCheck_data() {
    QTest::addColumn<QString>("input");
    QTest::newRow("Cancel clicked") << QStringLiteral("click");
    QTest::newRow("Escape pressed") << QStringLiteral("escape");
    QTest::newRow("window closed by the desktop") << QStringLiteral("close");
}

void ProgressDialogTest::queuedInputIsSeenByTheNextCheck() {
    QFETCH(QString, input);
    Owner owner;
    FakeWindow window;
    ProgressDialog dialog(&owner, window, nullptr, QString::fromUtf8(kTitle));
    owner.setEnabled(false);

    if (input == QLatin1String("click")) {
        queueClick(dialog.cancelButton());
    } else if (input == QLatin1String("escape")) {
        QCoreApplication::postEvent(&dialog, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    } else {
        QCoreApplication::postEvent(&dialog, new QCloseEvent);
    }
    QVERIFY2(!dialog.cancelRequested(), "nothing is seen before the check handles the queue");
    QVERIFY(dialog.checkCancelled());
    QCOMPARE(window.boxes(), std::vector<std::string>{kCancelledBox});
    QVERIFY2(dialog.isVisible(), "the dialog stays until the operation ends");
}

void ProgressDialogTest::everyCheckAfterCancelReportsItAgain() {
    Owner owner;
    FakeWindow window;
    ProgressDialog dialog(&owner, window, nullptr, QString::fromUtf8(kTitle));
    QVERIFY(!dialog.checkCancelled());
    QVERIFY(!dialog.checkCancelled());
    QVERIFY(window.boxes().empty());

    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    QVERIFY(dialog.checkCancelled());
    QVERIFY(dialog.checkCancelled());
    QVERIFY(dialog.checkCancelled());
    QCOMPARE(window.boxes(), (std::vector<std::string>{kCancelledBox, kCancelledBox, kCancelledBox}));
}

void ProgressDialogTest::hideProgramCallsBackAndTheDialogFollowsTheOwner() {
    Owner owner;
    FakeWindow window;
    int hides = 0;
    ProgressDialog dialog(
        &owner, window,
        [&] {
            ++hides;
            owner.setEnabled(true);
            owner.showMinimized();
        },
        QString::fromUtf8(kTitle));
    owner.setEnabled(false);

    queueClick(dialog.hideProgramButton());
    QVERIFY2(!dialog.checkCancelled(), "Hide Program does not cancel");
    QCOMPARE(hides, 1);
    QVERIFY(owner.isEnabled());
    QVERIFY(owner.isMinimized());
    QVERIFY2(!dialog.isVisible(), "the dialog is minimised with the main window");

    // Restored from the task bar while the operation runs: the main window comes back disabled.
    owner.setEnabled(false);
    owner.showNormal();
    QVERIFY2(dialog.isVisible(), "the dialog comes back with the main window");
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    QVERIFY(dialog.checkCancelled());
    QCOMPARE(window.boxes(), std::vector<std::string>{kCancelledBox});
}

void ProgressDialogTest::eachDialogStartsAfresh() {
    Owner owner;
    FakeWindow window;
    auto first = std::make_unique<ProgressDialog>(&owner, window, nullptr, QStringLiteral("Deleting Files"));
    first->addNowProcessing({"a", "1", "d"});
    first->addCompleted({"b", "2", "d"});
    first->setCountTexts("1 of 1 (100%)", "2 of 2 (100%)");
    first->setPosition(100);
    QTest::mouseClick(first->cancelButton(), Qt::LeftButton);
    QVERIFY(first->checkCancelled());
    first.reset();

    // The main window minimised and restored between operations: nothing follows it any more.
    owner.showMinimized();
    owner.showNormal();

    ProgressDialog second(&owner, window, nullptr, QStringLiteral("UnZipping Files"));
    QCOMPARE(second.windowTitle(), QStringLiteral("UnZipping Files"));
    QCOMPARE(second.position(), 0);
    QVERIFY(second.nowProcessingRows().empty());
    QVERIFY(second.completedRows().empty());
    QVERIFY(second.fileCountText().isEmpty());
    QVERIFY(second.fileSizesText().isEmpty());
    QVERIFY(!second.cancelRequested());
    window.calls.clear();
    QVERIFY(!second.checkCancelled());
    QVERIFY(window.boxes().empty());
}

void ProgressDialogTest::realAddFillsTheDialog() {
    EngineWorld world;
    world.engine.RunArchiveOperation(true);

    QVERIFY(world.window.dialog != nullptr);
    const ProgressDialog& dialog = *world.window.dialog;
    QCOMPARE(shownRows(dialog.completedView()),
             (QStringList{"C:\\in\\one.bin|300,000|1/1/20 1:00 AM", "C:\\in\\two.bin|300,000|1/1/20 1:00 AM",
                          "C:\\in\\three.txt|5|1/1/20 1:00 AM"}));
    QVERIFY(dialog.nowProcessingRows().empty());
    QCOMPARE(dialog.fileCountText(), QStringLiteral("3 of 3 (100%)"));
    QCOMPARE(dialog.fileSizesText(), QStringLiteral("600,005 of 600,005 (100%)"));
    QCOMPARE(dialog.position(), 100);
    QCOMPARE(world.window.boxes(),
             std::vector<std::string>{"Information|Zip Completed|The Selected Files have been Zipped."});
    QCOMPARE(world.memberNames(), (QStringList{"one.bin", "two.bin", "three.txt"}));
}

void ProgressDialogTest::cancelDuringARealAdd_data() {
    QTest::addColumn<int>("cancelBeforeCheck");
    QTest::addColumn<QStringList>("members");
    QTest::addColumn<int>("completedRows");
    // The first check comes before the first job is launched: the archiver never runs.
    QTest::newRow("before the first job") << 1 << QStringList{} << 0;
    // The second comes after it: that job completes, and its member is listed as completed before
    // the operation stops; no further job runs.
    QTest::newRow("during the first job") << 2 << QStringList{"one.bin"} << 1;
    // The third comes after the first chunk has moved to "Files Completed".
    QTest::newRow("after the first chunk") << 3 << QStringList{"one.bin"} << 1;
}

void ProgressDialogTest::cancelDuringARealAdd() {
    QFETCH(int, cancelBeforeCheck);
    QFETCH(QStringList, members);
    QFETCH(int, completedRows);
    EngineWorld world;
    world.window.queueCancelBeforeCheck = cancelBeforeCheck;
    world.engine.RunArchiveOperation(true);

    QCOMPARE(world.window.boxes(), std::vector<std::string>{kCancelledBox});
    QCOMPARE(world.window.checks, cancelBeforeCheck);
    QCOMPARE(world.memberNames(), members);
    QCOMPARE(static_cast<int>(world.window.dialog->completedRows().size()), completedRows);
    QVERIFY(world.window.mainWindowEnabled);
}

PELLIX_OFFSCREEN_TEST_MAIN(ProgressDialogTest)
#include "progressdialog_test.moc"
