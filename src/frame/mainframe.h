#pragma once

#include "commandtarget.h"
#include "viewhost.h"

#include <QMainWindow>
#include <QMap>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace views {
class CBrenloDoc;
}

namespace frame {

class ArchiveTools;
class FourPanes;
class FrameServices;
class HelpWindow;
class WindowSeam;

// The program's one top-level window: menus, toolbar, a status bar of three panes and the four
// panes in a fixed two-by-two splitter (local tree and list on top, archive tree and list below).
// Commands from menus, toolbar and keys are routed to the active view, the document, the frame
// and the application, in that order; the first that handles one wins.
// The File menu's entry for the recent archive of that number (1 to 4): the path shown as the
// lists show a name, its "&" doubled so that it is no mnemonic.
QString recentFileMenuText(int number, const QString& windowsPath);

class CMainFrame : public QMainWindow, public views::ViewHost, public views::CommandTarget {
    Q_OBJECT
public:
    CMainFrame(FrameServices& application, WindowSeam& seam, views::CBrenloDoc& document);
    ~CMainFrame() override;

    // The views' first showing, in pane order: upper left, upper right, lower left, lower right.
    void initialUpdate();
    QWidget* paneAt(int row, int column) const override;
    FourPanes& panes() { return *m_panes; }
    QWidget* activeView() const { return m_activeView; }
    QString statusPaneText(int pane) const;
    // What the status bar says of adds beside its three panes: that they are encrypted, or "".
    QString addEncryptionText() const;

    // Runs a command through the routing; false when no target handled it.
    bool routeCommand(int id) override;
    // What the update handlers say of a command; a command no target handles is disabled.
    views::CommandState commandState(int id);
    // Applies the update handlers to every menu item and toolbar button.
    void updateCommandUI();
    QToolBar* toolBar() const { return m_toolBar; }
    // The Archive menu's commands, with the find bar and the Properties window.
    ArchiveTools& archiveTools() { return *m_archiveTools; }

    // Rebuilds the local tree, selects its first drive and lists the open archive again.
    void refresh();
    // The settings written as the window goes away; done once, whichever way out was taken.
    void saveSettingsOnce();
    // Closes the window as soon as no job and no operation is running any more.
    void closeWhenIdle(int delayMilliseconds = 0);

    // views::ViewHost
    views::CMyTreeView* treeAt(int row) override;
    views::CMyListView* listAt(int row) override;
    views::CBrenloDoc& document() override { return m_document; }
    void setActiveView(QWidget* view) override;
    void setStatusPaneText(int pane, const QString& text) override;
    void setTitleFileName(const QString& fileName) override;
    archive::ArchiveWindow& window() override;
    archive::ArchiveEngine& engine() override;
    const platform::DriveMap& drives() const override;
    std::string scratchDir() const override;
    views::SortKey sortKey() const override;
    void setSortKey(views::SortKey key) override;
    bool resortInProgress() const override { return m_resorting; }
    void resort() override;
    bool useDriveA() const override;

    // views::CommandTarget: Refresh, help, close, the view options.
    bool onCommand(int id) override;
    bool onUpdateCommand(int id, views::CommandState& state) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void createPanes();
    void rebuildRecentFiles();
    void applyState(QAction* item, int id);
    void trackFocus(QWidget* now);

    FrameServices& m_application;
    WindowSeam& m_seam;
    views::CBrenloDoc& m_document;
    FourPanes* m_panes = nullptr;
    views::CMyTreeView* m_trees[2] = {nullptr, nullptr};
    views::CMyListView* m_lists[2] = {nullptr, nullptr};
    QWidget* m_activeView = nullptr;
    QMetaObject::Connection m_focusTracking;
    QMap<int, QAction*> m_actions;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_settingsMenu = nullptr;
    QMenu* m_archiveMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QAction* m_recentSeparator = nullptr;
    QList<QAction*> m_recentActions;
    QToolBar* m_toolBar = nullptr;
    QLabel* m_statusPanes[3] = {nullptr, nullptr, nullptr};
    QLabel* m_addEncryption = nullptr; // shown while adds are encrypted
    std::unique_ptr<HelpWindow> m_help;
    ArchiveTools* m_archiveTools = nullptr;
    bool m_resorting = false;
    bool m_settingsSaved = false;
};

} // namespace frame
