#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;
class QUrl;

namespace frame {

// The program's help: the help file beside the program, shown one topic at a time, with a
// contents page (the topics grouped in books) and a search page that lists the topics containing
// the words typed. The help file is one HTML file; each <h2 id="..."> starts a topic and each
// <h1> starts a book of the topics that follow it.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // Loads the help file at once; a missing or unreadable file is said so in the window.
    explicit HelpWindow(const QString& helpFilePath, QWidget* parent = nullptr);

    // The help file's place: beside the program, in its program directory.
    static QString helpFileIn(const QString& programDirectory);

    // Help Contents: shows the window at its contents page.
    void showContents();
    // Help Search: shows the window at its search page, the cursor in the search box.
    void showSearch();
    // Shows the topic with this id; false when the help file has none.
    bool showTopic(const QString& id);
    // Goes back to the topic shown before the current one; false when there is none.
    bool goBack();
    // Lists the topics that contain every word given (a word of the topic beginning with it, in
    // any case) on the search page and returns their ids, in the help file's order.
    QStringList search(const QString& words);

    bool isLoaded() const { return m_error.isEmpty(); }
    // Why the help file could not be used; empty when it was loaded.
    QString errorText() const { return m_error; }
    QString helpFilePath() const { return m_path; }
    // The contents page as shown, one line per entry, each level indented by two blanks.
    QStringList contentsLines() const;
    QStringList topicIds() const;
    QString topicTitle(const QString& id) const;
    QString currentTopic() const { return m_current; }
    // The text shown in the topic pane.
    QString displayedText() const;
    bool isSearchPageShown() const;
    QLineEdit* searchBox() const { return m_searchBox; }
    QTextBrowser* browser() const { return m_browser; }
    QStringList searchResultTitles() const;
    // Activates a link of the topic shown, as a click on it would.
    void followLink(const QUrl& url);

private:
    struct Topic {
        QString id;
        QString title;
        QString html;
        QString plainText; // lower case, for the search
    };
    struct Book {
        QString title;
        std::vector<int> topics;
    };

    void load();
    void buildContents();
    void showError(const QString& message);
    void showPage(int tabIndex);
    bool displayTopic(int index);
    void displaySelectedResult();
    int topicIndex(const QString& id) const;

    QString m_path;
    QString m_error;
    QString m_styleSheet;
    std::vector<Topic> m_topics;
    std::vector<Book> m_books; // a book without a title holds the topics before the first book
    QString m_current;
    QStringList m_history; // the topics shown before the current one, the latest last
    QString m_lastSearch;
    QTabWidget* m_tabs = nullptr;
    QTreeWidget* m_contents = nullptr;
    QLineEdit* m_searchBox = nullptr;
    QListWidget* m_results = nullptr;
    QLabel* m_resultCount = nullptr;
    QTextBrowser* m_browser = nullptr;
    QPushButton* m_back = nullptr;
};

} // namespace frame
