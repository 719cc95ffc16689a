#pragma once

#include "sortkey.h"

#include <QString>
#include <string>

class QWidget;

namespace archive {
class ArchiveEngine;
class ArchiveWindow;
} // namespace archive
namespace platform {
class DriveMap;
}

namespace views {

class CMyListView;
class CMyTreeView;
class CBrenloDoc;

// What the four views need of the main frame and the application object above them: the other
// panes, the status bar, the window seam, the archive engine and the settings they read.
class ViewHost {
public:
    virtual ~ViewHost() = default;

    // The tree in pane (row, 0) and the list in pane (row, 1); row 0 local, row 1 archive.
    virtual CMyTreeView* treeAt(int row) = 0;
    virtual CMyListView* listAt(int row) = 0;
    // The pane at (row, column), whichever kind it is.
    virtual QWidget* paneAt(int row, int column) const = 0;
    virtual CBrenloDoc& document() = 0;
    // Makes a pane the active view and gives it the keyboard focus.
    virtual void setActiveView(QWidget* view) = 0;
    // Status bar pane 0 (progress texts, "Ready"), 1 (local count) or 2 (archive count).
    virtual void setStatusPaneText(int pane, const QString& text) = 0;
    // "Pellix - " followed by the archive file name.
    virtual void setTitleFileName(const QString& fileName) = 0;

    // Message boxes, the wait cursor and message pumping, as the engine uses them.
    virtual archive::ArchiveWindow& window() = 0;
    virtual archive::ArchiveEngine& engine() = 0;
    virtual const platform::DriveMap& drives() const = 0;
    // The folder of the running program's scratch archive (blank.zip) and of the copies it hands
    // to the desktop, as a Windows path ending in "\".
    virtual std::string scratchDir() const = 0;

    virtual SortKey sortKey() const = 0;
    // Sets the key (and the stored SortType code); the caller runs the re-sort.
    virtual void setSortKey(SortKey key) = 0;
    // True only while a re-sort refills the lists from their kept records.
    virtual bool resortInProgress() const = 0;
    // Refills both lists from their kept records under the wait cursor.
    virtual void resort() = 0;
    virtual bool useDriveA() const = 0;

    // Runs a command through the window's routing (a context menu's entry that the pane itself
    // does not handle); false when nothing handled it.
    virtual bool routeCommand(int) { return false; }
};

} // namespace views
