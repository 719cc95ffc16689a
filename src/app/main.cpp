// pellix: starts the program. The four-pane window is not built yet; until it is, a start
// runs everything that exists: the start-up checks, the settings, the command-line archive
// check, and the settings written back as at exit.

#include "brenloapp.h"
#include "consolewindow.h"
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
    const std::string archive =
        application.commandLineFile().empty() ? application.archivePath() : application.commandLineFile();
    std::printf("Pellix - %s\n", application.archiveFileName().c_str());
    std::printf("program directory: %s\n", application.programDir().c_str());
    std::printf("archive: %s\n", archive.c_str());
    std::printf("settings: %s%s\n", registry.filePath().c_str(),
                application.firstRun() ? " (first run)" : "");
    std::printf("the window is not built yet\n");
    return application.saveSettings(window) ? 0 : 1;
}
