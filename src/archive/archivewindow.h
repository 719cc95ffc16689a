#pragma once

#include <string>

namespace archive {

enum class MessageIcon { Stop, Question, Information, Exclamation };
enum class MessageButtons { Ok, OkCancel };
enum class MessageAnswer { Ok, Cancel };

// Everything the archive engine needs of the window, and nothing more. The window layers
// implement it with the real main frame; tests implement it with a scripted fake that answers
// message boxes from a queue and records every call. The engine never sees a widget.
class ArchiveWindow {
public:
    virtual ~ArchiveWindow() = default;

    // A message box with a fixed text and caption; returns the button the user chose.
    virtual MessageAnswer showMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                                      MessageButtons buttons) = 0;
    // Status bar pane 0.
    virtual void setStatusText(const std::string& text) = 0;
    virtual void beginWaitCursor() = 0;
    virtual void endWaitCursor() = 0;
    // Lets one queued message of the main window run; false when none was waiting.
    virtual bool processOnePendingMessage() = 0;
    virtual void setMainWindowEnabled(bool enabled) = 0;
    virtual void focusMainWindow() = 0;
};

// The application's title, the caption of the boxes the application itself owns.
inline constexpr char kApplicationTitle[] = "Pellix";

// Lets the messages waiting for the main window run before a long step blocks the thread (a
// status text just set gets painted), then restores the wait cursor.
void PumpPendingMessages(ArchiveWindow& window);

} // namespace archive
