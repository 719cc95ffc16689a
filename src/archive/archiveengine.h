#pragma once

#include "archivestate.h"
#include "archivewindow.h"
#include "drivemap.h"
#include "passwords.h"
#include "recentfiles.h"
#include "tooljob.h"

#include <cstdint>
#include <string>

namespace archive {

inline constexpr std::int64_t kMaximumOperationBytes = 2'147'483'647;
inline constexpr std::int64_t kChunkBytes = 500'000;

// The three command lines of an operation, and the listing's, byte for byte.
std::string listingCommandLine(const JobFiles& files, const std::string& archivePath);
std::string extractCommandLine(const JobFiles& files, const std::string& archivePath,
                               const std::string& destination, bool includePathInfo);
std::string addCommandLine(const JobFiles& files, const std::string& archivePath, bool includePathInfo);
std::string deleteCommandLine(const JobFiles& files, const std::string& archivePath);
std::string testCommandLine(const JobFiles& files, const std::string& archivePath);
// What an add's or an extract's job line ends with: the file the archiver reports its progress to.
std::string progressSwitch(const JobFiles& files);

// What the archiver says when it stops on request, and the interpreter when a program it ran was
// killed: a job that said neither, and ended on the request, had done its work when it stopped.
inline constexpr char kArchiverStoppedText[] = "stopped on request";
inline constexpr char kInterpreterKilledText[] = " was killed by signal ";
bool stoppedJobDidItsWork(bool endedWhenStopped, const std::string& archiverErrors);
// Takes out the free space that adds in runs leave before the archive's directory.
std::string compactCommandLine(const JobFiles& files, const std::string& archivePath);

// The test's final box from what the archiver said of its chunks: a line for each member that
// failed ("docs/a.txt: its data fail the CRC check"), and any other complaint as it was said.
struct TestReport {
    size_t failedMembers = 0;
    std::vector<std::string> lines;
};
TestReport testReportOf(const std::string& archiverErrors);

// A list-file line: an add names the local file as it is; an extract or delete drops everything
// up to and including the first "/" (the archive's own path in front of a member's path).
std::string listFileLine(const std::string& itemName, bool add);

// How many items from `first` on form the next chunk: items are taken while the chunk's bytes
// plus the next size stay at most 500,000, and an item is always taken while the chunk's bytes
// are still 0 (the first item, whatever its size, and any item after items of size 0).
size_t chunkLength(const std::vector<OperationItem>& items, size_t first);

// The archive engine: lists the open archive, runs extract, add and delete through the archiver
// in chunks, and holds the open archive's state and the commands that choose it. It reaches the
// window only through ArchiveWindow.
class ArchiveEngine {
public:
    // lastFolder and includePathInfo are the settings' own values, read and changed in place.
    ArchiveEngine(const JobFiles& files, ArchiveWindow& window, std::string& lastFolder,
                  std::int32_t& includePathInfo, RecentFileList& recentFiles,
                  const platform::DriveMap& drives = platform::DriveMap::current());

    ArchiveState& state() { return m_state; }
    const ArchiveState& state() const { return m_state; }
    DragState& dragState() { return m_drag; }
    const JobFiles& jobFiles() const { return m_files; }
    ArchiveWindow& window() { return m_window; }
    const platform::DriveMap& drives() const { return m_drives; }
    bool includePathInfo() const { return m_includePathInfo != 0; }
    void setIncludePathInfo(bool include) { m_includePathInfo = include ? 1 : 0; }

    // Lists the open archive into the entries and the folder list and rebuilds the archive
    // views. A missing archive file changes nothing.
    void ListArchive();

    // Runs the delete (when the delete request is set), add or extract on the operation items.
    void RunArchiveOperation(bool add);
    // Extracts the operation items, with their folders inside the archive, into destination (a
    // folder of the program's own) for the desktop: a dragged-out or opened copy. The progress
    // dialog shows and failures are reported as for any extract; no completion box follows. True
    // when every item was extracted.
    bool extractCopies(const std::string& destination);
    // Tests the operation items (members, named as for an extract) in chunks under the progress
    // dialog: the archiver reads each one and checks its size and CRC, writing no file. Ends in
    // one box: every member intact, or each one that failed with the reason.
    void testOperationItems();
    void AddOperationItem(const std::string& name, std::int64_t size, const std::string& dateText);
    // Empties the operation items; every command or drop that collects items starts with it.
    void clearOperationItems() { m_state.operationItems.clear(); }
    // Collects the members under an archive folder ("<archive path>" for the root,
    // "<archive path>/docs/old" for a folder) and, for a folder dragged from the archive folder
    // tree, extracts them.
    void AddArchiveFolderItems(const std::string& folder);

    // The Zip command's own steps before the local file list collects its selection: the
    // confirmation, the status text, an empty item list. False when the user did not confirm.
    bool beginZipCommand();
    // The Zip command's last step.
    void endZipCommand();

    void openCommand();
    void newCommand();
    enum class OpenRoute { Framework, Handled };
    // An open request from the recent-file list or the desktop; during start-up the framework's
    // own handling takes it.
    OpenRoute OpenArchiveFile(const std::string& path);
    void commandLineOpen(const std::string& fileName);
    // Idle time: an archive opened through OpenArchiveFile enters the recent-file list.
    void onIdle();

    // What the last job's programs said when they failed, "" when all went well; an error file
    // that cannot be read gives the reason it cannot be read.
    std::string archiverErrors() const;
    // The open archive's passwords (engineencryption.cpp): jobs over encrypted members use them,
    // a test run among them.
    ArchivePasswords& passwords() { return m_passwords; }
    // "Encrypt Added Files...": on asks for the password twice, off forgets it.
    void toggleAddEncryption();
    bool encryptsAdds() const { return m_passwords.encryptsAdds(); }
    // Runs a job whose line may need the archive's password: the password file is written just
    // before it and removed after it. For the same job over encrypted members, the runs after a
    // wrong or missing password (asked for again through passwords) come from
    // retryRefusedMembers, which adds what they said to errors; both false when a job could not
    // run or was stopped.
    bool launchJob(ToolJob& job, ProgressDialog* dialog, bool withPassword, const std::string& password);
    bool retryRefusedMembers(ToolJob& job, ProgressDialog* dialog, OperationPasswords& passwords,
                             const std::string& commandLine, std::string& scriptLine, std::string& errors,
                             const std::string& lineTail = std::string());

private:
    enum class Kind { Extract, Add, Delete, Test };
    // RunArchiveOperation; copies: extractCopies. True when it ran to the end without a problem.
    bool runOperation(Kind kind, bool copies);
    void showTestReport(const std::string& problems, size_t tested);
    struct ArchiverProblem;

    bool archiveExists() const;
    // No job starts while another is waited for, nor once the window is closing.
    bool mayStartJob() const;
    void setArchive(const std::string& path);
    void addToRecentFiles(const std::string& path);
    void finishFailedOperation();
    // Another archive becomes the open one: its passwords are not this one's.
    void forgetPasswordsUnless(const std::string& samePath);
    // The user stopped a job to close the window: it closes now that the step is over.
    void closeWindowIfAsked();

    const JobFiles& m_files;
    ArchiveWindow& m_window;
    std::string& m_lastFolder;
    std::int32_t& m_includePathInfo;
    RecentFileList& m_recentFiles;
    const platform::DriveMap& m_drives;
    ArchiveState m_state;
    DragState m_drag;
    ArchivePasswords m_passwords;
};

} // namespace archive
