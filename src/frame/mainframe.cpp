#include "mainframe.h"

#include "archiveengine.h"
#include "archivetools.h"
#include "brenlodoc.h"
#include "commandtable.h"
#include "dragrouter.h"
#include "findbar.h"
#include "fourpanes.h"
#include "frameservices.h"
#include "helpwindow.h"
#include "hostnames.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "passwordtexts.h"
#include "pictures.h"
#include "propertieswindow.h"
#include "windowseam.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QWindowStateChangeEvent>

namespace frame {

using namespace res;

namespace {

struct SortCommand {
    int id;
    views::SortKey key;
};

constexpr SortCommand kSortCommands[] = {
    {ID_SORT_NAME, views::SortKey::Name},          {ID_SORT_EXTENSION, views::SortKey::Extension},
    {ID_SORT_FILE_SIZE, views::SortKey::FileSize}, {ID_SORT_ZIPPED_SIZE, views::SortKey::ZippedSize},
    {ID_SORT_RATIO, views::SortKey::Ratio},        {ID_SORT_DATE, views::SortKey::Date},
};

// The accelerators: each key sends its own command id; the Alt variants have ids of their own
// that are bound to the same handlers as the Ctrl variants.
struct Accelerator {
    int id;
    const char* keys;
};

constexpr Accelerator kAccelerators[] = {
    {ID_FILE_NEW_ARCHIVE, "Ctrl+N"},
    {ID_FILE_NEW_ALT, "Alt+N"},
    {ID_FILE_OPEN, "Ctrl+O"},
    {ID_FILE_OPEN_ALT, "Alt+O"},
    {ID_ZIP_FILES, "Ctrl+Z"},
    {ID_ZIP_FILES_ALT, "Alt+Z"},
    {ID_UNZIP_FILES, "Ctrl+U"},
    {ID_UNZIP_FILES_ALT, "Alt+U"},
    {ID_REFRESH, "F5"},
    {ID_SELECT_ALL, "Ctrl+A"},
    {ID_APP_EXIT, "Ctrl+X"},
    {ID_CLOSE_ALT, "Alt+X"},
    {ID_INCLUDE_PATH_INFO, "Ctrl+I"},
    {ID_INCLUDE_PATH_INFO_ALT, "Alt+I"},
    {ID_OMIT_PATH_INFO, "Ctrl+M"},
    {ID_OMIT_PATH_INFO_ALT, "Alt+M"},
    {ID_HELP_FINDER, "F1"},
    {ID_DEFAULT_HELP, "Ctrl+H"},
    {ID_HELP_CONTENTS_ALT, "Alt+H"},
    {ID_ARCHIVE_TEST, "Ctrl+T"},
    {ID_ARCHIVE_PROPERTIES, "Alt+Return"},
    {ID_ARCHIVE_PROPERTIES, "Alt+Enter"},
    {ID_ARCHIVE_FIND, "Ctrl+F"},
};

QString helpFilePath(const FrameServices& application) {
    return HelpWindow::helpFileIn(QString::fromStdString(application.programHostDir()));
}

} // namespace

CMainFrame::CMainFrame(FrameServices& application, WindowSeam& seam, views::CBrenloDoc& document)
    : m_application(application), m_seam(seam), m_document(document) {
    setWindowIcon(res::programIcon());
    setWindowTitle(QString(kTitlePrefix) + "blank.zip");
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
    createPanes();
    auto* findBar = new FindBar(this);
    addToolBar(Qt::BottomToolBarArea, findBar);
    m_archiveTools = new ArchiveTools(*this, *findBar);
    // A drag passes from pane to pane: the mouse goes where the drag is.
    new DragRouter(*this, this);
    m_focusTracking =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { trackFocus(now); });
    // The toolbar shows the update handlers' states between commands, as idle processing would.
    auto* idle = new QTimer(this);
    connect(idle, &QTimer::timeout, this, &CMainFrame::updateCommandUI);
    idle->start(250);
}

CMainFrame::~CMainFrame() {
    // The panes go with the widgets below, and each one that loses the focus as it goes makes the
    // application tell the focus change: no longer to this frame, whose panes are gone.
    disconnect(m_focusTracking);
    saveSettingsOnce();
}

void CMainFrame::createActions() {
    for (const CommandText& command : kCommandTexts) {
        auto* item = new QAction(QString::fromUtf8(command.menuText), this);
        item->setStatusTip(QString::fromUtf8(command.prompt));
        item->setToolTip(QString::fromUtf8(command.prompt));
        const int id = command.id;
        connect(item, &QAction::triggered, this, [this, id] { routeCommand(id); });
        m_actions.insert(id, item);
    }
    for (const Accelerator& accelerator : kAccelerators) {
        QAction* item = m_actions.value(accelerator.id);
        if (item == nullptr) {
            // A key of its own (an Alt variant, Alt+X, Ctrl+H): not on any menu.
            item = new QAction(this);
            const int id = accelerator.id;
            connect(item, &QAction::triggered, this, [this, id] { routeCommand(id); });
            m_actions.insert(id, item);
            addAction(item);
        }
        QList<QKeySequence> keys = item->shortcuts();
        keys.append(QKeySequence(QString::fromLatin1(accelerator.keys)));
        item->setShortcuts(keys);
        item->setShortcutContext(Qt::WindowShortcut);
    }
    for (int index = 0; index < 4; ++index) {
        const int id = ID_FILE_MRU_FILE1 + index;
        auto* item = new QAction(this);
        item->setStatusTip(kRecentFilePrompt);
        connect(item, &QAction::triggered, this, [this, id] { routeCommand(id); });
        m_actions.insert(id, item);
        m_recentActions.append(item);
    }
}

void CMainFrame::createMenus() {
    m_fileMenu = menuBar()->addMenu(QString::fromUtf8(kFileMenuTitle));
    for (int id :
         {ID_FILE_NEW_ARCHIVE, ID_FILE_OPEN, ID_SEPARATOR, ID_ZIP_FILES, ID_UNZIP_FILES, ID_SEPARATOR,
          ID_REFRESH, ID_SELECT_ALL, ID_SEPARATOR, ID_SET_ZIP_ASSOCIATION, ID_SEPARATOR, ID_APP_EXIT}) {
        id == 0 ? (void)m_fileMenu->addSeparator() : m_fileMenu->addAction(m_actions.value(id));
    }
    m_recentSeparator = m_fileMenu->addSeparator();
    m_fileMenu->addActions(m_recentActions);

    m_settingsMenu = menuBar()->addMenu(QString::fromUtf8(kSettingsMenuTitle));
    for (int id : {ID_SORT_BY_CAPTION, ID_SORT_NAME, ID_SORT_EXTENSION, ID_SORT_FILE_SIZE,
                   ID_SORT_ZIPPED_SIZE, ID_SORT_RATIO, ID_SORT_DATE, ID_SEPARATOR, ID_INCLUDE_PATH_INFO,
                   ID_OMIT_PATH_INFO, ID_SEPARATOR, ID_USE_DRIVE_A}) {
        id == 0 ? (void)m_settingsMenu->addSeparator() : m_settingsMenu->addAction(m_actions.value(id));
    }

    m_archiveMenu = menuBar()->addMenu(QString::fromUtf8(kArchiveMenuTitle));
    for (int id : kArchiveMenuItems) {
        id == 0 ? (void)m_archiveMenu->addSeparator() : m_archiveMenu->addAction(m_actions.value(id));
    }

    m_helpMenu = menuBar()->addMenu(QString::fromUtf8(kHelpMenuTitle));
    for (int id : {ID_HELP_FINDER, ID_HELP_SEARCH, ID_SEPARATOR, ID_APP_ABOUT}) {
        id == 0 ? (void)m_helpMenu->addSeparator() : m_helpMenu->addAction(m_actions.value(id));
    }
    for (QMenu* menu : {m_fileMenu, m_settingsMenu, m_archiveMenu, m_helpMenu}) {
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            if (menu == m_fileMenu) {
                rebuildRecentFiles();
            }
            updateCommandUI();
        });
    }
    rebuildRecentFiles();
}

void CMainFrame::createToolBar() {
    m_toolBar = addToolBar("Toolbar");
    m_toolBar->setObjectName("toolbar");
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    for (const ToolbarButton& button : kToolbarButtons) {
        if (button.id == 0) {
            m_toolBar->addSeparator();
            continue;
        }
        // A button of its own over the menu item's action, so its label can differ from the item.
        QAction* menuItem = m_actions.value(button.id);
        auto* tool = new QAction(QString::fromUtf8(button.label), this);
        tool->setToolTip(menuItem->toolTip());
        tool->setStatusTip(menuItem->statusTip());
        const int id = button.id;
        connect(tool, &QAction::triggered, this, [this, id] { routeCommand(id); });
        tool->setData(id);
        m_toolBar->addAction(tool);
    }
}

void CMainFrame::createStatusBar() {
    const QString texts[3] = {kReadyText, kLocalCountAtStart, kArchiveCountAtStart};
    for (int pane = 0; pane < 3; ++pane) {
        m_statusPanes[pane] = new QLabel(texts[pane]);
        m_statusPanes[pane]->setObjectName(QString("statusPane%1").arg(pane));
        if (pane == 0) {
            statusBar()->addWidget(m_statusPanes[pane], 1);
        } else {
            // The text at creation fixes the pane's width.
            m_statusPanes[pane]->setMinimumWidth(m_statusPanes[pane]->sizeHint().width() + 8);
            statusBar()->addPermanentWidget(m_statusPanes[pane]);
        }
    }
    m_addEncryption = new QLabel(QString::fromUtf8(kAddsEncryptedStatus));
    m_addEncryption->setObjectName("addEncryption");
    m_addEncryption->hide();
    statusBar()->addPermanentWidget(m_addEncryption);
    // A menu item's prompt goes to pane 0 while it is highlighted.
    connect(statusBar(), &QStatusBar::messageChanged, this,
            [this](const QString& message) { m_statusPanes[0]->setVisible(message.isEmpty()); });
}

void CMainFrame::createPanes() {
    m_panes = new FourPanes(this);
    m_trees[0] = new views::CMyTreeView(*this, m_document);
    m_lists[0] = new views::CMyListView(*this, m_document);
    m_trees[1] = new views::CMyTreeView(*this, m_document);
    m_lists[1] = new views::CMyListView(*this, m_document);
    m_panes->setPane(0, 0, m_trees[0]);
    m_panes->setPane(0, 1, m_lists[0]);
    m_panes->setPane(1, 0, m_trees[1]);
    m_panes->setPane(1, 1, m_lists[1]);
    m_panes->requestStoredSizes(m_application.splitterWidth(), m_application.splitterHeight());
    setCentralWidget(m_panes);
    m_activeView = m_trees[0];
}

void CMainFrame::initialUpdate() {
    m_trees[0]->initialUpdate();
    m_lists[0]->initialUpdate();
    m_trees[1]->initialUpdate();
    m_lists[1]->initialUpdate();
    setActiveView(m_trees[0]);
    updateCommandUI();
}

QWidget* CMainFrame::paneAt(int row, int column) const {
    return m_panes->pane(row, column);
}

QString CMainFrame::statusPaneText(int pane) const {
    return m_statusPanes[pane]->text();
}

QString CMainFrame::addEncryptionText() const {
    return m_addEncryption->isHidden() ? QString() : m_addEncryption->text();
}

views::CMyTreeView* CMainFrame::treeAt(int row) {
    return m_trees[row];
}

views::CMyListView* CMainFrame::listAt(int row) {
    return m_lists[row];
}

void CMainFrame::setActiveView(QWidget* view) {
    m_activeView = view;
    if (view != nullptr) {
        view->setFocus(Qt::OtherFocusReason);
    }
}

void CMainFrame::trackFocus(QWidget* now) {
    for (QWidget* pane : {static_cast<QWidget*>(m_trees[0]), static_cast<QWidget*>(m_lists[0]),
                          static_cast<QWidget*>(m_trees[1]), static_cast<QWidget*>(m_lists[1])}) {
        if (now != nullptr && (now == pane || pane->isAncestorOf(now))) {
            m_activeView = pane;
        }
    }
}

void CMainFrame::setStatusPaneText(int pane, const QString& text) {
    m_statusPanes[pane]->setText(text);
    m_statusPanes[pane]->repaint();
}

void CMainFrame::setTitleFileName(const QString& fileName) {
    setWindowTitle(QString(kTitlePrefix) + fileName);
}

archive::ArchiveWindow& CMainFrame::window() {
    return m_seam;
}

archive::ArchiveEngine& CMainFrame::engine() {
    return m_application.engine();
}

const platform::DriveMap& CMainFrame::drives() const {
    return m_application.drives();
}

std::string CMainFrame::scratchDir() const {
    return m_application.scratchDir();
}

views::SortKey CMainFrame::sortKey() const {
    return m_application.sortKey();
}

void CMainFrame::setSortKey(views::SortKey key) {
    m_application.setSortKey(key);
}

bool CMainFrame::useDriveA() const {
    return m_application.useDriveA();
}

void CMainFrame::resort() {
    m_seam.beginWaitCursor();
    m_resorting = true;
    m_lists[0]->fill(QString());
    m_lists[1]->fill(QString());
    m_resorting = false;
    m_seam.endWaitCursor();
}

void CMainFrame::refresh() {
    m_seam.beginWaitCursor();
    m_trees[0]->rebuildRoot();
    m_trees[0]->expandRootAndSelect();
    m_application.engine().ListArchive();
    m_seam.endWaitCursor();
}

bool CMainFrame::routeCommand(int id) {
    QList<views::CommandTarget*> route;
    if (auto* view = dynamic_cast<views::CommandTarget*>(m_activeView)) {
        route.append(view);
    }
    route << &m_document << this << &m_application;
    for (views::CommandTarget* target : route) {
        if (target->onCommand(id)) {
            updateCommandUI();
            return true;
        }
    }
    return false;
}

views::CommandState CMainFrame::commandState(int id) {
    QList<views::CommandTarget*> route;
    if (auto* view = dynamic_cast<views::CommandTarget*>(m_activeView)) {
        route.append(view);
    }
    route << &m_document << this << &m_application;
    for (views::CommandTarget* target : route) {
        views::CommandState state;
        if (target->onUpdateCommand(id, state)) {
            return state;
        }
    }
    views::CommandState none;
    none.enabled = false;
    return none;
}

void CMainFrame::applyState(QAction* item, int id) {
    const views::CommandState state = commandState(id);
    item->setEnabled(state.enabled);
    item->setCheckable(state.checkable);
    item->setChecked(state.checked);
}

void CMainFrame::updateCommandUI() {
    // Menu items and keys share their actions; a disabled command's keys do nothing either.
    for (auto it = m_actions.constBegin(); it != m_actions.constEnd(); ++it) {
        applyState(it.value(), it.key());
    }
    for (QAction* tool : m_toolBar->actions()) {
        if (!tool->isSeparator()) {
            applyState(tool, tool->data().toInt());
        }
    }
    m_addEncryption->setVisible(engine().encryptsAdds());
}

QString recentFileMenuText(int number, const QString& windowsPath) {
    QString shown = QString::fromStdString(platform::shownNameOf(windowsPath.toStdString()));
    return QString("&%1 %2").arg(number).arg(shown.replace('&', "&&"));
}

void CMainFrame::rebuildRecentFiles() {
    const QStringList files = m_application.recentFiles();
    for (int index = 0; index < m_recentActions.size(); ++index) {
        QAction* item = m_recentActions[index];
        item->setVisible(index < files.size());
        if (index < files.size()) {
            item->setText(recentFileMenuText(index + 1, files[index]));
        }
    }
    m_recentSeparator->setVisible(!files.isEmpty());
}

bool CMainFrame::onCommand(int id) {
    if (m_archiveTools->onCommand(id)) {
        return true;
    }
    for (const SortCommand& sort : kSortCommands) {
        if (sort.id == id) {
            setSortKey(sort.key);
            resort();
            return true;
        }
    }
    switch (id) {
    case ID_REFRESH:
        refresh();
        return true;
    case ID_HELP_FINDER:
    case ID_HELP_CONTENTS_ALT:
    case ID_DEFAULT_HELP:
    case ID_HELP_SEARCH:
        if (!m_help) {
            m_help = std::make_unique<HelpWindow>(helpFilePath(m_application));
        }
        id == ID_HELP_SEARCH ? m_help->showSearch() : m_help->showContents();
        return true;
    case ID_CLOSE_ALT:
    case ID_APP_EXIT:
        close();
        return true;
    case ID_INCLUDE_PATH_INFO:
    case ID_INCLUDE_PATH_INFO_ALT:
        engine().setIncludePathInfo(true);
        return true;
    case ID_OMIT_PATH_INFO:
    case ID_OMIT_PATH_INFO_ALT:
        engine().setIncludePathInfo(false);
        return true;
    case ID_USE_DRIVE_A:
        m_application.setUseDriveA(!m_application.useDriveA());
        refresh();
        return true;
    case ID_ENCRYPT_ADDED_FILES:
        engine().toggleAddEncryption();
        return true;
    default:
        return false;
    }
}

bool CMainFrame::onUpdateCommand(int id, views::CommandState& state) {
    if (m_archiveTools->onUpdateCommand(id, state)) {
        return true;
    }
    for (const SortCommand& sort : kSortCommands) {
        if (sort.id == id) {
            state.checkable = true;
            state.checked = sortKey() == sort.key;
            return true;
        }
    }
    switch (id) {
    case ID_INCLUDE_PATH_INFO:
    case ID_INCLUDE_PATH_INFO_ALT:
        state.checkable = true;
        state.checked = engine().includePathInfo();
        return true;
    case ID_OMIT_PATH_INFO:
    case ID_OMIT_PATH_INFO_ALT:
        state.checkable = true;
        state.checked = !engine().includePathInfo();
        return true;
    case ID_USE_DRIVE_A:
        state.checkable = true;
        state.checked = useDriveA();
        return true;
    case ID_ENCRYPT_ADDED_FILES:
        state.checkable = true;
        state.checked = engine().encryptsAdds();
        return true;
    case ID_REFRESH:
    case ID_HELP_FINDER:
    case ID_HELP_CONTENTS_ALT:
    case ID_DEFAULT_HELP:
    case ID_HELP_SEARCH:
    case ID_CLOSE_ALT:
    case ID_APP_EXIT:
        return true;
    default:
        return false;
    }
}

void CMainFrame::saveSettingsOnce() {
    if (m_settingsSaved) {
        return;
    }
    m_settingsSaved = true;
    m_application.saveSettings(m_panes->storedLeftColumnWidth(), m_panes->storedTopRowHeight());
}

void CMainFrame::closeWhenIdle(int delayMilliseconds) {
    QTimer::singleShot(delayMilliseconds, this, [this] {
        if (archive::ToolJob::isRunning() || m_application.engine().state().busy) {
            closeWhenIdle(50);
        } else {
            close();
        }
    });
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // While the archiver works, its wait asks the user whether to stop it; the window closes
    // once it has stopped.
    if (archive::ToolJob::isRunning()) {
        m_seam.putOffCloseDuringJob();
        event->ignore();
        return;
    }
    // An operation still on the stack (reached after Hide Program) must finish first: closing
    // now would pull its window out from under it.
    if (m_application.engine().state().busy) {
        event->ignore();
        return;
    }
    saveSettingsOnce();
    event->accept();
    // Help is a window of its own: left open, it would keep the program running without its
    // main window.
    if (m_help) {
        m_help->close();
    }
    if (QWidget* properties = m_archiveTools->shownProperties()) {
        properties->close();
    }
}

void CMainFrame::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        const bool restored =
            (change->oldState() & Qt::WindowMinimized) && !(windowState() & Qt::WindowMinimized);
        // Back from the task bar while an operation runs: the window stays disabled until it ends.
        if (restored && m_application.engine().state().busy) {
            setEnabled(false);
        }
    }
    QMainWindow::changeEvent(event);
}

} // namespace frame
