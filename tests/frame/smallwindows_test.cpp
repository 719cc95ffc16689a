#include "aboutbox.h"
#include "offscreenmain.h"
#include "splash.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

using frame::AboutBox;
using frame::SplashWindow;

class SmallWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void aboutBoxShowsTheVersion();
    void aboutBoxCloses_data();
    void aboutBoxCloses();
    void splashSaysThatTheProgramOpens();
};

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
#include "smallwindows_test.moc"
