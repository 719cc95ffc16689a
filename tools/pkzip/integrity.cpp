#include "integrity.h"

#include "extract.h"
#include "names.h"
#include "pipeline.h"
#include "runcontrol.h"

namespace pkzip {

void testMembers(const ArchivePaths& paths, int archiveFd, const ArchiveIndex& index,
                 const std::vector<std::string>& names, const Secrets& secrets, Problems& problems) {
    const MemberReader reader(archiveFd, paths.archive, index, secrets);
    const std::vector<std::vector<size_t>> found = lookUpMembers(index, names);
    for (size_t k = 0; k < names.size(); ++k) {
        if (stopRequested()) {
            problems.push_back("stopped on request: the members from " + names[k] + " on were not tested");
            return;
        }
        if (found[k].empty()) {
            problems.push_back(names[k] + ": no such member in the archive");
            continue;
        }
        // Members that share a listed name are each read: a test has nothing to choose between.
        for (const size_t position : found[k]) {
            const Entry& entry = index.entries[position];
            if (entry.isFolder()) {
                continue;
            }
            DiscardSink nothing;
            if (Status read = reader.read(position, nothing); !read.ok()) {
                problems.push_back(listedName(entry.name) + ": not tested: " + read.error().message);
            }
        }
    }
}

} // namespace pkzip
