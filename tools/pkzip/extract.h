#pragma once

#include "decryption.h"
#include "writer.h"
#include "zipformat.h"

#include <string>
#include <vector>

namespace pkzip {

struct ExtractRequest {
    std::vector<std::string> names; // as the list file gives them
    std::string destination;        // host folder
    bool keepFolders = false;       // -dir=root
    Secrets secrets = {};           // for encrypted members
    std::string progressFile;       // host path of the progress reports, "" for none
};

// Writes the named members below the destination, each through a new file renamed over the old
// one. Members that are unsafe, damaged or not found are reported in problems and skipped.
void extractMembers(const ArchivePaths& paths, int archiveFd, const ArchiveIndex& index,
                    const ExtractRequest& request, Problems& problems);

// Finds members by the names a list file gives: for each name, the positions of the members
// whose listed name matches, or an empty list.
std::vector<std::vector<size_t>> lookUpMembers(const ArchiveIndex& index,
                                               const std::vector<std::string>& names);

} // namespace pkzip
