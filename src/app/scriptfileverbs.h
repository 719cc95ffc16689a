#pragma once

#include <QString>
#include <functional>

namespace frame {
class CMainFrame;
}

namespace app {

// The script verbs of the file operations (rename in place, context menus, the open editor),
// driven through the same handlers as a right click and the in-place editor's keys.
// Returns nothing when the verb is not one of them, else whether it was carried out.
struct FileVerbResult {
    bool handled = false;
    bool done = false;
};
FileVerbResult runFileVerb(frame::CMainFrame& frame, const QString& verb, int row, int column,
                           const QString& rest, const std::function<void(const QString&)>& print);

} // namespace app
