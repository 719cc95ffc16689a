#pragma once

#include "result.h"

#include <string>
#include <string_view>

namespace platform {

// Replaces the file at hostPath with contents as one step: the text goes to a temporary file
// beside it, is flushed to disk, and is renamed over the old file. A failure at any point
// leaves the old file as it was.
Status writeFileAtomically(const std::string& hostPath, std::string_view contents);

// Reads a whole file.
Result<std::string> readWholeFile(const std::string& hostPath);

// Creates a folder and its missing parents (mkdir -p).
Status makeFolders(const std::string& hostPath);

} // namespace platform
