#include "scriptdriver.h"

#include "archivetools.h"
#include "brenlodoc.h"
#include "commandids.h"
#include "drivemap.h"
#include "findbar.h"
#include "fourpanes.h"
#include "mainframe.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "pellixapplication.h"
#include "propertieswindow.h"
#include "reportbox.h"
#include "scriptdrag.h"
#include "scriptfileverbs.h"
#include "scriptinput.h"
#include "treelines.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolBar>
#include <ctime>
#include <map>

namespace app {

namespace {

struct NamedCommand {
    const char* name;
    int id;
};

#define PELLIX_COMMAND(name)                                                                                 \
    { #name, res::name }
constexpr NamedCommand kCommandNames[] = {
    PELLIX_COMMAND(ID_REFRESH),
    PELLIX_COMMAND(ID_SORT_NAME),
    PELLIX_COMMAND(ID_SORT_EXTENSION),
    PELLIX_COMMAND(ID_SORT_FILE_SIZE),
    PELLIX_COMMAND(ID_SORT_DATE),
    PELLIX_COMMAND(ID_USE_DRIVE_A),
    PELLIX_COMMAND(ID_FILE_NEW_ARCHIVE),
    PELLIX_COMMAND(ID_SORT_BY_CAPTION),
    PELLIX_COMMAND(ID_INCLUDE_PATH_INFO),
    PELLIX_COMMAND(ID_SET_ZIP_ASSOCIATION),
    PELLIX_COMMAND(ID_ZIP_FILES),
    PELLIX_COMMAND(ID_UNZIP_FILES),
    PELLIX_COMMAND(ID_SELECT_ALL),
    PELLIX_COMMAND(ID_OMIT_PATH_INFO),
    PELLIX_COMMAND(ID_SORT_ZIPPED_SIZE),
    PELLIX_COMMAND(ID_SORT_RATIO),
    PELLIX_COMMAND(ID_FILE_NEW_ALT),
    PELLIX_COMMAND(ID_FILE_OPEN_ALT),
    PELLIX_COMMAND(ID_ZIP_FILES_ALT),
    PELLIX_COMMAND(ID_UNZIP_FILES_ALT),
    PELLIX_COMMAND(ID_INCLUDE_PATH_INFO_ALT),
    PELLIX_COMMAND(ID_OMIT_PATH_INFO_ALT),
    PELLIX_COMMAND(ID_HELP_CONTENTS_ALT),
    PELLIX_COMMAND(ID_CLOSE_ALT),
    PELLIX_COMMAND(ID_FILE_OPEN),
    PELLIX_COMMAND(ID_FILE_MRU_FILE1),
    PELLIX_COMMAND(ID_FILE_MRU_FILE2),
    PELLIX_COMMAND(ID_FILE_MRU_FILE3),
    PELLIX_COMMAND(ID_FILE_MRU_FILE4),
    PELLIX_COMMAND(ID_APP_ABOUT),
    PELLIX_COMMAND(ID_APP_EXIT),
    PELLIX_COMMAND(ID_HELP_FINDER),
    PELLIX_COMMAND(ID_HELP_SEARCH),
    PELLIX_COMMAND(ID_DEFAULT_HELP),
    PELLIX_COMMAND(ID_ARCHIVE_TEST),
    PELLIX_COMMAND(ID_TEST_SELECTED),
    PELLIX_COMMAND(ID_ARCHIVE_PROPERTIES),
    PELLIX_COMMAND(ID_ARCHIVE_FIND),
    PELLIX_COMMAND(ID_ENCRYPT_ADDED_FILES),
};
#undef PELLIX_COMMAND

struct Pane {
    int row = -1;
    int column = -1;
};

Pane paneNamed(const QString& name) {
    if (name == "local-tree") {
        return {0, 0};
    }
    if (name == "local-list") {
        return {0, 1};
    }
    if (name == "archive-tree") {
        return {1, 0};
    }
    if (name == "archive-list") {
        return {1, 1};
    }
    return {};
}

// "verb pane rest of line": the rest may hold blanks.
struct Words {
    QString verb;
    QString pane;
    QString rest;
};

Words split(const QString& line) {
    Words words;
    const QString trimmed = line.trimmed();
    const int first = trimmed.indexOf(' ');
    words.verb = first < 0 ? trimmed : trimmed.left(first);
    const QString after = first < 0 ? QString() : trimmed.mid(first + 1).trimmed();
    const int second = after.indexOf(' ');
    words.pane = second < 0 ? after : after.left(second);
    words.rest = second < 0 ? QString() : after.mid(second + 1).trimmed();
    return words;
}

// A command by its name (ID_REFRESH) or its number; 0 when there is none.
int commandIdNamed(const QString& word) {
    bool numeric = false;
    const int id = word.toInt(&numeric);
    if (numeric) {
        return id;
    }
    for (const NamedCommand& command : kCommandNames) {
        if (word == command.name) {
            return command.id;
        }
    }
    return 0;
}

} // namespace

ScriptDriver::ScriptDriver(PellixApplication& application, std::function<void(const QString&)> print)
    : m_application(application), m_print(std::move(print)) {}

bool ScriptDriver::run(const QStringList& lines) {
    bool allDone = true;
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#')) {
            continue;
        }
        m_print("> " + trimmed);
        if (!runLine(trimmed)) {
            allDone = false;
        }
        QCoreApplication::processEvents();
        if (!m_windowClosed && !m_application.mainFrame()->isVisible()) {
            m_windowClosed = true;
            m_print("window closed");
        }
    }
    return allDone;
}

bool ScriptDriver::runLine(const QString& line) {
    if (line.startsWith("timed ")) {
        // The wall-clock time, and the processor time of the whole program, which other work on
        // the machine changes much less.
        const auto processorNanoseconds = [] {
            timespec now{};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
            return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
        };
        const double processorStart = processorNanoseconds();
        QElapsedTimer timer;
        timer.start();
        const bool done = runLine(line.mid(6).trimmed());
        m_print(QString("time: %1 ms (processor %2 ms)")
                    .arg(static_cast<double>(timer.nsecsElapsed()) / 1e6, 0, 'f', 1)
                    .arg((processorNanoseconds() - processorStart) / 1e6, 0, 'f', 1));
        return done;
    }
    frame::CMainFrame& frame = *m_application.mainFrame();
    frame::WindowSeam& seam = m_application.seam();
    const Words words = split(line);
    auto fail = [this, &line](const QString& why) {
        m_print("error: " + why + ": " + line);
        return false;
    };

    if (words.verb == "dump") {
        m_print(dump());
        return true;
    }
    if (words.verb == "close") {
        if (words.pane == "later") {
            // A close request that arrives while the lines after this one run (a job among them).
            bool numeric = false;
            const int milliseconds = words.rest.toInt(&numeric);
            if (!numeric || milliseconds < 0) {
                return fail("close later takes milliseconds");
            }
            QTimer::singleShot(milliseconds, &frame, [&frame] { frame.close(); });
            return true;
        }
        // As the window's close box does.
        frame.close();
        return true;
    }
    if (words.verb == "mkdir") {
        // A change on disk behind the program's back, as another program would make it.
        const QString path = line.trimmed().mid(6).trimmed();
        platform::Result<std::string> host = m_application.drives().toHost(path.toStdString());
        return (host.ok() && QDir().mkpath(QString::fromStdString(*host))) || fail("cannot make the folder");
    }
    if (words.verb == "desktop") {
        const QString path = line.trimmed().mid(8).trimmed();
        platform::Result<std::string> host = m_application.drives().toHost(path.toStdString());
        if (!host.ok() || !QDir().mkpath(QString::fromStdString(*host))) {
            return fail("cannot make the folder");
        }
        handDesktopToScript(frame.document().desktop(), QString::fromStdString(*host), m_print);
        return true;
    }
    if (words.verb == "idle") {
        QString why;
        return runIdleVerb(frame, words.pane, &why) || fail(why);
    }
    if (words.verb == "picture") {
        // "picture properties FILE" and "picture report FILE": the Properties window, and the
        // last box that ended in a list, drawn as the user would see it.
        if (words.pane == "properties" && !words.rest.isEmpty()) {
            frame::PropertiesWindow* window = frame.archiveTools().shownProperties();
            return (window != nullptr && window->grab().save(words.rest, "PNG")) ||
                   fail("no Properties window is open");
        }
        if (words.pane == "report" && !words.rest.isEmpty()) {
            const std::optional<frame::WindowSeam::Report>& report = seam.lastReport();
            if (!report) {
                return fail("no box with a list was shown");
            }
            frame::ReportBox box(frame::qtIcon(report->icon), QString::fromStdString(report->caption),
                                 QString::fromStdString(report->text), report->lines);
            box.show();
            QCoreApplication::processEvents();
            const bool saved = box.grab().save(words.rest, "PNG");
            box.hide();
            return saved || fail("cannot save the picture");
        }
        return frame.grab().save(line.trimmed().mid(8).trimmed(), "PNG") || fail("cannot save the picture");
    }
    if (words.verb == "toolbar") {
        const QString label = line.trimmed().mid(8).trimmed();
        for (QAction* button : frame.toolBar()->actions()) {
            if (button->text() == label) {
                if (!button->isEnabled()) {
                    return fail("the button is disabled");
                }
                button->trigger();
                return true;
            }
        }
        return fail("no such button");
    }
    if (words.verb == "state") {
        const int id = commandIdNamed(words.pane);
        if (id == 0) {
            return fail("no such command");
        }
        const views::CommandState state = frame.commandState(id);
        m_print(QString("%1: %2%3")
                    .arg(words.pane, state.enabled ? "enabled" : "disabled",
                         state.checkable ? (state.checked ? ", checked" : ", unchecked") : ""));
        return true;
    }
    if (words.verb == "answer") {
        // The text of the button that answers the next box: OK, Cancel, Replace, Skip These, ...
        const QString button = line.trimmed().mid(6).trimmed();
        if (button.isEmpty()) {
            return fail("answer takes the text of a button");
        }
        seam.queueAnswer(button);
        return true;
    }
    if (words.verb == "password") {
        // The text after the verb, blanks inside it kept; "cancel" cancels the question.
        const QString text = line.trimmed().mid(9);
        if (text.isEmpty()) {
            return fail("password takes a password or cancel");
        }
        seam.queuePassword(text == "cancel" ? std::nullopt : std::optional<std::string>(text.toStdString()));
        return true;
    }
    if (words.verb == "file") {
        const QString path = line.trimmed().mid(5).trimmed();
        if (path.compare("cancel", Qt::CaseInsensitive) == 0) {
            seam.queueFile(std::nullopt);
        } else {
            seam.queueFile(path.toStdString());
        }
        return true;
    }
    if (words.verb == "menus") {
        // The menu bar: each menu's title and items as the user sees them, "-" for a separator.
        for (QAction* title : frame.menuBar()->actions()) {
            QStringList items;
            for (QAction* item : title->menu()->actions()) {
                if (item->isSeparator()) {
                    items << "-";
                } else if (item->isVisible()) {
                    QString text = item->text().remove('&');
                    items << text.replace('\t', " [").append(text.contains(" [") ? "]" : "");
                }
            }
            m_print("menu " + title->text().remove('&').trimmed() + ": " + items.join(", "));
        }
        return true;
    }
    if (words.verb == "find") {
        // As the user does: Ctrl+F opens the bar, the text is typed and Enter pressed; "find"
        // alone is the Escape that closes it.
        frame::FindBar& bar = frame.archiveTools().findBar();
        const QString text = line.trimmed().mid(4).trimmed();
        if (text.isEmpty()) {
            if (bar.isVisible()) {
                ScriptInput::pressKey(bar.edit(), Qt::Key_Escape);
            }
            return true;
        }
        bar.open();
        bar.edit()->clear();
        ScriptInput::typeText(bar.edit(), text);
        ScriptInput::pressKey(bar.edit(), Qt::Key_Return);
        m_print("find: " + bar.resultText());
        return true;
    }
    if (words.verb == "comment") {
        // A new archive comment typed into the open Properties window and saved; "\n" stands
        // for a line break.
        frame::PropertiesWindow* window = frame.archiveTools().shownProperties();
        if (window == nullptr) {
            return fail("no Properties window is open");
        }
        window->editComment();
        if (!window->isEditingComment()) {
            return fail("this comment cannot be edited");
        }
        window->commentEditor()->setPlainText(line.trimmed().mid(7).trimmed().replace("\\n", "\n"));
        return window->saveComment() || fail("the comment was not saved");
    }
    if (words.verb == "command") {
        const int id = commandIdNamed(words.pane);
        if (id == 0) {
            return fail("no such command");
        }
        frame.updateCommandUI();
        if (!frame.commandState(id).enabled) {
            return fail("the command is disabled");
        }
        return frame.routeCommand(id) || fail("no target handles the command");
    }

    const Pane pane = paneNamed(words.pane);
    if (pane.row < 0) {
        return fail("unknown pane");
    }
    if (words.verb == "where") {
        QString why;
        return runWhereVerb(frame, words.pane, words.rest, m_print, &why) || fail(why);
    }
    if (words.verb == "drag") {
        QString why;
        return runDragVerb(frame, words.pane, words.rest, m_print, &why) || fail(why);
    }
    if (words.verb == "select" || words.verb == "expand" || words.verb == "collapse") {
        if (pane.column != 0) {
            return fail("not a tree");
        }
        views::CMyTreeView* tree = frame.treeAt(pane.row);
        const bool done = words.verb == "select"   ? tree->selectPath(words.rest)
                          : words.verb == "expand" ? tree->expandPath(words.rest)
                                                   : tree->collapsePath(words.rest);
        return done || fail("no such item");
    }
    if (words.verb == "rows") {
        if (pane.column != 1) {
            return fail("not a list");
        }
        views::CMyListView* list = frame.listAt(pane.row);
        if (words.rest == "*") {
            list->selectAll();
            return true;
        }
        QStringList names;
        for (const QString& name : words.rest.split('|')) {
            names << name.trimmed();
        }
        return list->selectRowsByName(names) || fail("no row of that name");
    }
    if (words.verb == "column") {
        if (pane.column != 1) {
            return fail("not a list");
        }
        bool numeric = false;
        const int column = words.rest.toInt(&numeric);
        if (!numeric) {
            return fail("column takes a number");
        }
        QHeaderView* header = frame.listAt(pane.row)->header();
        if (column < 0 || column >= header->count()) {
            return fail("no such column");
        }
        ScriptInput().clickMouse(header->viewport(), QPoint(header->sectionViewportPosition(column) +
                                                                header->sectionSize(column) / 2,
                                                            header->height() / 2));
        return true;
    }
    if (words.verb == "key") {
        const QKeySequence sequence(words.rest);
        if (sequence.isEmpty()) {
            return fail("unknown key");
        }
        const QKeyCombination combination = sequence[0];
        QWidget* target = frame.paneAt(pane.row, pane.column);
        // A key pressed in a pane is pressed in the main window, which is the active one then.
        if (QApplication::activeWindow() != &frame) {
            frame.activateWindow();
            QCoreApplication::processEvents();
        }
        // Focus already inside the pane (a name being edited in place) stays where it is.
        QWidget* focused = QApplication::focusWidget();
        if (focused == nullptr || (focused != target && !target->isAncestorOf(focused))) {
            frame.setActiveView(target);
        }
        QWidget* receiver = target->focusWidget() != nullptr ? target->focusWidget() : target;
        // Through the same path as a real key: shortcuts first, then the focused pane.
        ScriptInput::pressKey(receiver, combination.key(), combination.keyboardModifiers());
        return true;
    }
    if (const FileVerbResult file =
            runFileVerb(frame, words.verb, pane.row, pane.column, words.rest, m_print);
        file.handled) {
        return file.done;
    }
    return fail("unknown verb");
}

QString ScriptDriver::dump() const {
    frame::CMainFrame& frame = *m_application.mainFrame();
    QStringList out;
    out << "title: " + frame.windowTitle();
    const QString encryption = frame.addEncryptionText();
    out << "status: " + frame.statusPaneText(0) + " | " + frame.statusPaneText(1) + " | " +
               frame.statusPaneText(2) + (encryption.isEmpty() ? QString() : " | " + encryption);
    out << QString("panes: %1 x %2").arg(frame.panes().leftColumnWidth()).arg(frame.panes().topRowHeight());
    const char* names[2][2] = {{"local-tree", "local-list"}, {"archive-tree", "archive-list"}};
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            if (frame.activeView() == frame.paneAt(row, column)) {
                out << QString("active: ") + names[row][column];
            }
        }
    }
    for (int row = 0; row < 2; ++row) {
        out << QString(names[row][0]) + ":";
        out << views::treeLines(*frame.treeAt(row)).join('\n');
        views::CMyListView* list = frame.listAt(row);
        out << QString(names[row][1]) + ": " + list->columnTitles().join(" | ");
        for (int index = 0; index < list->rowCount(); ++index) {
            QStringList texts = list->rowTexts(index);
            // An encrypted member, and a folder that holds some.
            if (const views::ListRecord* record = list->recordAtRow(index);
                record != nullptr && record->encrypted) {
                texts[0] += record->isFolder() ? " [holds encrypted]" : " [encrypted]";
            }
            out << "  " + texts.join(" | ");
        }
    }
    frame::FindBar& bar = frame.archiveTools().findBar();
    if (bar.isVisible()) {
        out << "find: " + bar.edit()->text() + " (" + bar.resultText() + ")";
    }
    if (frame::PropertiesWindow* properties = frame.archiveTools().shownProperties()) {
        out << "properties:";
        QString text = properties->text();
        if (text.endsWith('\n')) {
            text.chop(1);
        }
        for (const QString& shown : text.split('\n')) {
            out << "  " + shown;
        }
    }
    return out.join('\n');
}

} // namespace app
