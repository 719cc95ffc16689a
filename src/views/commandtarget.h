#pragma once

namespace views {

// What an update handler decides about one command before a menu or the toolbar shows it.
struct CommandState {
    bool enabled = true;
    bool checked = false;
    bool checkable = false; // set by a handler that shows a check mark or a pressed button
};

// One stop of the command routing: the active view, the document, the main frame, then the
// application. The first target that handles an id wins.
class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    // True when this target handled the command.
    virtual bool onCommand(int id) = 0;
    // True when this target has an update handler for the id (it then filled state).
    virtual bool onUpdateCommand(int /*id*/, CommandState& /*state*/) { return false; }
};

} // namespace views
