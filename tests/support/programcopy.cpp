#include "programcopy.h"

#include <filesystem>

namespace testsupport {

ProgramCopy::ProgramCopy() {
    dir = sandbox.hostPath("Program Files/Pellix");
    std::filesystem::create_directories(dir);
    // The program itself is copied: it finds its program directory from its own path.
    std::filesystem::copy_file(programDir() + "/pellix", dir + "/pellix");
    for (const char* file : {"PKZIP25.EXE", "pellix-batch", "pellix.html"}) {
        std::filesystem::create_symlink(programDir() + "/" + file, dir + "/" + file);
    }
}

std::string ProgramCopy::runScript(const std::string& script, const std::string& archive, int* status) {
    const std::string file = sandbox.root() + "/script.txt";
    writeFile(file, script);
    std::string output;
    const int exitStatus = runShell("cd '" + sandbox.home() + "' && TZ=UTC QT_QPA_PLATFORM=offscreen '" +
                                        dir + "/pellix' --script '" + file + "' " +
                                        (archive.empty() ? "" : "'" + archive + "'") + " 2>/dev/null",
                                    &output);
    if (status != nullptr) {
        *status = exitStatus;
    }
    return output;
}

std::string ProgramCopy::registryText() const {
    return readFile(sandbox.config() + "/pellix/registry.reg");
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

size_t count(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++found;
    }
    return found;
}

} // namespace testsupport
