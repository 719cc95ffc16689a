#pragma once

#include "sandbox.h"

#include <chrono>
#include <string>
#include <sys/types.h>

namespace testsupport {

// A copy of the program in its own program directory below a sandbox ("C:\Program Files\Pellix"),
// the archiver, the interpreter and the help file linked in beside it, so that each end-to-end
// test has its own blank.zip, job files and settings.
class ProgramCopy {
public:
    ProgramCopy();

    // Runs the program headless on a script (and an archive named on its command line); returns
    // what it printed. The time zone is UTC so that listed times do not depend on the machine.
    std::string runScript(const std::string& script, const std::string& archive = "", int* status = nullptr);
    std::string registryText() const;

    Sandbox sandbox;
    std::string dir;
};

// Puts a slow stand-in for the archiver at hostPath (replacing what is there). Each run appends
// its command line to `log`; a run whose command line holds `pattern` ("" for every run) first
// waits `seconds` for a child that ignores a polite request to stop (its process id written to
// `sleeperPid`), then runs the real archiver with the same arguments.
void writeSlowArchiver(const std::string& hostPath, const std::string& pattern, int seconds,
                       const std::string& log, const std::string& sleeperPid);
// Whether the process named by the number in pidFile has ended within `timeout`.
bool processEndsWithin(const std::string& pidFile, std::chrono::milliseconds timeout);

// The shell command that runs a program headless on a script file (and an archive) from the
// sandbox's home folder, printing what it shows.
std::string scriptCommand(const Sandbox& sandbox, const std::string& program, const std::string& scriptFile,
                          const std::string& archive = "");

// A text as one word of a /bin/sh command line, whatever bytes it holds.
std::string shellQuoted(const std::string& text);

bool contains(const std::string& text, const std::string& part);
size_t count(const std::string& text, const std::string& part);

} // namespace testsupport
