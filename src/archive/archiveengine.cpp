#include "archiveengine.h"

#include "archivelisting.h"
#include "archivernames.h"
#include "fileservices.h"
#include "formats.h"
#include "hostfile.h"
#include "messages.h"
#include "operationchecks.h"
#include "passwordtexts.h"

#include <algorithm>
#include <chrono>

namespace archive {

namespace {

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string textAfterLast(const std::string& path, char separator) {
    const size_t cut = path.rfind(separator);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The first few lines of the archiver's complaints, enough for a message box.
std::string firstLines(const std::string& text, int count) {
    size_t end = 0;
    for (int i = 0; i < count && end != std::string::npos; ++i) {
        end = text.find('\n', end == 0 ? 0 : end + 1);
    }
    std::string shown = end == std::string::npos ? text : text.substr(0, end) + "\n...";
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) {
        shown.pop_back();
    }
    return shown;
}

int percentOf(double part, double whole) {
    if (whole <= 0) {
        return 100;
    }
    return static_cast<int>(part / whole * 100.0);
}

} // namespace

std::string listingCommandLine(const JobFiles& files, const std::string& archivePath) {
    return quoted(files.archiver) + " " + quoted(archivePath) + ">" + quoted(files.listing);
}

std::string extractCommandLine(const JobFiles& files, const std::string& archivePath,
                               const std::string& destination, bool includePathInfo) {
    return quoted(files.archiver) + " " + (includePathInfo ? " -dir=root" : "") +
           " -extract -overwrite=all " + quoted(archivePath) + " @" + quoted(files.list) + " " +
           quoted(destination);
}

std::string addCommandLine(const JobFiles& files, const std::string& archivePath, bool includePathInfo) {
    return quoted(files.archiver) + " -add -attr " + quoted(archivePath) + " -include=@" +
           quoted(files.list) + (includePathInfo ? " -path=root" : "");
}

std::string deleteCommandLine(const JobFiles& files, const std::string& archivePath) {
    return quoted(files.archiver) + " -del " + quoted(archivePath) + " @" + quoted(files.list);
}

std::string testCommandLine(const JobFiles& files, const std::string& archivePath) {
    return quoted(files.archiver) + " -test " + quoted(archivePath) + " @" + quoted(files.list);
}

std::string progressSwitch(const JobFiles& files) {
    return " -progress=@" + quoted(files.progress);
}

bool stoppedJobDidItsWork(bool endedWhenStopped, const std::string& archiverErrors) {
    return endedWhenStopped && archiverErrors.find(kArchiverStoppedText) == std::string::npos &&
           archiverErrors.find(kInterpreterKilledText) == std::string::npos;
}

std::string compactCommandLine(const JobFiles& files, const std::string& archivePath) {
    return quoted(files.archiver) + " -compact " + quoted(archivePath);
}

TestReport testReportOf(const std::string& archiverErrors) {
    static constexpr std::string_view kPrefix = "PKZIP25.EXE: ";
    static constexpr std::string_view kNotTested = ": not tested: ";
    TestReport report;
    size_t start = 0;
    while (start < archiverErrors.size()) {
        size_t end = archiverErrors.find('\n', start);
        if (end == std::string::npos) {
            end = archiverErrors.size();
        }
        std::string line = archiverErrors.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            continue;
        }
        if (line.compare(0, kPrefix.size(), kPrefix) == 0) {
            line.erase(0, kPrefix.size());
        }
        // A member's name holds no line break; the last ": not tested: " ends it.
        const size_t cut = line.rfind(kNotTested);
        if (cut != std::string::npos) {
            line = line.substr(0, cut) + ": " + line.substr(cut + kNotTested.size());
            ++report.failedMembers;
        }
        report.lines.push_back(std::move(line));
    }
    return report;
}

std::string listFileLine(const std::string& itemName, bool add) {
    if (add) {
        return itemName;
    }
    const size_t slash = itemName.find('/');
    return slash == std::string::npos ? itemName : itemName.substr(slash + 1);
}

size_t chunkLength(const std::vector<OperationItem>& items, size_t first) {
    std::int64_t chunkBytes = 0;
    size_t taken = 0;
    for (size_t i = first; i < items.size(); ++i) {
        if (chunkBytes != 0 && chunkBytes + items[i].size > kChunkBytes) {
            break;
        }
        chunkBytes += items[i].size;
        ++taken;
    }
    return taken;
}

ArchiveEngine::ArchiveEngine(const JobFiles& files, ArchiveWindow& window, std::string& lastFolder,
                             std::int32_t& includePathInfo, RecentFileList& recentFiles,
                             const platform::DriveMap& drives)
    : m_files(files), m_window(window), m_lastFolder(lastFolder), m_includePathInfo(includePathInfo),
      m_recentFiles(recentFiles), m_drives(drives) {
    m_state.entries.reserve(1000);
    m_state.operationItems.reserve(100);
}

bool ArchiveEngine::archiveExists() const {
    return platform::pathExists(m_drives, m_state.archivePath);
}

std::string ArchiveEngine::archiverErrors() const {
    platform::Result<std::string> host = m_drives.toHost(m_files.errors);
    if (!host.ok()) {
        return host.error().message;
    }
    // The interpreter empties the error file as the job starts; one that cannot be read after the
    // job may hide what went wrong, so the job counts as failed, for the reason it cannot be read.
    platform::Result<std::string> text = platform::readWholeFile(*host);
    return text.ok() ? withNamesTheUserKnows(*text, m_state, m_drives) : text.error().message;
}

bool ArchiveEngine::mayStartJob() const {
    return !m_state.closing && !ToolJob::isRunning();
}

void ArchiveEngine::ListArchive() {
    if (!mayStartJob()) {
        return;
    }
    WaitCursor wait(m_window);
    if (!archiveExists()) {
        return;
    }
    m_window.setStatusText(res::kOpeningStatus);
    PumpPendingMessages(m_window);
    m_window.setMainWindowEnabled(false);

    ToolJob job(m_files, m_window, m_drives);
    const bool listed =
        !job.refusesPath(m_state.archivePath) && job.run(listingCommandLine(m_files, m_state.archivePath));
    m_state.closing = m_state.closing || job.windowClosing();
    if (!listed) {
        // The job never ran, or was stopped: what the views show is still the last listing.
        m_window.setMainWindowEnabled(true);
        m_window.focusMainWindow();
        m_window.setStatusText(res::kReadyStatus);
        closeWindowIfAsked();
        return;
    }
    m_state.entries.clear();
    m_state.folders.clear();
    m_state.encryptedFolders.clear();
    ++m_state.listingNumber;
    platform::Result<std::string> hostListing = m_drives.toHost(m_files.listing);
    platform::Result<std::string> listing = hostListing.ok()
                                                ? platform::readWholeFile(*hostListing)
                                                : platform::Result<std::string>(hostListing.error());
    if (!listing.ok()) {
        m_window.showMessage(res::kJobFileError, res::kApplicationTitle, MessageIcon::Stop,
                             MessageButtons::Ok);
        m_window.setMainWindowEnabled(true);
    } else {
        parseListing(*listing, m_state.entries, m_state.folders);
        m_state.encryptedFolders = foldersWithEncryptedMembers(m_state.entries);
        const std::string problems = archiverErrors();
        m_window.setMainWindowEnabled(true);
        m_state.archiveJustOpened = true;
        m_window.rebuildArchiveViews();
        m_state.archiveJustOpened = false;
        DeleteJobFiles(m_files, m_drives);
        if (!problems.empty()) {
            // A damaged archive lists what could be read; the user is told the rest is missing.
            m_window.showMessage(std::string(res::kUnreadableArchive) + "\n" + firstLines(problems, 5),
                                 res::kOpenFailedCaption, MessageIcon::Stop, MessageButtons::Ok);
        }
    }
    m_window.focusMainWindow();
    m_window.setStatusText(res::kReadyStatus);
    closeWindowIfAsked();
}

void ArchiveEngine::AddOperationItem(const std::string& name, std::int64_t size,
                                     const std::string& dateText) {
    m_state.operationItems.push_back(OperationItem{name, size, dateText});
}

void ArchiveEngine::finishFailedOperation() {
    m_state.busy = false;
    m_window.setMainWindowEnabled(true);
    m_window.focusMainWindow();
    closeWindowIfAsked();
}

void ArchiveEngine::closeWindowIfAsked() {
    if (m_state.closing) {
        m_window.closeMainWindowLater();
    }
}

void ArchiveEngine::RunArchiveOperation(bool add) {
    (void)runOperation(m_state.deleteRequest ? Kind::Delete : add ? Kind::Add : Kind::Extract, false);
}

bool ArchiveEngine::extractCopies(const std::string& destination) {
    m_state.extractDestination = destination;
    return !m_state.deleteRequest && runOperation(Kind::Extract, true);
}

void ArchiveEngine::testOperationItems() {
    (void)runOperation(Kind::Test, false);
}

void ArchiveEngine::showTestReport(const std::string& problems, size_t tested) {
    const TestReport report = testReportOf(problems);
    if (report.lines.empty()) {
        const std::string text =
            tested == 1 ? std::string(res::kTestOneIntact)
                        : "All " + FormatSizeText(static_cast<std::int64_t>(tested)) + res::kTestAllIntact;
        m_window.showMessage(text, res::kTestTexts.doneCaption, MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    const std::string text = report.failedMembers == report.lines.size()
                                 ? FormatSizeText(static_cast<std::int64_t>(report.failedMembers)) + " of " +
                                       FormatSizeText(static_cast<std::int64_t>(tested)) +
                                       res::kTestSomeFailed
                                 : std::string(res::kTestIncomplete);
    m_window.showReport(text, res::kTestTexts.failedCaption, MessageIcon::Stop, report.lines);
}

bool ArchiveEngine::runOperation(Kind kind, bool copies) {
    if (!mayStartJob()) {
        return false;
    }
    WaitCursor wait(m_window);
    const res::OperationTexts& text = kind == Kind::Delete ? res::kDeleteTexts
                                      : kind == Kind::Add  ? res::kAddTexts
                                      : kind == Kind::Test ? res::kTestTexts
                                                           : res::kExtractTexts;
    const std::vector<OperationItem>& items = m_state.operationItems;
    bool includePath = copies || includePathInfo();
    if (const CheckOutcome checked =
            checkBeforeJobs(m_window, m_drives, m_state, kind == Kind::Add, copies, includePath);
        checked != CheckOutcome::Run) {
        m_state.cancelled = checked == CheckOutcome::Cancelled;
        return !m_state.cancelled;
    }

    std::int64_t byteTotal = 0;
    for (const OperationItem& item : items) {
        byteTotal += item.size;
    }
    // Reading members to test them has no size limit of its own.
    if (kind != Kind::Test && byteTotal > kMaximumOperationBytes) {
        m_window.showMessage(res::kTooLarge, res::kTooLargeCaption, MessageIcon::Stop, MessageButtons::Ok);
        m_window.setMainWindowEnabled(true);
        m_window.focusMainWindow();
        return false;
    }

    std::unique_ptr<ProgressDialog> dialog = m_window.createProgressDialog(text.title);
    m_state.cancelled = false; // each operation starts uncancelled
    m_state.busy = true;
    dialog->setPosition(0);
    m_window.repaintMainFrame();
    m_window.setMainWindowEnabled(false);

    ToolJob job(m_files, m_window, m_drives);
    const bool encryptedAdd = kind == Kind::Add && m_passwords.encryptsAdds();
    const std::string commandLine =
        kind == Kind::Delete ? deleteCommandLine(m_files, m_state.archivePath)
        : kind == Kind::Add  ? addCommandLine(m_files, m_state.archivePath, includePath) +
                                  (encryptedAdd ? encryptSwitch(m_files) : "")
        : kind == Kind::Test
            ? testCommandLine(m_files, m_state.archivePath)
            : extractCommandLine(m_files, m_state.archivePath, m_state.extractDestination, includePath);
    // Adds and extracts report how far they got within a chunk, after everything else on the line.
    const std::string progressTail =
        kind == Kind::Add || kind == Kind::Extract ? progressSwitch(m_files) : std::string();
    // An extract's line names the password file for the chunks that need it.
    std::string scriptLine = commandLine + progressTail;
    OperationPasswords passwords(m_passwords, m_window, m_state, kind == Kind::Test ? "tested" : "extracted");
    const bool pathsSafe = !job.refusesPath(m_state.archivePath) &&
                           (kind != Kind::Extract || !job.refusesPath(m_state.extractDestination));
    if (!pathsSafe || !job.writeScript(scriptLine)) {
        dialog.reset();
        finishFailedOperation();
        return false;
    }

    size_t itemsDone = 0;
    std::int64_t bytesDone = 0;
    bool cancelled = false;
    std::string problems;
    std::string testProblems; // a test goes on past members that fail, and reports them all
    std::vector<ProgressRow> nowProcessing;
    std::int64_t chunkBytes = 0;
    int bytePercent = 0;
    // A chunk that runs long moves the bar by the archiver's reports, and the dialog tells the
    // speed and the time left.
    const auto started = std::chrono::steady_clock::now();
    job.watchProgress([&](const JobProgress& progress) {
        if (progress.total == 0) {
            return;
        }
        const double share =
            std::min(1.0, static_cast<double>(progress.done) / static_cast<double>(progress.total));
        const double processed =
            static_cast<double>(bytesDone - chunkBytes) + share * static_cast<double>(chunkBytes);
        dialog->setPosition(percentOf(processed, static_cast<double>(byteTotal)));
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;
        dialog->setRateText(formatRateText(processed, static_cast<double>(byteTotal), seconds.count()));
    });
    // The rows of the chunk whose job has done its work go to "Files Completed", with the counts.
    auto completeChunk = [&] {
        if (!nowProcessing.empty()) {
            const int filePercent =
                percentOf(static_cast<double>(itemsDone), static_cast<double>(items.size()));
            for (const ProgressRow& row : nowProcessing) {
                dialog->addCompleted(row);
                dialog->setCountTexts(FormatSizeText(static_cast<std::int64_t>(itemsDone)) + " of " +
                                          FormatSizeText(static_cast<std::int64_t>(items.size())) + " (" +
                                          std::to_string(filePercent) + "%)",
                                      FormatSizeText(bytesDone) + " of " + FormatSizeText(byteTotal) + " (" +
                                          std::to_string(bytePercent) + "%)");
            }
        }
        nowProcessing.clear();
        dialog->clearNowProcessing();
        dialog->scrollCompletedToEnd();
    };
    while (itemsDone < items.size()) {
        const size_t count = chunkLength(items, itemsDone);
        chunkBytes = 0;
        std::vector<std::string> lines;
        lines.reserve(count);
        for (size_t i = itemsDone; i < itemsDone + count; ++i) {
            lines.push_back(listFileLine(items[i].name, kind == Kind::Add));
            bytesDone += items[i].size;
            chunkBytes += items[i].size;
            ProgressRow row{lines.back(), FormatSizeText(items[i].size), items[i].dateText};
            dialog->addNowProcessing(row);
            nowProcessing.push_back(std::move(row));
        }
        itemsDone += count;
        if (kind == Kind::Extract || kind == Kind::Test) {
            passwords.prepareChunk(lines);
            if (const std::string line = commandLine + passwords.commandLineTail(m_files) + progressTail;
                line != scriptLine) {
                if (!job.writeScript(line)) {
                    dialog.reset();
                    finishFailedOperation();
                    return false;
                }
                scriptLine = line;
            }
        }
        if (!job.writeListFile(lines)) {
            dialog.reset();
            finishFailedOperation();
            return false;
        }
        job.deleteMarker();
        if (dialog->checkCancelled()) {
            cancelled = true;
            break;
        }
        const bool done = launchJob(job, dialog.get(), encryptedAdd || passwords.jobNeedsPassword(),
                                    encryptedAdd ? m_passwords.addPassword() : passwords.password());
        m_state.closing = m_state.closing || job.windowClosing();
        if (!done && !job.wasStopped()) {
            dialog.reset();
            finishFailedOperation();
            return false;
        }
        bytePercent = percentOf(static_cast<double>(bytesDone), static_cast<double>(byteTotal));
        if (job.wasStopped()) {
            // Stopped by the user: the operation is cancelled, and says so as a Cancel does. A job
            // that had done its work before it could stop leaves its chunk done, and the dialog
            // says so; one that stopped left the archive as it was before the chunk.
            if (stoppedJobDidItsWork(job.endedWhenStopped(), archiverErrors())) {
                dialog->setPosition(bytePercent);
                completeChunk();
            }
            dialog->requestCancel();
            if (dialog->checkCancelled()) {
                cancelled = true;
                break;
            }
        }
        problems = archiverErrors();
        if ((kind == Kind::Extract || kind == Kind::Test) && !job.wasStopped() &&
            !retryRefusedMembers(job, dialog.get(), passwords, commandLine, scriptLine, problems,
                                 progressTail)) {
            if (job.wasStopped()) {
                dialog->requestCancel();
                (void)dialog->checkCancelled();
                cancelled = true;
                break;
            }
            dialog.reset();
            finishFailedOperation();
            return false;
        }
        if (kind == Kind::Test) {
            testProblems += problems;
            problems.clear();
        }
        dialog->setPosition(bytePercent);
        // The job ran to its end, so its chunk is done before a Cancel made meanwhile is said.
        completeChunk();
        if (dialog->checkCancelled()) {
            cancelled = true;
            break;
        }
        if (!problems.empty()) {
            break; // a chunk the archiver could not do ends the operation: nothing claims success
        }
        if (dialog->checkCancelled()) {
            cancelled = true;
            break;
        }
    }
    if (cancelled) {
        m_state.cancelled = true;
    }
    if (!m_state.cancelled && kind == Kind::Test) {
        for (const std::string& name : passwords.skipped()) {
            testProblems += "PKZIP25.EXE: " + name + ": not tested: " + kNoPasswordGiven + "\n";
        }
        showTestReport(testProblems, items.size());
    } else if (!m_state.cancelled) {
        if (problems.empty() && !passwords.skipped().empty()) {
            std::string names;
            for (const std::string& name : passwords.skipped()) {
                names += (names.empty() ? "" : "\n") + name;
            }
            m_window.showMessage(std::string(res::kSkippedWithoutPassword) + "\n" + firstLines(names, 8),
                                 text.doneCaption, MessageIcon::Exclamation, MessageButtons::Ok);
        } else if (problems.empty()) {
            if (!copies) {
                m_window.showMessage(text.done, text.doneCaption, MessageIcon::Information,
                                     MessageButtons::Ok);
            }
        } else {
            m_window.showMessage(std::string(res::kArchiverFailed) + "\n" + firstLines(problems, 8),
                                 text.failedCaption, MessageIcon::Stop, MessageButtons::Ok);
        }
    }
    dialog.reset();
    m_state.busy = false;
    PumpPendingMessages(m_window);
    if (kind == Kind::Add && itemsDone > 0 && mayStartJob() && archiveExists()) {
        // The runs leave free space before the directory so that most of them need not move it;
        // it goes before the archive is listed again. The archive is whole either way, and one
        // left with the space (a failed or stopped job) is compacted by the next add.
        ToolJob compaction(m_files, m_window, m_drives);
        (void)compaction.run(compactCommandLine(m_files, m_state.archivePath));
        m_state.closing = m_state.closing || compaction.windowClosing();
    }
    if (kind == Kind::Extract || kind == Kind::Test) {
        DeleteJobFiles(m_files, m_drives);
    } else {
        ListArchive();
    }
    m_window.setMainWindowEnabled(true);
    m_window.focusMainWindow();
    closeWindowIfAsked();
    return !m_state.cancelled && problems.empty() && testProblems.empty() && passwords.skipped().empty();
}

void ArchiveEngine::AddArchiveFolderItems(const std::string& folder) {
    std::string key = folder + "/";
    key.erase(0, key.find('/') + 1);
    for (const ArchiveEntry& entry : m_state.entries) {
        const bool taken =
            key.empty() ? entry.folder.empty() : (entry.folder + "/").compare(0, key.size(), key) == 0;
        if (!taken) {
            continue;
        }
        std::string itemFolder = entry.folder;
        for (char& c : itemFolder) {
            if (c == '/') {
                c = '\\';
            }
        }
        AddOperationItem(itemFolder + "\\" + entry.name, entry.size, FormatDateText(entry.time));
    }
    if (!m_state.deleteRequest && m_drag.sourceKind == kDragArchiveTree) {
        RunArchiveOperation(false);
    }
}

bool ArchiveEngine::beginZipCommand() {
    if (m_window.showMessage(res::kZipQuestion, res::kZipQuestionCaption, MessageIcon::Question,
                             MessageButtons::OkCancel) != MessageAnswer::Ok) {
        return false;
    }
    m_window.beginWaitCursor();
    m_window.setStatusText(res::kZippingStatus);
    PumpPendingMessages(m_window);
    clearOperationItems();
    m_state.cancelled = false;
    return true;
}

void ArchiveEngine::endZipCommand() {
    m_window.setStatusText(res::kReadyStatus);
    m_window.endWaitCursor();
}

void ArchiveEngine::setArchive(const std::string& path) {
    forgetPasswordsUnless(path);
    m_state.archivePath = path;
    m_state.archiveFileName = textAfterLast(path, '\\');
}

void ArchiveEngine::addToRecentFiles(const std::string& path) {
    m_recentFiles.add(path);
}

void ArchiveEngine::openCommand() {
    FileDialogRequest request;
    request.title = res::kOpenDialogTitle;
    request.initialFolder = platform::pathExists(m_drives, m_lastFolder) ? m_lastFolder : std::string();
    const std::optional<std::string> chosen = m_window.chooseArchiveFile(request);
    m_window.repaintMainFrame();
    if (!chosen) {
        return;
    }
    setArchive(*chosen);
    const size_t cut = chosen->rfind('\\');
    m_lastFolder = cut == std::string::npos ? std::string() : chosen->substr(0, cut);
    ListArchive();
    addToRecentFiles(m_state.archivePath);
}

void ArchiveEngine::newCommand() {
    FileDialogRequest request;
    request.title = res::kNewDialogTitle;
    request.forSaving = true;
    request.initialFolder = platform::pathExists(m_drives, m_lastFolder) ? m_lastFolder : std::string();
    const std::optional<std::string> chosen = m_window.chooseArchiveFile(request);
    if (!chosen) {
        return;
    }
    setArchive(*chosen);
    const size_t cut = chosen->rfind('\\');
    m_lastFolder = cut == std::string::npos ? std::string() : chosen->substr(0, cut);
    // The dialog has confirmed replacing an existing file; the new archive comes into being
    // with the first add.
    (void)platform::deleteFile(m_drives, m_state.archivePath);
    m_passwords.forgetAll();
    m_state.entries.clear();
    m_state.folders.clear();
    m_state.encryptedFolders.clear();
    ++m_state.listingNumber;
    m_state.archiveJustOpened = true;
    m_window.rebuildArchiveViews();
    m_state.archiveJustOpened = false;
    addToRecentFiles(m_state.archivePath);
}

ArchiveEngine::OpenRoute ArchiveEngine::OpenArchiveFile(const std::string& path) {
    if (m_state.startupRouting) {
        return OpenRoute::Framework;
    }
    if (!platform::pathExists(m_drives, path)) {
        m_window.showMessage(res::kMissingFile, res::kOpenFailedCaption, MessageIcon::Stop,
                             MessageButtons::Ok);
        return OpenRoute::Handled;
    }
    setArchive(path);
    ListArchive();
    m_state.recentFilePending = true;
    return OpenRoute::Handled;
}

void ArchiveEngine::commandLineOpen(const std::string& fileName) {
    if (fileName.empty()) {
        return;
    }
    forgetPasswordsUnless(fileName);
    m_state.archivePath = fileName;
    const size_t cut = fileName.rfind('\\');
    if (cut != std::string::npos) {
        m_state.archiveFileName = fileName.substr(cut + 1);
        m_lastFolder = fileName.substr(0, cut);
    } else {
        m_state.archiveFileName = fileName;
    }
    ListArchive();
}

void ArchiveEngine::onIdle() {
    if (m_state.recentFilePending) {
        m_state.recentFilePending = false;
        addToRecentFiles(m_state.archivePath);
    }
}

} // namespace archive
