#pragma once

#include "fileio.h"

#include <string>

namespace pkzip {

// Reads the password the program handed over in a file of its private work folder (the password's
// bytes, no line end) and removes the file at once, before the password is used: it never outlives
// the moment it was needed. Only a regular file of the caller's own, not larger than a password
// can be, is read.
[[nodiscard]] Result<std::string> takePasswordFile(const std::string& hostPath);

} // namespace pkzip
