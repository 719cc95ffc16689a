#pragma once

#include <functional>

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

} // namespace views
