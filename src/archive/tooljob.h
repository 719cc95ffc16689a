#pragma once

#include "archivewindow.h"
#include "drivemap.h"
#include "result.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace archive {

// The files of a tool job: the archiver in the program directory, the job script, marker, listing,
// list and error files in the job folder (Windows paths ending in "\"). The running program's job
// folder is its own (see platform::InstanceFolder), so two programs never share a job file.
struct JobFiles {
    std::string programDir;
    std::string jobDir;
    std::string archiver;        // PKZIP25.EXE
    std::string script;          // temp.bat
    std::string marker;          // tempdone.txt, the completion marker
    std::string listing;         // temp.txt, the archiver's listing
    std::string list;            // temp.lst, the names an operation works on
    std::string errors;          // temp.err, what a failed line of the script said
    std::string password;        // temp.pwd, the password while a job needs it (mode 0600)
    std::string progress;        // temp.prg, the archiver's progress reports while a job runs
    std::string interpreterHost; // host path of the job-script interpreter

    static JobFiles inFolders(const std::string& programDir, const std::string& jobDir,
                              const std::string& interpreterHost);
    // Everything in the program directory.
    static JobFiles inProgramDir(const std::string& programDir, const std::string& interpreterHost);
};

inline constexpr char kArchiverName[] = "PKZIP25.EXE";
inline constexpr char kInterpreterName[] = "pellix-batch";

// The bytes of a job script: the command line, CR LF, then the line that copies the script to
// the completion marker, with no line end after it.
std::string jobScriptText(const std::string& commandLine, const JobFiles& files);

// A job that has run this long shows that the archiver is still working, and the window takes its
// events again so that the user can stop the job; a job that ends sooner is simply waited for.
inline constexpr std::chrono::milliseconds kLongJobAfter{3000};
// How often the window's events are handled while a long job runs.
inline constexpr std::chrono::milliseconds kLongJobPoll{100};
// How long a job the user stopped is given to end on its own: the archiver stops within a second
// and undoes the member it was writing, and what it then says tells what the job did. Only a job
// that does not listen is killed, after this.
inline constexpr std::chrono::milliseconds kStopGrace{5000};

// How far the archiver has got in a job: bytes read so far of the bytes it will read.
struct JobProgress {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};
// The last whole report of a progress file's text ("DONE TOTAL" lines); nothing when there is none.
std::optional<JobProgress> lastJobProgress(const std::string& text);

// One run of the archiver: the program writes a two-line script, starts it hidden, and waits for
// the script's last line to create the completion marker. Each step that fails shows the
// job-file error message once and returns false.
class ToolJob {
public:
    ToolJob(const JobFiles& files, ArchiveWindow& window,
            const platform::DriveMap& drives = platform::DriveMap::current());

    // Creates or truncates the job script and writes its two lines. A line that a quote, a line
    // break or a control character would change is refused before anything is written, with a
    // message naming the file.
    bool writeScript(const std::string& commandLine);
    // Creates or truncates the list file with one line per name, each ending in CR LF; a name that
    // holds a line break or another control character is refused, with a message naming it.
    bool writeListFile(const std::vector<std::string>& lines);
    // Refuses a path that is to go between the quotes of a job line: true, after a message naming
    // it, when it holds a quote, a control character or a byte that is not UTF-8. The drive map
    // never makes such a path; one typed or stored by hand may hold one.
    bool refusesPath(const std::string& path);
    // Deletes a marker left by an earlier job, so that it cannot end the next wait early.
    void deleteMarker();
    // Starts the script hidden, waits until the job has ended and takes its marker. A job that
    // runs long may be stopped by the user (through the dialog's Cancel, or by closing the
    // window), after a question: then false without a message, and wasStopped() says so.
    bool launchAndWait(ProgressDialog* dialog = nullptr);
    // A listing job: writes the script, clears the marker, launches and waits.
    bool run(const std::string& commandLine);
    // From now on, the archiver's progress reports of a job that runs long are handed to
    // onProgress on each of the window's waits (the job's line names the progress file).
    void watchProgress(std::function<void(const JobProgress&)> onProgress) {
        m_onProgress = std::move(onProgress);
    }
    // Why the last step that returned false failed, with the system's own reason.
    const platform::Error& failure() const { return m_failure; }

    // The last job was stopped by the user before it ended.
    bool wasStopped() const { return m_stopped; }
    // The stopped job ended on the request within kStopGrace, so its error file says what it did:
    // nothing when its work was done, else why it stopped (a job killed after the grace may or
    // may not have done it).
    bool endedWhenStopped() const { return m_endedWhenStopped; }
    // The user chose to close the window during the last job: no further job may start.
    bool windowClosing() const { return m_windowClosing; }
    // A job is being waited for; the window's events handled meanwhile must not start another.
    static bool isRunning();

private:
    bool fail(platform::Error reason);
    // Shows the unsafe-name message naming the name (as the lists show it); false.
    bool refuseName(const std::string& name, const std::string& reason);
    // Waits for the job's process; false when the user stopped it.
    bool waitForJob(pid_t process, ProgressDialog* dialog);
    bool userWantsToStop();
    void reportProgress();

    const JobFiles& m_files;
    ArchiveWindow& m_window;
    const platform::DriveMap& m_drives;
    platform::Error m_failure;
    bool m_stopped = false;
    bool m_endedWhenStopped = false;
    bool m_windowClosing = false;
    std::function<void(const JobProgress&)> m_onProgress;
};

// Deletes the job script, the completion marker, the list file, the listing file, the error file,
// a password file still there and the progress file, in this order; a missing file is no error.
// The archiver is never deleted.
void DeleteJobFiles(const JobFiles& files, const platform::DriveMap& drives = platform::DriveMap::current());

} // namespace archive
