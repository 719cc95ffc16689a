#pragma once

#include "sandbox.h"

#include <string>

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

bool contains(const std::string& text, const std::string& part);
size_t count(const std::string& text, const std::string& part);

} // namespace testsupport
