// pellix: the program. With no options it opens its window on blank.zip, or on the archive named.
//   pellix [ARCHIVE]                       the window
//   pellix --screenshot FILE.png [ARCHIVE]  start up as usual without a display, save a picture of
//                                           the window, and exit
//   pellix --script FILE [ARCHIVE]          start up without a display and run a test script
//                                           (see scriptdriver.h), printing what it shows
//   pellix --help, pellix --version         print the usage or the version and exit, before
//                                           anything needs a display
// Without a display the message boxes are printed on standard error, one line each.

#include "brenloapp.h"
#include "mainframe.h"
#include "pellixapplication.h"
#include "scriptdriver.h"
#include "texts.h"
#include "userdirs.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr char kUsage[] =
    "Usage: pellix [ARCHIVE]\n"
    "       pellix --script FILE [ARCHIVE]\n"
    "       pellix --screenshot FILE.png [ARCHIVE]\n"
    "       pellix --help | --version\n"
    "\n"
    "Pellix, a desktop manager for ZIP archives: the local disk on top, the open archive below.\n"
    "It opens the ZIP archive ARCHIVE, or the empty scratch archive blank.zip when none is named.\n"
    "\n"
    "  --script FILE          run the window from a script without a display, printing every\n"
    "                         message box and what the script asks for (see the README)\n"
    "  --screenshot FILE.png  start without a display, save a picture of the window and exit\n"
    "  --help                 print this text and exit\n"
    "  --version              print the version and exit\n";

struct Options {
    bool help = false;
    bool version = false;
    QString screenshot;
    QString script;
    std::vector<std::string> arguments; // what the application's own command line holds
    bool valid = true;
};

Options readOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "--version") {
            (word == "--help" ? options.help : options.version) = true;
        } else if ((word == "--screenshot" || word == "--script") && i + 1 < argc) {
            (word == "--screenshot" ? options.screenshot : options.script) =
                QString::fromLocal8Bit(argv[++i]);
        } else if (word == "--screenshot" || word == "--script") {
            options.valid = false;
        } else {
            options.arguments.push_back(word);
        }
    }
    return options;
}

void printLine(const QString& line) {
    std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    // Read before anything of Qt's: these need no display.
    const Options options = readOptions(argc, argv);
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", res::kAboutVersion);
        return 0;
    }
    if (!options.valid) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const bool headless = !options.screenshot.isEmpty() || !options.script.isEmpty();
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication qtApplication(argc, argv);
    QApplication::setApplicationName("Pellix");

    const frame::SeamMode mode = !options.script.isEmpty()       ? frame::SeamMode::Script
                                 : !options.screenshot.isEmpty() ? frame::SeamMode::Screenshot
                                                                 : frame::SeamMode::Interactive;
    platform::Registry registry;
    app::PellixApplication application(registry, mode);
    if (mode == frame::SeamMode::Script) {
        // The transcript keeps boxes and dumps in the order they happened.
        application.seam().setLogger([](const QString& line) {
            printLine(line);
            std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
        });
    }
    app::StartupInput input;
    input.executableHostPath = platform::runningExecutable();
    input.arguments = options.arguments;
    if (!application.start(input)) {
        return 1;
    }
    frame::CMainFrame* frame = application.mainFrame();

    if (!options.screenshot.isEmpty()) {
        frame->showNormal();
        frame->resize(1280, 800);
        QCoreApplication::processEvents();
        const bool saved = frame->grab().save(options.screenshot, "PNG");
        frame->close();
        if (!saved) {
            std::fprintf(stderr, "pellix: cannot write the picture %s\n",
                         options.screenshot.toLocal8Bit().constData());
            return 1;
        }
        std::printf("The window's picture is in %s\n", options.screenshot.toLocal8Bit().constData());
        return 0;
    }
    if (!options.script.isEmpty()) {
        QFile file(options.script);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            std::fprintf(stderr, "pellix: cannot read the script %s\n",
                         options.script.toLocal8Bit().constData());
            return 2;
        }
        frame->showNormal();
        frame->resize(1280, 800);
        QCoreApplication::processEvents();
        app::ScriptDriver driver(application, printLine);
        const bool allDone = driver.run(QTextStream(&file).readAll().split('\n'));
        frame->close();
        return allDone ? 0 : 1;
    }
    return QApplication::exec();
}
