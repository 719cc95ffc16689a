// pellix: starts the program. The four-pane window is not built yet; until it is, a start
// runs everything that exists: the start-up checks, the settings, the .zip association, the
// listing of the archive named on the command line (printed), and the settings written back as
// at exit.

#include "brenloapp.h"
#include "consolewindow.h"
#include "formats.h"
#include "userdirs.h"

#include <cstdio>

int main(int argc, char** argv) {
    app::StartupInput input;
    input.executableHostPath = platform::runningExecutable();
    input.arguments.assign(argv + 1, argv + argc);

    platform::Registry registry;
    app::ConsoleWindow window;
    app::CBrenloApp application(registry);
    if (!application.initialise(input, window) || !application.checkCommandLineFile(window)) {
        return 1;
    }
    application.finishStartup();
    const archive::ArchiveState& state = application.engine().state();
    std::printf("Pellix - %s\n", state.archiveFileName.c_str());
    std::printf("program directory: %s\n", application.programDir().c_str());
    std::printf("archive: %s\n", state.archivePath.c_str());
    std::printf("settings: %s%s\n", registry.filePath().c_str(),
                application.firstRun() ? " (first run)" : "");
    std::printf(".zip files open with Pellix: %s\n", state.associated ? "yes" : "no");
    for (const archive::ArchiveEntry& entry : state.entries) {
        const std::string path = entry.folder.empty() ? entry.name : entry.folder + "/" + entry.name;
        std::printf("%15s  %s  %s\n", archive::FormatSizeText(entry.size).c_str(),
                    archive::FormatDateText(entry.time).c_str(), path.c_str());
    }
    std::printf("(the four-pane window is not built yet)\n");
    return application.saveSettings(window) ? 0 : 1;
}
