#pragma once

#include "zipformat.h"

#include <string>

namespace pkziptest {

// An add looks for the old members that new ones replace without decoding most records. Checks
// that search against the full index: asked for every other member's listed name and one that is
// not there, it must find exactly those members. Returns what differs, or "" when nothing does.
std::string replacedSearchDiffers(int fd, const std::string& path, const pkzip::ArchiveIndex& index);

} // namespace pkziptest
