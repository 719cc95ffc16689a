#include "brenloapp.h"

#include "association.h"
#include "fileservices.h"
#include "messages.h"
#include "userdirs.h"

#include <cstdio>

namespace app {

namespace {

void showStop(archive::ArchiveWindow& window, const std::string& text) {
    window.showMessage(text, res::kApplicationTitle, archive::MessageIcon::Stop, archive::MessageButtons::Ok);
}

std::string folderOfHostPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine parsed;
    for (const std::string& argument : arguments) {
        if (!argument.empty() && (argument[0] == '/' || argument[0] == '-')) {
            // A host path such as /home/u/a.zip is a file, not a flag: only a word with no
            // further "/" counts as a flag here.
            if (argument[0] == '-' || argument.find('/', 1) == std::string::npos) {
                parsed.flags.push_back(argument);
                continue;
            }
        }
        parsed.fileName = argument;
    }
    return parsed;
}

CBrenloApp::CBrenloApp(platform::Registry& registry, const platform::DriveMap& drives)
    : m_registry(registry), m_drives(drives) {}

void CBrenloApp::setSortType(const std::string& sortType) {
    m_settings.sortType = sortType;
    m_sortFlags = sortFlagsFor(sortType);
}

bool CBrenloApp::initialise(const StartupInput& input, archive::ArchiveWindow& window) {
    m_settings = Settings();
    m_sortFlags = sortFlagsFor(m_settings.sortType);
    m_engine.reset();
    archive::WaitCursor wait(window);

    platform::Result<std::string> programDir = m_drives.toWindows(folderOfHostPath(input.executableHostPath));
    if (!programDir.ok()) {
        showStop(window,
                 "The folder of this program has no drive letter: " + programDir.error().message + ".");
        return false;
    }
    m_programDir = *programDir;
    if (m_programDir.back() != '\\') {
        m_programDir += '\\';
    }

    if (!makeInstanceFolder(window)) {
        return false;
    }
    makeScratchFolder();
    // The empty archive of an earlier run goes first, whatever happens next.
    (void)platform::deleteFile(m_drives, m_scratchDir + kBlankArchive);
    m_programHostPath = input.executableHostPath;
    m_jobFiles = archive::JobFiles::inFolders(m_programDir, m_instanceDir,
                                              folderOfHostPath(input.executableHostPath) + "/" +
                                                  archive::kInterpreterName);
    if (!platform::pathExists(m_drives, m_jobFiles.archiver)) {
        showStop(window, res::kArchiverMissing);
        return false;
    }

    m_storedSettings = StoredSettings();
    const SettingsLoad loaded = loadSettings(m_registry, m_settings, &m_storedSettings);
    if (loaded == SettingsLoad::Failed) {
        std::fprintf(stderr, "pellix: the settings store %s cannot be used\n", m_registry.filePath().c_str());
        showStop(window, res::kRegistryError);
        return false;
    }
    m_firstRun = loaded == SettingsLoad::FirstRun;
    m_sortFlags = sortFlagsFor(m_settings.sortType);

    m_recentFiles.load(m_registry);
    m_engine = std::make_unique<archive::ArchiveEngine>(m_jobFiles, window, m_settings.dialogDir,
                                                        m_settings.includePathInfo, m_recentFiles, m_drives);
    m_engine->state().archivePath = m_scratchDir + kBlankArchive;
    m_engine->state().archiveFileName = kBlankArchive;
    m_engine->state().scratchArchivePath = m_engine->state().archivePath;
    // Until the start-up is over, open requests are the framework's to handle.
    m_engine->state().startupRouting = true;
    m_commandLine = parseCommandLine(input.arguments);
    m_commandLineFile = m_commandLine.fileName;
    return true;
}

// The job files and blank.zip of each running program live in a folder of its own, so that two
// programs started at once never take each other's files. The folder must have a Windows name,
// since the job scripts name it.
bool CBrenloApp::makeInstanceFolder(archive::ArchiveWindow& window) {
    m_instanceFolder.remove();
    m_instanceDir.clear();
    std::string reasons;
    for (const std::string& parent : platform::instanceFolderParents()) {
        platform::Result<std::string> named = m_drives.toWindows(parent);
        platform::Result<platform::InstanceFolder> folder =
            named.ok() ? platform::InstanceFolder::create(parent)
                       : platform::Result<platform::InstanceFolder>(named.error());
        platform::Result<std::string> windows = folder.ok() ? m_drives.toWindows(folder->hostPath())
                                                            : platform::Result<std::string>(folder.error());
        if (windows.ok()) {
            m_instanceFolder = std::move(*folder);
            m_instanceDir = *windows + "\\";
            return true;
        }
        reasons += "\n" + windows.error().message;
        if (!named.ok()) {
            reasons += " (a drive letter for it can be added in " + platform::DriveMap::filePath() + ")";
        }
    }
    std::fprintf(stderr, "pellix: no folder for the work files:%s\n", reasons.c_str());
    showStop(window, res::kWorkFolderError + reasons);
    return false;
}

// The scratch archive and the desktop's copies may grow large (an add of gigabytes to blank.zip),
// so they go to a folder of their own on disk, made, locked and cleared away after a crash as the
// job folder is. Where none can be made there, the job folder serves.
void CBrenloApp::makeScratchFolder() {
    m_scratchFolder.remove();
    m_scratchDir = m_instanceDir;
    const std::string parent = platform::scratchFolderParent();
    platform::Result<std::string> instanceHost = m_drives.toHost(m_instanceDir);
    if (instanceHost.ok() && instanceHost->rfind(parent + "/", 0) == 0) {
        return; // the job folder is on disk already
    }
    platform::Result<std::string> named = m_drives.toWindows(parent);
    platform::Result<platform::InstanceFolder> folder =
        named.ok() ? platform::InstanceFolder::create(parent)
                   : platform::Result<platform::InstanceFolder>(named.error());
    platform::Result<std::string> windows =
        folder.ok() ? m_drives.toWindows(folder->hostPath()) : platform::Result<std::string>(folder.error());
    if (!windows.ok()) {
        std::fprintf(stderr, "pellix: blank.zip stays with the work files: %s\n",
                     windows.error().message.c_str());
        return;
    }
    m_scratchFolder = std::move(*folder);
    m_scratchDir = *windows + "\\";
}

void CBrenloApp::ensureZipAssociation() {
    m_engine->state().associated = archive::EnsureZipAssociation(m_registry, m_programDir, m_programHostPath,
                                                                 archive::DesktopPlaces::forCurrentUser());
}

void CBrenloApp::finishStartup() {
    m_engine->state().startupRouting = false;
    ensureZipAssociation();
    m_engine->commandLineOpen(m_commandLineFile);
}

bool CBrenloApp::checkCommandLineFile(archive::ArchiveWindow& window) {
    if (m_commandLineFile.empty()) {
        return true;
    }
    const bool isWindowsPath = m_commandLineFile.size() >= 2 && m_commandLineFile[1] == ':';
    if (!isWindowsPath) {
        // A host path, absolute or relative to the working folder, becomes a Windows path.
        platform::Result<std::string> host = m_drives.toHost(m_commandLineFile);
        platform::Result<std::string> windows =
            host.ok() ? m_drives.toWindows(*host) : platform::Result<std::string>(host.error());
        if (windows.ok()) {
            m_commandLineFile = *windows;
        }
    }
    if (!platform::pathExists(m_drives, m_commandLineFile)) {
        window.showMessage(m_commandLineFile + res::kNotFoundSuffix, res::kApplicationTitle,
                           archive::MessageIcon::Exclamation, archive::MessageButtons::Ok);
        return false;
    }
    return true;
}

bool CBrenloApp::saveSettings(archive::ArchiveWindow& window) {
    const bool saved = app::saveSettings(m_registry, m_settings, window, &m_storedSettings);
    if (platform::Status recent = m_recentFiles.save(m_registry); !recent.ok()) {
        std::fprintf(stderr, "pellix: the recent-file list was not saved: %s\n",
                     recent.error().message.c_str());
    }
    return saved;
}

} // namespace app
