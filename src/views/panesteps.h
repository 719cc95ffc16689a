#pragma once

#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace archive {
class ArchiveEngine;
}

namespace views {

class ViewHost;

// The steps every drop onto a local folder and the UnZip command take around their transfer: an
// extraction first clears a stale delete request; the user confirms the copy or the extraction;
// the status text shows and pending messages run; a fresh collection starts; body runs under
// the wait cursor, and "Ready" follows. False when the user did not confirm.
bool runConfirmedTransfer(ViewHost& host, bool extraction, const std::function<void()>& body);

// The steps of Delete in any pane: the confirmation, the wait cursor, the status text, pending
// messages, a fresh collection, then body; "Ready" follows.
void runConfirmedDelete(ViewHost& host, const char* statusText, const std::function<void()>& body);

// Runs body (which collects members and runs the operation) as a delete from the archive: the
// delete request is set for as long as it runs.
void deleteFromArchive(archive::ArchiveEngine& engine, const std::function<void()>& body);

// The end of an in-place rename in either pane, under the wait cursor: the status text, pending
// messages (which may rebuild the pane: rename finds its row or item again), rename, "Ready",
// then renamed applies the new name. A refused name is reported and reopen edits it again.
void finishRename(ViewHost& host, const char* statusText, const std::function<bool()>& rename,
                  const std::function<void()>& renamed, const std::function<void()>& reopen);

// Files and folders another program dropped (Windows paths) onto the archive panes: added as
// the Zip command adds the local file list's rows, with its confirmation, progress and listing.
void addFromDesktop(ViewHost& host, const std::vector<std::string>& paths);
// The same dropped onto a local folder ("C:\\Data\\"): copied there as a drop of local rows copies
// them, after the same confirmation. False when nothing was copied or the user did not confirm.
bool copyFromDesktop(ViewHost& host, const std::string& folder, const std::vector<std::string>& paths);

// Extracts what collect gathers as operation items (each named as its archive list row or folder
// names it) into a folder inside the program's own folder, which goes when the program ends: one
// folder for each archive and use, where copies still identical to their members are used again
// and others replaced. The host path of that folder; nothing when the extraction did not complete.
enum class CopiesUse { Drag, Open };
std::optional<std::string> extractCopies(ViewHost& host, CopiesUse use, const std::function<void()>& collect);

// The host paths a drag out of the window hands to the desktop for the drag now under way: the
// local list's selected rows or the local tree's folder as they are, the archive list's selected
// rows or the archive tree's folder as copies extracted first. Empty when there is nothing.
QStringList desktopDragPaths(ViewHost& host);

} // namespace views
