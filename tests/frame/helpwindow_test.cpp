#include "helpwindow.h"
#include "offscreenmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QUrl>

using frame::HelpWindow;

namespace {

// The help file as the build installs it beside the program.
QString installedHelpFile() {
    return HelpWindow::helpFileIn(QStringLiteral(PELLIX_PROGRAM_DIR));
}

QString readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

bool writeText(const QString& path, const QString& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
}

// A small help file: one topic before the first book, a heading with markup inside, a topic
// without an id, and links between topics.
const char kSmallHelp[] = R"(<html><head><style>h2 { color: red; }</style></head><body>
<h2 id="intro">Intro</h2><p>Start here. See <a href="#bold">the bold topic</a>.</p>
<h1>Book One</h1>
<p>Text of the book itself.</p>
<h2 id='bold'>The <b>bold</b>
  topic</h2><p>Zebras and <i>drives</i>.</p>
<h2>Second</h2><p>Last words, with overdrive.</p>
</body></html>)";

} // namespace

class HelpWindowTest : public QObject {
    Q_OBJECT

private slots:
    void theInstalledHelpFileIsTheSourceFile();
    void contentsListTheTopicsOfTheHelpFile();
    void everyTopicShowsAndEveryLinkLeadsToATopic();
    void searchFindsTheTopicsWithAllWords_data();
    void searchFindsTheTopicsWithAllWords();
    void searchPageTakesWordsAndDisplaysAFoundTopic();
    void contentsAndSearchOpenTheirPages();
    void topicsRunFromHeadingToHeading();
    void backReturnsToThePreviousTopic();
    void aMissingHelpFileIsSaidClearly();
    void aFileWithoutTopicsIsSaidClearly();
};

void HelpWindowTest::theInstalledHelpFileIsTheSourceFile() {
    const QString source = readText(QStringLiteral(PELLIX_SOURCE_DIR "/src/res/help/pellix-help.html"));
    QVERIFY(!source.isEmpty());
    QCOMPARE(readText(installedHelpFile()), source);
    QCOMPARE(QFileInfo(installedHelpFile()).fileName(), QStringLiteral("pellix.html"));
}

void HelpWindowTest::contentsListTheTopicsOfTheHelpFile() {
    HelpWindow help(installedHelpFile());
    QVERIFY2(help.isLoaded(), qPrintable(help.errorText()));

    // Every <h2> of the file is a topic of the contents, in the file's order, under its book.
    const QString text = readText(installedHelpFile());
    static const QRegularExpression topicHeading(QStringLiteral("<h2 id=\"([^\"]+)\">"));
    QStringList idsInFile;
    for (const QRegularExpressionMatch& match : topicHeading.globalMatch(text)) {
        idsInFile.append(match.captured(1));
    }
    QCOMPARE(help.topicIds(), idsInFile);

    const QStringList lines = help.contentsLines();
    QStringList books;
    int topicLines = 0;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("  "))) {
            ++topicLines;
        } else {
            books.append(line);
        }
    }
    QCOMPARE(books, (QStringList{"Getting Started", "Working with Archives", "Your Files and Folders",
                                 "Settings", "Reference"}));
    QCOMPARE(topicLines, static_cast<int>(idsInFile.size()));
    QCOMPARE(lines.first(), QStringLiteral("Getting Started"));
    QCOMPARE(lines.at(1), QStringLiteral("  Welcome to Pellix"));

    // The subjects a user of this program looks for.
    for (const char* id :
         {"window",           "opening",     "new-archive",   "adding",          "path-info", "extracting",
          "deleting-members", "progress",    "local-tree",    "file-operations", "drag-drop", "sorting",
          "settings-menu",    "association", "drive-letters", "settings-file",   "menus",     "keys",
          "toolbar",          "using-help"}) {
        QVERIFY2(help.topicIds().contains(QString::fromUtf8(id)), id);
    }
}

void HelpWindowTest::everyTopicShowsAndEveryLinkLeadsToATopic() {
    HelpWindow help(installedHelpFile());
    for (const QString& id : help.topicIds()) {
        QVERIFY(help.showTopic(id));
        QCOMPARE(help.currentTopic(), id);
        QVERIFY2(help.displayedText().startsWith(help.topicTitle(id)), qPrintable(id));
    }

    const QString text = readText(installedHelpFile());
    static const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
    int links = 0;
    for (const QRegularExpressionMatch& match : link.globalMatch(text)) {
        help.showTopic(QStringLiteral("welcome"));
        help.followLink(QUrl(QLatin1Char('#') + match.captured(1)));
        QVERIFY2(help.currentTopic() == match.captured(1), qPrintable("broken link #" + match.captured(1)));
        ++links;
    }
    QVERIFY(links > 10);
}

void HelpWindowTest::searchFindsTheTopicsWithAllWords_data() {
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("mustFind");
    QTest::addColumn<QString>("mustNotFind");
    QTest::newRow("drive map file") << "drives.conf"
                                    << "drive-letters"
                                    << "progress";
    QTest::newRow("settings file") << "registry.reg"
                                   << "settings-file"
                                   << "keys";
    QTest::newRow("any case") << "HIDE PROGRAM"
                              << "progress"
                              << "drive-letters";
    QTest::newRow("beginning of a word") << "unzipp"
                                         << "extracting"
                                         << "toolbar";
    QTest::newRow("all words needed") << "mimeapps desktop"
                                      << "association"
                                      << "welcome";
    QTest::newRow("punctuation around words") << "(SplitterWidth),"
                                              << "settings-file"
                                              << "window";
}

void HelpWindowTest::searchFindsTheTopicsWithAllWords() {
    QFETCH(QString, words);
    QFETCH(QString, mustFind);
    QFETCH(QString, mustNotFind);
    HelpWindow help(installedHelpFile());
    const QStringList found = help.search(words);
    QVERIFY2(found.contains(mustFind), qPrintable(found.join(QLatin1Char(' '))));
    QVERIFY2(!found.contains(mustNotFind), qPrintable(found.join(QLatin1Char(' '))));
    QCOMPARE(help.searchResultTitles().size(), found.size());
}

void HelpWindowTest::searchPageTakesWordsAndDisplaysAFoundTopic() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("pellix.html"));
    QVERIFY(writeText(path, QString::fromUtf8(kSmallHelp)));
    HelpWindow help(path);

    help.showSearch();
    QTest::keyClicks(help.searchBox(), QStringLiteral("drive"));
    QTest::keyClick(help.searchBox(), Qt::Key_Return);
    // "drives" begins with the word, "overdrive" does not.
    QCOMPARE(help.searchResultTitles(), QStringList{"The bold topic"});
    // Enter in the result list displays the topic and marks the word found.
    QWidget* results = help.findChild<QListWidget*>();
    QVERIFY(results != nullptr);
    QTest::keyClick(results, Qt::Key_Return);
    QCOMPARE(help.currentTopic(), QStringLiteral("bold"));
    QCOMPARE(help.browser()->textCursor().selectedText(), QStringLiteral("drive"));

    QVERIFY(help.search(QStringLiteral("zebras nowhere")).isEmpty());
    QVERIFY(help.searchResultTitles().isEmpty());
    QVERIFY(help.search(QStringLiteral("   ")).isEmpty());
}

void HelpWindowTest::contentsAndSearchOpenTheirPages() {
    HelpWindow help(installedHelpFile());
    help.showSearch();
    QVERIFY(help.isVisible());
    QVERIFY(help.isSearchPageShown());
    QVERIFY(QTest::qWaitForWindowActive(&help));
    QTRY_VERIFY(help.searchBox()->hasFocus());

    help.showContents();
    QVERIFY(help.isVisible());
    QVERIFY(!help.isSearchPageShown());
    QVERIFY2(!help.displayedText().isEmpty(), "a topic is shown beside the contents");

    help.showMinimized();
    help.showSearch();
    QVERIFY2(!help.isMinimized(), "Help Search brings a minimised help window back");
    QVERIFY(help.isSearchPageShown());

    // Escape closes it, from the search box as from the contents.
    QVERIFY(QTest::qWaitForWindowActive(&help));
    QTest::keyClick(help.searchBox(), Qt::Key_Escape);
    QTRY_VERIFY2(!help.isVisible(), "Escape in the search box closes the help");
    help.showContents();
    QVERIFY(QTest::qWaitForWindowActive(&help));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY2(!help.isVisible(), "Escape in the contents closes the help");
}

void HelpWindowTest::topicsRunFromHeadingToHeading() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("pellix.html"));
    QVERIFY(writeText(path, QString::fromUtf8(kSmallHelp)));
    HelpWindow help(path);
    QVERIFY2(help.isLoaded(), qPrintable(help.errorText()));

    QCOMPARE(help.contentsLines(), (QStringList{"Intro", "Book One", "  The bold topic", "  Second"}));
    QCOMPARE(help.topicIds(), (QStringList{"intro", "bold", "topic-3"}));
    QCOMPARE(help.currentTopic(), QStringLiteral("intro")); // the first topic is shown at first

    QVERIFY(help.displayedText().contains(QStringLiteral("Start here.")));
    QVERIFY2(!help.displayedText().contains(QStringLiteral("Text of the book")), "a topic ends at a book");
    QVERIFY(help.showTopic(QStringLiteral("bold")));
    QVERIFY(help.displayedText().contains(QStringLiteral("Zebras")));
    QVERIFY2(!help.displayedText().contains(QStringLiteral("Last words")), "a topic ends at the next topic");
    QVERIFY(help.showTopic(QStringLiteral("topic-3")));
    QVERIFY(help.displayedText().contains(QStringLiteral("Last words")));
    QVERIFY(!help.showTopic(QStringLiteral("no-such-topic")));
    QCOMPARE(help.currentTopic(), QStringLiteral("topic-3"));
}

void HelpWindowTest::backReturnsToThePreviousTopic() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("pellix.html"));
    QVERIFY(writeText(path, QString::fromUtf8(kSmallHelp)));
    HelpWindow help(path);

    QVERIFY(!help.goBack());
    help.followLink(QUrl(QStringLiteral("#bold")));
    QCOMPARE(help.currentTopic(), QStringLiteral("bold"));
    help.followLink(QUrl(QStringLiteral("pellix.html#topic-3")));
    QCOMPARE(help.currentTopic(), QStringLiteral("topic-3"));
    QVERIFY(help.goBack());
    QCOMPARE(help.currentTopic(), QStringLiteral("bold"));
    QVERIFY(help.goBack());
    QCOMPARE(help.currentTopic(), QStringLiteral("intro"));
    QVERIFY(!help.goBack());
}

void HelpWindowTest::aMissingHelpFileIsSaidClearly() {
    QTemporaryDir folder;
    const QString path = HelpWindow::helpFileIn(folder.filePath(QStringLiteral("<b>x</b> \"q\"")));
    HelpWindow help(path);

    QVERIFY(!help.isLoaded());
    QVERIFY(help.errorText().contains(QDir::toNativeSeparators(path)));
    QVERIFY(help.errorText().contains(QStringLiteral("not found")));
    QVERIFY2(help.displayedText().contains(QStringLiteral("not found")), "the window itself says so");
    QVERIFY(help.contentsLines().isEmpty());
    QVERIFY(help.search(QStringLiteral("drive")).isEmpty());
    help.showSearch();
    QLabel* said = nullptr;
    for (QLabel* label : help.findChildren<QLabel*>()) {
        said = label->text() == help.errorText() ? label : said;
    }
    QVERIFY2(said != nullptr, "the search page says the help file is missing");
    QCOMPARE(said->textFormat(), Qt::PlainText); // a folder named <b>x</b> is shown as it is
    help.showContents();
    QVERIFY(help.isVisible());
    QVERIFY(help.displayedText().contains(QDir::toNativeSeparators(path)));
}

void HelpWindowTest::aFileWithoutTopicsIsSaidClearly() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("pellix.html"));
    QVERIFY(writeText(path, QStringLiteral("<html><body><p>Nothing here.</p></body></html>")));
    HelpWindow help(path);
    QVERIFY(!help.isLoaded());
    QVERIFY(help.displayedText().contains(QStringLiteral("contains no topics")));
}

PELLIX_OFFSCREEN_TEST_MAIN(HelpWindowTest)
#include "helpwindow_test.moc"
