#include "aboutbox.h"
#include "archivefiledialog.h"
#include "mainframe.h"
#include "offscreenmain.h"
#include "passworddialog.h"
#include "pictures.h"
#include "splash.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTreeView>

using frame::AboutBox;
using frame::SplashWindow;

class SmallWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void aboutBoxShowsTheVersion();
    void aboutBoxCloses_data();
    void aboutBoxCloses();
    void splashSaysThatTheProgramOpens();
    void theIconKeepsItsZipperAtSmallSizes_data();
    void theIconKeepsItsZipperAtSmallSizes();
    void fileDialogsOpenWithTheirColumnsWhole_data();
    void fileDialogsOpenWithTheirColumnsWhole();
    void recentArchivesAreNamedInTheFileMenuAsTheyAre();
    void passwordFieldsAreMaskedUntilShowPassword();
};

void SmallWindowsTest::passwordFieldsAreMaskedUntilShowPassword() {
    for (const bool confirm : {false, true}) {
        frame::PasswordDialog dialog({"Encrypt Added Files", "Enter it twice:", confirm}, nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Encrypt Added Files"));
        QCOMPARE(dialog.confirmationField() != nullptr, confirm);
        QCOMPARE(dialog.showPasswordBox()->text(), QStringLiteral("&Show Password"));
        QList<QLineEdit*> fields = {dialog.passwordField()};
        if (confirm) {
            fields.append(dialog.confirmationField());
        }
        for (QLineEdit* field : fields) {
            QCOMPARE(field->echoMode(), QLineEdit::Password);
        }
        dialog.showPasswordBox()->setChecked(true);
        for (QLineEdit* field : fields) {
            QCOMPARE(field->echoMode(), QLineEdit::Normal);
        }
        dialog.showPasswordBox()->setChecked(false);
        QCOMPARE(dialog.passwordField()->echoMode(), QLineEdit::Password);
        dialog.passwordField()->setText("s3cret");
        if (confirm) {
            dialog.confirmationField()->setText("s3cret!");
        }
        QCOMPARE(dialog.answer().password, std::string("s3cret"));
        QCOMPARE(dialog.answer().confirmation, std::string(confirm ? "s3cret!" : ""));
    }
}

void SmallWindowsTest::aboutBoxShowsTheVersion() {
    QWidget mainWindow;
    AboutBox box(&mainWindow);
    QCOMPARE(box.windowTitle(), QStringLiteral("About Pellix"));
    QCOMPARE(box.versionText(), QStringLiteral("Pellix Version 4.60"));
    QVERIFY(box.isModal());
    QVERIFY2(!box.iconLabel()->pixmap().isNull(), "the program's icon is shown");
    QVERIFY(box.okButton()->isDefault());
    QCOMPARE(box.okButton()->text(), QStringLiteral("OK"));

    // Nothing overlaps: the icon, then the version, then OK, from left to right.
    box.show();
    const QLabel* version = nullptr;
    for (const QLabel* label : box.findChildren<QLabel*>()) {
        if (label->text() == box.versionText()) {
            version = label;
        }
    }
    QVERIFY(version != nullptr);
    QVERIFY(box.iconLabel()->geometry().right() < version->geometry().left());
    QVERIFY(version->geometry().right() < box.okButton()->geometry().left());
    QVERIFY2(version->width() >= version->sizeHint().width(), "the version is not cut off");
    QVERIFY(box.rect().contains(box.okButton()->geometry()));
}

void SmallWindowsTest::aboutBoxCloses_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("Enter") << QStringLiteral("enter") << int(QDialog::Accepted);
    QTest::newRow("Escape") << QStringLiteral("escape") << int(QDialog::Rejected);
    QTest::newRow("OK clicked") << QStringLiteral("click") << int(QDialog::Accepted);
}

void SmallWindowsTest::aboutBoxCloses() {
    QFETCH(QString, how);
    QFETCH(int, result);
    QWidget mainWindow;
    mainWindow.show();
    AboutBox box(&mainWindow);
    box.open(); // modal, without blocking the test
    QVERIFY(box.isVisible());
    if (how == QLatin1String("enter")) {
        QTest::keyClick(&box, Qt::Key_Return);
    } else if (how == QLatin1String("escape")) {
        QTest::keyClick(&box, Qt::Key_Escape);
    } else {
        QTest::mouseClick(box.okButton(), Qt::LeftButton);
    }
    QTRY_VERIFY(!box.isVisible());
    QCOMPARE(box.result(), result);
}

void SmallWindowsTest::splashSaysThatTheProgramOpens() {
    SplashWindow splash;
    splash.showNow();
    QVERIFY(splash.isVisible());
    QVERIFY(splash.parentWidget() == nullptr);
    QCOMPARE(splash.windowTitle(), QStringLiteral("Pellix"));
    QCOMPARE(splash.text(), QStringLiteral("Opening Pellix - Please Wait ..."));
    QVERIFY(splash.textLabel()->font().bold());
    QVERIFY2(splash.findChildren<QAbstractButton*>().isEmpty(), "no buttons");
    QVERIFY2(!(splash.windowFlags() & Qt::WindowCloseButtonHint), "no close box");
    QVERIFY2(splash.rect().contains(splash.textLabel()->geometry()), "the whole line fits");
    QVERIFY(splash.textLabel()->width() >= splash.textLabel()->sizeHint().width());

    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY((splash.geometry().center() - screenCentre).manhattanLength() <= 1);

    QTest::keyClick(&splash, Qt::Key_Escape);
    QVERIFY2(splash.isVisible(), "keys do not close the splash window");
}

PELLIX_OFFSCREEN_TEST_MAIN(SmallWindowsTest)

void SmallWindowsTest::theIconKeepsItsZipperAtSmallSizes_data() {
    QTest::addColumn<int>("size");
    QTest::newRow("16") << 16;
    QTest::newRow("24") << 24;
}

// The window's icon at 16 and 24 pixels is the small picture the desktop gets, pixel for pixel:
// each rectangle of src/res/icons/pellix-SIZE.svg (the later over the earlier) in its own colour,
// the zipper's teeth and its pull among them, none blurred into its neighbours.
void SmallWindowsTest::theIconKeepsItsZipperAtSmallSizes() {
    QFETCH(int, size);
    QFile file(QStringLiteral(PELLIX_SOURCE_DIR "/src/res/icons/pellix-%1.svg").arg(size));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString svg = QString::fromUtf8(file.readAll());
    const QImage icon = res::programIcon().pixmap(size, size).toImage();
    QCOMPARE(icon.size(), QSize(size, size));
    std::map<std::pair<int, int>, QRgb> expected;
    static const QRegularExpression rect(
        R"re(<rect x="(\d+)" y="(\d+)" width="(\d+)" height="(\d+)"(?: fill="#([0-9a-f]{6})")?/>)re");
    static const QRegularExpression group(R"re(<g fill="#([0-9a-f]{6})">)re");
    QString groupFill;
    int zipperCells = 0;
    for (const QString& line : svg.split('\n')) {
        if (const QRegularExpressionMatch opened = group.match(line); opened.hasMatch()) {
            groupFill = opened.captured(1);
        }
        const QRegularExpressionMatch m = rect.match(line);
        if (!m.hasMatch()) {
            continue;
        }
        const QString fill = m.captured(5).isEmpty() ? groupFill : m.captured(5);
        zipperCells += fill == QStringLiteral("eef3f8") ? 1 : 0;
        for (int y = m.captured(2).toInt(); y < m.captured(2).toInt() + m.captured(4).toInt(); ++y) {
            for (int x = m.captured(1).toInt(); x < m.captured(1).toInt() + m.captured(3).toInt(); ++x) {
                expected[{x, y}] = 0xff000000u | fill.toUInt(nullptr, 16);
            }
        }
    }
    QVERIFY2(zipperCells >= 4, "the picture has its teeth and its pull");
    for (const auto& [at, colour] : expected) {
        QVERIFY2(icon.pixel(at.first, at.second) == colour,
                 qPrintable(QStringLiteral("pixel %1,%2 is %3, not %4")
                                .arg(at.first)
                                .arg(at.second)
                                .arg(icon.pixel(at.first, at.second), 8, 16)
                                .arg(colour, 8, 16)));
    }
}

void SmallWindowsTest::fileDialogsOpenWithTheirColumnsWhole_data() {
    QTest::addColumn<bool>("forSaving");
    QTest::newRow("Open") << false;
    QTest::newRow("New") << true;
}

// The Open and New dialogs open with every column of their file list whole: each as wide as its
// title and as the longest size and date it shows, and all of them inside the list.
void SmallWindowsTest::fileDialogsOpenWithTheirColumnsWhole() {
    QFETCH(bool, forSaving);
    QFileDialog dialog(nullptr, QStringLiteral("Open Zip File"), QStringLiteral(PELLIX_SOURCE_DIR),
                       QStringLiteral("Zip Files (*.zip)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    frame::fitArchiveFileDialog(dialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const auto* files = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    QVERIFY(files != nullptr);
    QVERIFY(files->isVisible());
    const QHeaderView* header = files->header();
    const QFontMetrics metrics(files->font());
    const QString date =
        QLocale::system().toString(QDateTime(QDate(2000, 12, 28), QTime(22, 58)), QLocale::ShortFormat);
    for (int column = 0; column < header->count(); ++column) {
        QVERIFY2(header->sectionSize(column) >= header->sectionSizeHint(column),
                 qPrintable(QStringLiteral("the title of column %1 is cut off").arg(column)));
    }
    QVERIFY2(header->sectionSize(3) > metrics.horizontalAdvance(date), "a date is cut off");
    QVERIFY2(header->sectionSize(1) >
                 metrics.horizontalAdvance(QLocale::system().formattedDataSize(999'990'000'000LL)),
             "a size is cut off");
    QVERIFY2(header->length() <= files->viewport()->width(),
             qPrintable(QStringLiteral("the columns take %1 pixels of a list %2 wide")
                            .arg(header->length())
                            .arg(files->viewport()->width())));
}

// A recent archive's name holds what it holds: its "&" is no mnemonic, its carried quote and line
// feed are shown as the lists show them.
void SmallWindowsTest::recentArchivesAreNamedInTheFileMenuAsTheyAre() {
    QCOMPARE(frame::recentFileMenuText(2, QStringLiteral("C:\\Tom & Jerry\\a\uF022b\uF00A.zip")),
             QStringLiteral("&2 C:\\Tom && Jerry\\a\"b\u240A.zip"));
}

#include "smallwindows_test.moc"
