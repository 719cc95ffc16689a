#pragma once

#include "archivestate.h"
#include "commandtarget.h"
#include "dragimage.h"

#include <QIcon>
#include <QPixmap>
#include <QVector>
#include <functional>
#include <map>
#include <string>

class QMimeData;
class QWidget;

namespace views {

// What the panes hand to the desktop: a file to open with its default application (false when
// none could be started), and files dragged out of the window (the drag owns data and runs until
// it is dropped), started only while the mouse button that began it is still held. Tests put
// their own in place of the desktop's.
struct DesktopHandOver {
    std::function<bool(const QString& hostPath)> open;
    std::function<void(QWidget* source, QMimeData* data)> drag;
    std::function<bool()> buttonHeld;
};

// The one document: what the four views share among themselves. The drag state is the archive
// engine's (a tree drag of an archive folder decides whether AddArchiveFolderItems extracts);
// the role counters number the views of each class as they are first shown; the image lists
// hold the pictures of every row and node and of the drag.
class CBrenloDoc : public CommandTarget {
public:
    explicit CBrenloDoc(archive::DragState& drag);

    archive::DragState& drag() { return m_drag; }
    // The mouse, the cursor and the image of a drag between the panes.
    DragTracker& dragTracker() { return m_dragTracker; }
    DesktopHandOver& desktop() { return m_desktop; }
    // The folders that hold the copies of members handed to the desktop, by archive and use, so
    // that a member handed over again reuses its copy (Windows paths).
    std::map<std::string, std::string>& copiesFolders() { return m_copiesFolders; }
    // The role of the next view of each class to be shown: 0, then 1.
    int takeListRole() { return m_listRoleCounter++; }
    int takeTreeRole() { return m_treeRoleCounter++; }

    const QVector<QIcon>& smallImages() const { return m_smallImages; }
    const QIcon& smallImage(int index) const { return m_smallImages.at(index); }
    const QPixmap& largeImage(int index) const { return m_largeImages.at(index); }

    bool onCommand(int) override { return false; }

private:
    archive::DragState& m_drag;
    DragTracker m_dragTracker;
    DesktopHandOver m_desktop;
    std::map<std::string, std::string> m_copiesFolders;
    int m_listRoleCounter = 0;
    int m_treeRoleCounter = 0;
    QVector<QIcon> m_smallImages;
    QVector<QPixmap> m_largeImages;
};

} // namespace views
