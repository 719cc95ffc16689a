#pragma once

#include <QString>
#include <functional>

namespace frame {
class CMainFrame;
}
namespace views {
struct DesktopHandOver;
}

namespace app {

// The script verb "drag FROM-PANE SOURCE [over PANE ...] to PANE TARGET". SOURCE is "rows
// NAME|NAME..." (selects those rows of a list and presses on the first) or a tree item's path;
// TARGET is a row name or a tree item path, "-" for the pane's empty space below its rows;
// "to outside" takes the pointer straight down out of the window instead. The
// left button goes down on the source, the pointer moves in small steps through the centre of
// each pane named after "over" to the target, and the button comes up there. Like real input,
// every event goes to the pane that got the press and the frame's routing passes it on. Prints
// the drag's cursor just before the release. False (with why set) when the line cannot be
// carried out.
bool runDragVerb(frame::CMainFrame& frame, const QString& fromPane, const QString& rest,
                 const std::function<void(const QString&)>& print, QString* why);

// The script verb "desktop FOLDER": what the panes hand to the desktop from now on goes to the
// script instead. Each file to open and each drag out of the window is printed ("desktop open:
// PATH", "desktop drag: PATH|PATH", host paths) and copied, permissions kept, into hostFolder,
// as the application or the file manager taking it would; a drag counts the script's button.
void handDesktopToScript(views::DesktopHandOver& desktop, const QString& hostFolder,
                         const std::function<void(const QString&)>& print);

// The script verb "where PANE TARGET": prints "where: X Y", the screen point (global
// coordinates) on the icon of a list's row (by name) or a tree's item (by path), where real input
// from outside the program presses to drag it. False (with why set) when there is none.
bool runWhereVerb(frame::CMainFrame& frame, const QString& pane, const QString& target,
                  const std::function<void(const QString&)>& print, QString* why);

// The script verb "idle MS": the program runs as it does between a user's gestures, for MS
// milliseconds or until its window closes, so that input from outside (a real X server's) is
// handled meanwhile.
bool runIdleVerb(frame::CMainFrame& frame, const QString& milliseconds, QString* why);

} // namespace app
