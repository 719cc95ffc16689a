#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace app {

class PellixApplication;

// Drives the real window from a text script, for end-to-end tests and demonstrations. One verb
// per line ("#" starts a comment); panes are named local-tree, local-list, archive-tree and
// archive-list:
//   select PANE PATH          select a tree item by its node path (C:\Data\) or tree path
//   expand PANE PATH          expand a tree item;  collapse PANE PATH  collapse it
//   rows PANE NAME|NAME...    select list rows by name;  rows PANE *  selects every row
//   column PANE N             click column N of a list's header
//   key PANE KEY              press a key in a pane (Tab, Shift+Tab, Delete, F5, Ctrl+A ...)
//   command ID                run a command by name (ID_REFRESH) or number (32771)
//   toolbar LABEL             press a toolbar button (New, Open, ..., Exit)
//   answer BUTTON             the answer of the next message box or question: the text of one
//                             of its buttons (OK, Cancel, Replace, Skip These, ...)
//   file PATH|cancel          the answer of the next file dialog (a Windows path)
//   password TEXT|cancel      the next field of a password question (a question with two fields
//                             takes two lines); cancel cancels the question
//   state ID                  print whether a command is enabled and checked
//   close                     close the window as its close box does ("window closed" is
//                             printed once the window is gone)
//   close later MS            the same request MS milliseconds from now, while later lines run
//   mkdir PATH                make a folder behind the program's back (a Windows path)
//   timed VERB ...            run a line and print how long it took ("time: 12.3 ms")
//   menu PANE TARGET ENTRY    right-click a row (by name) or tree item (by path), "-" for the
//                             empty space, print the context menu ("menu: New Folder, Rename
//                             (grayed), Delete") and choose ENTRY ("none" chooses nothing)
//   rename PANE TARGET NAME   edit a row's or item's label in place, type NAME and press Enter
//                             (no NAME: Escape); the edit already open is used when it is TARGET's
//   editing PANE              print the label being edited ("editing: NewFolder1" or "none")
//                             TARGET and the rest are split at "|" when the line holds one
//   drag PANE SOURCE [over PANE ...] to PANE TARGET
//                             press on SOURCE (rows NAME|NAME... of a list, or a tree item's
//                             path), move through the panes named to TARGET (a row name or an
//                             item path, "-" for empty space) and release; prints the cursor
//   drag PANE SOURCE [over PANE ...] to outside
//                             the same, the pointer leaving the window downwards instead
//   drag ... to PANE TARGET held
//                             the same, the button held at the target (the drop in progress)
//   where PANE TARGET         print "where: X Y", the screen point on a row's (by name) or tree
//                             item's (by path) icon, for real input from outside
//   idle MS                   let the program run for MS milliseconds (or until its window
//                             closes), handling input from outside meanwhile
//   picture FILE.png          save a picture of the window (a host path)
//   picture properties FILE.png, picture report FILE.png
//                             the same of the open Properties window, or of the last box that
//                             ended in a list
//   desktop FOLDER            from now on what the panes hand to the desktop (a file to open,
//                             files dragged out of the window) is printed ("desktop open: PATH",
//                             "desktop drag: PATH|PATH", host paths) and copied, permissions
//                             kept, into FOLDER (a Windows path), as the application or the file
//                             manager taking it would
//   dump                      print the title, the status panes, the pane sizes, both trees and
//                             both lists (an encrypted member's row marked " [encrypted]", a
//                             folder that holds one " [holds encrypted]"), the find bar while it
//                             is open ("find: TEXT (COUNT)")
//                             and the Properties window's text under "properties:" while it is
//                             open
//   menus                     print each menu of the menu bar with its items and keys
//   find TEXT                 open the find bar, type TEXT and press Enter; "find" alone presses
//                             Escape in the bar
//   comment TEXT              in the open Properties window, edit the archive's comment, type
//                             TEXT ("\n" for a line break) and save it
// Every message box is printed as one line when it appears (a box ending in a list, one more
// line for each item, indented); a box with no queued answer is
// answered Cancel and reported as unexpected. Each verb is one branch of runLine in the .cpp;
// the file verbs (menu, rename, editing) are in scriptfileverbs.cpp, the drag and desktop in
// scriptdrag.cpp.
// Input is delivered through Qt's own event delivery (scriptinput.h), so the program links no
// test library.
class ScriptDriver {
public:
    ScriptDriver(PellixApplication& application, std::function<void(const QString&)> print);

    // Runs every line; false when a line could not be carried out (it is reported and the
    // script goes on).
    bool run(const QStringList& lines);
    bool runLine(const QString& line);
    QString dump() const;

private:
    PellixApplication& m_application;
    std::function<void(const QString&)> m_print;
    bool m_windowClosed = false;
};

} // namespace app
