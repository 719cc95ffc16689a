#include "helpwindow.h"

#include "pictures.h"
#include "texts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace frame {

namespace {

enum Page { ContentsPage, SearchPage };

constexpr int kTopicRole = Qt::UserRole;

QString fromUtf8(const char* text) {
    return QString::fromUtf8(text);
}

QString plainTextOf(const QString& html) {
    return QTextDocumentFragment::fromHtml(html).toPlainText();
}

// Whether text holds a word that begins with term: "drive" finds "drives" and "drive", but not
// "overdrive". Terms may carry punctuation of their own (".zip", "registry.reg", "Ctrl+O").
bool hasWordStartingWith(const QString& text, const QString& term) {
    qsizetype from = 0;
    while ((from = text.indexOf(term, from)) >= 0) {
        if (from == 0 || !text.at(from - 1).isLetterOrNumber()) {
            return true;
        }
        ++from;
    }
    return false;
}

// The words of a search, in lower case, without the punctuation a sentence puts around them.
QStringList searchTerms(const QString& words) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList terms;
    for (QString word : words.toLower().split(blanks, Qt::SkipEmptyParts)) {
        static const QString around = QStringLiteral(",;!?\"'()");
        while (!word.isEmpty() && around.contains(word.front())) {
            word.remove(0, 1);
        }
        while (!word.isEmpty() && around.contains(word.back())) {
            word.chop(1);
        }
        if (!word.isEmpty()) {
            terms.append(word);
        }
    }
    return terms;
}

} // namespace

HelpWindow::HelpWindow(const QString& helpFilePath, QWidget* parent)
    : QWidget(parent, Qt::Window), m_path(helpFilePath) {
    setWindowTitle(fromUtf8(res::kHelpCaption));
    setWindowIcon(res::programIcon());
    // Escape closes the help, from whichever of its parts has the focus, as it closes a dialog.
    auto* closeByEscape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    closeByEscape->setContext(Qt::WindowShortcut);
    connect(closeByEscape, &QShortcut::activated, this, &QWidget::close);

    m_contents = new QTreeWidget;
    m_contents->setHeaderHidden(true);
    m_contents->setColumnCount(1);
    connect(m_contents, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const QString id = item->data(0, kTopicRole).toString();
        if (!id.isEmpty()) {
            showTopic(id);
        } else {
            item->setExpanded(!item->isExpanded());
        }
    });
    connect(m_contents, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const QString id = item->data(0, kTopicRole).toString();
        if (!id.isEmpty()) {
            showTopic(id);
        }
    });

    auto* searchPage = new QWidget;
    auto* prompt = new QLabel(fromUtf8(res::kHelpSearchPrompt));
    m_searchBox = new QLineEdit;
    prompt->setBuddy(m_searchBox);
    auto* listTopics = new QPushButton(fromUtf8(res::kHelpSearchButton));
    m_resultCount = new QLabel;
    // It may say where the help file should be: a folder's name is shown as it is, never as markup.
    m_resultCount->setTextFormat(Qt::PlainText);
    m_results = new QListWidget;
    auto* display = new QPushButton(fromUtf8(res::kHelpDisplay));
    connect(m_searchBox, &QLineEdit::returnPressed, this, [this] { search(m_searchBox->text()); });
    connect(listTopics, &QPushButton::clicked, this, [this] { search(m_searchBox->text()); });
    connect(m_results, &QListWidget::itemActivated, this, [this] { displaySelectedResult(); });
    connect(display, &QPushButton::clicked, this, [this] { displaySelectedResult(); });
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(m_searchBox, 1);
    searchRow->addWidget(listTopics);
    auto* searchLayout = new QVBoxLayout(searchPage);
    searchLayout->addWidget(prompt);
    searchLayout->addLayout(searchRow);
    searchLayout->addWidget(m_resultCount);
    searchLayout->addWidget(m_results, 1);
    searchLayout->addWidget(display, 0, Qt::AlignRight);

    m_tabs = new QTabWidget;
    m_tabs->addTab(m_contents, fromUtf8(res::kHelpContentsTab));
    m_tabs->addTab(searchPage, fromUtf8(res::kHelpSearchTab));

    m_browser = new QTextBrowser;
    m_browser->setOpenLinks(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &HelpWindow::followLink);
    m_back = new QPushButton(style()->standardIcon(QStyle::SP_ArrowBack), fromUtf8(res::kHelpBack));
    m_back->setEnabled(false);
    connect(m_back, &QPushButton::clicked, this, &HelpWindow::goBack);
    auto* topicPane = new QWidget;
    auto* topicLayout = new QVBoxLayout(topicPane);
    topicLayout->setContentsMargins(0, 0, 0, 0);
    topicLayout->addWidget(m_back, 0, Qt::AlignLeft);
    topicLayout->addWidget(m_browser, 1);

    auto* splitter = new QSplitter;
    splitter->addWidget(m_tabs);
    splitter->addWidget(topicPane);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    splitter->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    resize(900, 620);
    splitter->setSizes({300, 600});

    load();
    buildContents();
    if (isLoaded()) {
        displayTopic(0);
    } else {
        showError(m_error);
    }
}

QString HelpWindow::helpFileIn(const QString& programDirectory) {
    return QDir(programDirectory).filePath(fromUtf8(res::kHelpFileName));
}

void HelpWindow::load() {
    QFile file(m_path);
    if (!file.exists()) {
        m_error = fromUtf8(res::kHelpFileMissing).arg(QDir::toNativeSeparators(m_path));
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = fromUtf8(res::kHelpFileUnreadable).arg(QDir::toNativeSeparators(m_path));
        return;
    }
    const QString text = QString::fromUtf8(file.readAll());

    static const QRegularExpression style(QStringLiteral("<style[^>]*>(.*?)</style>"),
                                          QRegularExpression::CaseInsensitiveOption |
                                              QRegularExpression::DotMatchesEverythingOption);
    if (const QRegularExpressionMatch match = style.match(text); match.hasMatch()) {
        m_styleSheet = match.captured(1);
    }

    static const QRegularExpression bodyStart(QStringLiteral("<body[^>]*>"),
                                              QRegularExpression::CaseInsensitiveOption);
    qsizetype bodyBegin = 0;
    if (const QRegularExpressionMatch match = bodyStart.match(text); match.hasMatch()) {
        bodyBegin = match.capturedEnd();
    }
    qsizetype bodyEnd = text.indexOf(QStringLiteral("</body"), bodyBegin, Qt::CaseInsensitive);
    if (bodyEnd < 0) {
        bodyEnd = text.size();
    }
    const QString body = text.mid(bodyBegin, bodyEnd - bodyBegin);

    // Books (<h1>) and topics (<h2 id="...">); a topic runs to the next heading of either kind.
    static const QRegularExpression heading(QStringLiteral("<h([12])(\\s[^>]*)?>(.*?)</h\\1\\s*>"),
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression idAttribute(QStringLiteral("\\bid\\s*=\\s*[\"']([^\"']*)[\"']"),
                                                QRegularExpression::CaseInsensitiveOption);
    m_books.push_back(Book{});
    // The open topic's text runs from its heading to the next heading, or to the end.
    qsizetype openTopicStart = -1;
    const auto closeTopic = [&](qsizetype end) {
        if (openTopicStart >= 0) {
            m_topics.back().html = body.mid(openTopicStart, end - openTopicStart);
            openTopicStart = -1;
        }
    };
    QRegularExpressionMatchIterator headings = heading.globalMatch(body);
    while (headings.hasNext()) {
        const QRegularExpressionMatch match = headings.next();
        closeTopic(match.capturedStart());
        const QString title = plainTextOf(match.captured(3)).simplified();
        if (match.captured(1) == QLatin1String("1")) {
            m_books.push_back(Book{title, {}});
            continue;
        }
        Topic topic;
        const QRegularExpressionMatch id = idAttribute.match(match.captured(2));
        topic.id = id.hasMatch() ? id.captured(1) : QStringLiteral("topic-%1").arg(m_topics.size() + 1);
        topic.title = title;
        m_topics.push_back(topic);
        m_books.back().topics.push_back(static_cast<int>(m_topics.size() - 1));
        openTopicStart = match.capturedStart();
    }
    closeTopic(body.size());
    for (Topic& topic : m_topics) {
        topic.plainText = plainTextOf(topic.html).toLower();
    }
    if (m_topics.empty()) {
        m_error = fromUtf8(res::kHelpFileEmpty).arg(QDir::toNativeSeparators(m_path));
    }
}

void HelpWindow::buildContents() {
    m_contents->clear();
    const QIcon bookIcon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon topicIcon = style()->standardIcon(QStyle::SP_FileIcon);
    for (const Book& book : m_books) {
        QTreeWidgetItem* bookItem = nullptr;
        if (!book.title.isEmpty()) {
            bookItem = new QTreeWidgetItem(m_contents, {book.title});
            bookItem->setIcon(0, bookIcon);
        }
        for (int index : book.topics) {
            const Topic& topic = m_topics[static_cast<size_t>(index)];
            auto* item = bookItem != nullptr ? new QTreeWidgetItem(bookItem, {topic.title})
                                             : new QTreeWidgetItem(m_contents, {topic.title});
            item->setIcon(0, topicIcon);
            item->setData(0, kTopicRole, topic.id);
        }
    }
    m_contents->expandAll();
}

void HelpWindow::showError(const QString& message) {
    m_browser->setHtml(QStringLiteral("<h2>%1</h2><p>%2</p>")
                           .arg(fromUtf8(res::kHelpCaption).toHtmlEscaped(), message.toHtmlEscaped()));
    m_resultCount->setText(message);
}

void HelpWindow::showContents() {
    showPage(ContentsPage);
}

void HelpWindow::showSearch() {
    showPage(SearchPage);
    m_searchBox->setFocus(Qt::OtherFocusReason);
    m_searchBox->selectAll();
}

void HelpWindow::showPage(int tabIndex) {
    m_tabs->setCurrentIndex(tabIndex);
    if (isMinimized()) {
        showNormal();
    } else {
        show();
    }
    raise();
    activateWindow();
    if (tabIndex == ContentsPage) {
        m_contents->setFocus(Qt::OtherFocusReason);
    }
}

int HelpWindow::topicIndex(const QString& id) const {
    for (size_t index = 0; index < m_topics.size(); ++index) {
        if (m_topics[index].id == id) {
            return static_cast<int>(index);
        }
    }
    return -1;
}

bool HelpWindow::showTopic(const QString& id) {
    const int index = topicIndex(id);
    if (index < 0) {
        return false;
    }
    if (!m_current.isEmpty() && m_current != id) {
        m_history.append(m_current);
    }
    return displayTopic(index);
}

bool HelpWindow::goBack() {
    while (!m_history.isEmpty()) {
        const int index = topicIndex(m_history.takeLast());
        if (index >= 0) {
            return displayTopic(index);
        }
    }
    m_back->setEnabled(false);
    return false;
}

bool HelpWindow::displayTopic(int index) {
    if (index < 0 || index >= static_cast<int>(m_topics.size())) {
        return false;
    }
    const Topic& topic = m_topics[static_cast<size_t>(index)];
    m_browser->document()->setDefaultStyleSheet(m_styleSheet);
    m_browser->setHtml(topic.html);
    m_current = topic.id;
    m_back->setEnabled(!m_history.isEmpty());
    for (QTreeWidgetItemIterator it(m_contents); *it != nullptr; ++it) {
        if ((*it)->data(0, kTopicRole).toString() == topic.id) {
            const QSignalBlocker blocker(m_contents);
            m_contents->setCurrentItem(*it);
            break;
        }
    }
    return true;
}

void HelpWindow::followLink(const QUrl& url) {
    // A link to another topic names it by its id, as a fragment of this file.
    const bool sameFile =
        url.scheme().isEmpty() &&
        (url.path().isEmpty() || QFileInfo(url.path()).fileName() == QFileInfo(m_path).fileName());
    if (sameFile && url.hasFragment()) {
        showTopic(url.fragment());
        return;
    }
    if (!url.scheme().isEmpty()) {
        QDesktopServices::openUrl(url);
    }
}

QStringList HelpWindow::search(const QString& words) {
    m_searchBox->setText(words);
    m_results->clear();
    QStringList found;
    const QStringList terms = searchTerms(words);
    m_lastSearch = terms.isEmpty() ? QString() : terms.front();
    if (!isLoaded()) {
        m_resultCount->setText(m_error);
        return found;
    }
    if (terms.isEmpty()) {
        m_resultCount->clear();
        return found;
    }
    for (const Topic& topic : m_topics) {
        const bool hasAll = std::all_of(terms.begin(), terms.end(), [&topic](const QString& term) {
            return hasWordStartingWith(topic.plainText, term);
        });
        if (hasAll) {
            auto* item = new QListWidgetItem(topic.title, m_results);
            item->setData(kTopicRole, topic.id);
            found.append(topic.id);
        }
    }
    if (found.isEmpty()) {
        m_resultCount->setText(fromUtf8(res::kHelpSearchNoTopics));
    } else {
        m_resultCount->setText(fromUtf8(res::kHelpSearchFound).arg(found.size()));
        m_results->setCurrentRow(0);
    }
    return found;
}

void HelpWindow::displaySelectedResult() {
    const QListWidgetItem* item = m_results->currentItem();
    if (item == nullptr || !showTopic(item->data(kTopicRole).toString())) {
        return;
    }
    // Point at the first place the word was found.
    if (!m_lastSearch.isEmpty()) {
        m_browser->find(m_lastSearch);
    }
}

QStringList HelpWindow::contentsLines() const {
    QStringList lines;
    for (QTreeWidgetItemIterator it(m_contents); *it != nullptr; ++it) {
        int depth = 0;
        for (const QTreeWidgetItem* parent = (*it)->parent(); parent != nullptr; parent = parent->parent()) {
            ++depth;
        }
        lines.append(QString(2 * depth, QLatin1Char(' ')) + (*it)->text(0));
    }
    return lines;
}

QStringList HelpWindow::topicIds() const {
    QStringList ids;
    for (const Topic& topic : m_topics) {
        ids.append(topic.id);
    }
    return ids;
}

QString HelpWindow::topicTitle(const QString& id) const {
    const int index = topicIndex(id);
    return index < 0 ? QString() : m_topics[static_cast<size_t>(index)].title;
}

QString HelpWindow::displayedText() const {
    return m_browser->toPlainText();
}

bool HelpWindow::isSearchPageShown() const {
    return isVisible() && m_tabs->currentIndex() == SearchPage;
}

QStringList HelpWindow::searchResultTitles() const {
    QStringList titles;
    for (int row = 0; row < m_results->count(); ++row) {
        titles.append(m_results->item(row)->text());
    }
    return titles;
}

} // namespace frame
