#pragma once

#include "result.h"

#include <string>
#include <string_view>

namespace platform {

// Replaces the file at hostPath with contents as one step: the text goes to a temporary file
// beside it, is flushed to disk, and is renamed over the old file. A failure at any point
// leaves the old file as it was.
Status writeFileAtomically(const std::string& hostPath, std::string_view contents);

// Creates the file at hostPath with contents, complete or not at all, only where no file exists:
// a file already there (another program's) is left alone and the result is EEXIST.
Status writeNewFileAtomically(const std::string& hostPath, std::string_view contents);

// Creates or truncates the file at hostPath and writes contents to it in place; a write that
// cannot complete (a full disk) is a failure, so nothing runs on half a file.
Status writeWholeFile(const std::string& hostPath, std::string_view contents);

// Reads a whole file.
Result<std::string> readWholeFile(const std::string& hostPath);

// Creates a folder and its missing parents (mkdir -p).
Status makeFolders(const std::string& hostPath);

// Makes hostPath a symbolic link to target, replacing a file or link there in one step.
Status replaceLink(const std::string& hostPath, const std::string& target);

// Where the symbolic link at hostPath points, as written in it.
Result<std::string> readLink(const std::string& hostPath);

} // namespace platform
