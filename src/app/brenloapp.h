#pragma once

#include "archiveengine.h"
#include "archivewindow.h"
#include "drivemap.h"
#include "instancefolder.h"
#include "recentfiles.h"
#include "registry.h"
#include "settings.h"
#include "tooljob.h"

#include <memory>
#include <string>
#include <vector>

namespace app {

inline constexpr char kBlankArchive[] = "blank.zip";

// What the start-up works from: the running executable and the command-line arguments (without
// the program name).
struct StartupInput {
    std::string executableHostPath;
    std::vector<std::string> arguments;
};

// The command line read the framework's way: an argument beginning with "/" or "-" is a flag,
// the last plain argument is the file to open.
struct CommandLine {
    std::vector<std::string> flags;
    std::string fileName;
};
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The application object: owns the program directory, the job files, the settings with their
// sort flags, the recent-file list and the open archive's path. Everything else reaches them
// through the one instance.
class CBrenloApp {
public:
    CBrenloApp(platform::Registry& registry,
               const platform::DriveMap& drives = platform::DriveMap::current());

    // The start-up steps that need no window: the program directory from the executable's own
    // path, this running program's own folder for its job files and blank.zip (a stale blank.zip
    // there deleted), the archiver check, the settings and the recent-file list loaded, the
    // command line read. Shows its own message and returns false when the program cannot start.
    bool initialise(const StartupInput& input, archive::ArchiveWindow& window);

    // The command-line file must exist before the program opens it: shows "<path> was not
    // found." and returns false when it does not. A name without a folder is looked for in the
    // working folder; a host path is turned into a Windows path first.
    bool checkCommandLineFile(archive::ArchiveWindow& window);

    // The settings (and the recent-file list) as the main window writes them when it goes away.
    bool saveSettings(archive::ArchiveWindow& window);

    // The start-up's last steps without a window: the .zip association checked and made, then
    // the archive named on the command line opened.
    void finishStartup();

    // Makes this program the desktop's handler of .zip files; the association flag says whether
    // that holds afterwards.
    void ensureZipAssociation();

    // The archive engine, there once initialise has succeeded.
    archive::ArchiveEngine& engine() { return *m_engine; }

    const std::string& programDir() const { return m_programDir; }
    // The folder of this running program's job files, a Windows path ending in "\"; removed when
    // the application object goes.
    const std::string& instanceDir() const { return m_instanceDir; }
    // The folder of its scratch archive (blank.zip) and of the copies it hands to the desktop, on
    // disk below the cache folder (the job folder when none can be made there); the same.
    const std::string& scratchDir() const { return m_scratchDir; }
    const archive::JobFiles& jobFiles() const { return m_jobFiles; }
    const std::string& archivePath() const { return m_engine->state().archivePath; }
    const std::string& archiveFileName() const { return m_engine->state().archiveFileName; }
    const std::string& programHostPath() const { return m_programHostPath; }
    const std::string& commandLineFile() const { return m_commandLineFile; }
    const CommandLine& commandLine() const { return m_commandLine; }
    Settings& settings() { return m_settings; }
    const Settings& settingsValue() const { return m_settings; }
    const SortFlags& sortFlags() const { return m_sortFlags; }
    void setSortType(const std::string& sortType);
    archive::RecentFileList& recentFiles() { return m_recentFiles; }
    const archive::RecentFileList& recentFilesValue() const { return m_recentFiles; }
    bool firstRun() const { return m_firstRun; }
    platform::Registry& registry() { return m_registry; }
    const platform::DriveMap& drives() const { return m_drives; }

private:
    bool makeInstanceFolder(archive::ArchiveWindow& window);
    void makeScratchFolder();

    platform::Registry& m_registry;
    const platform::DriveMap& m_drives;
    std::string m_programDir; // Windows path, ends in "\"
    platform::InstanceFolder m_instanceFolder;
    std::string m_instanceDir; // Windows path, ends in "\"
    platform::InstanceFolder m_scratchFolder;
    std::string m_scratchDir; // Windows path, ends in "\"
    archive::JobFiles m_jobFiles;
    std::string m_programHostPath;
    std::string m_commandLineFile;
    CommandLine m_commandLine;
    Settings m_settings;
    StoredSettings m_storedSettings; // what the store held, to write back only what changed
    SortFlags m_sortFlags;
    archive::RecentFileList m_recentFiles;
    std::unique_ptr<archive::ArchiveEngine> m_engine;
    bool m_firstRun = false;
};

} // namespace app
