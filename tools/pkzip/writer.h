#pragma once

#include "guard.h"
#include "zipformat.h"

#include <string>
#include <vector>

namespace pkzip {

// A local file to store and the member name it gets.
struct NewMember {
    std::string hostPath;
    std::string storedName; // UTF-8, "/" between folders
};

// Problems with single files that did not stop the rest of the run.
using Problems = std::vector<std::string>;

// Adds members at the end of an existing archive in place: the old central directory is saved in
// a journal first, the new members are written where it stood, then the new central directory.
// Time and space are in proportion to the new data (plus the directory), not to the archive.
[[nodiscard]] Status appendToArchive(const ArchivePaths& paths, int archiveFd, const ArchiveIndex& old,
                                     const std::vector<NewMember>& members, Problems& problems);

// Builds a whole new archive beside the old one (the kept old members copied as they are, then
// the new members), flushes it and renames it over the old one. Creates the archive when oldFd
// is -1. The old archive is untouched until the rename.
[[nodiscard]] Status rewriteArchive(const ArchivePaths& paths, int oldFd, const ArchiveIndex& old,
                                    const std::vector<bool>& keep, const std::vector<NewMember>& members,
                                    Problems& problems);

} // namespace pkzip
