#include "replacedcheck.h"

#include "collisions.h"
#include "names.h"

#include <unordered_map>
#include <vector>

namespace pkziptest {

std::string replacedSearchDiffers(int fd, const std::string& path, const pkzip::ArchiveIndex& index) {
    const pkzip::Result<pkzip::DirectoryPlace> place = pkzip::locateDirectory(fd, path);
    if (!place.ok()) {
        return "the add cannot find the directory the index was read from";
    }
    std::string tail(static_cast<size_t>(place->fileSize - place->centralOffset), '\0');
    if (!pkzip::readAt(fd, tail.data(), tail.size(), place->centralOffset, path).ok()) {
        return "the add cannot read the directory";
    }
    std::unordered_map<std::string, size_t> keys;
    for (size_t i = 0; i < index.entries.size(); i += 2) {
        keys.emplace(pkzip::matchKey(pkzip::listedName(index.entries[i].name)), i);
    }
    keys.emplace("no such/member", 0);
    std::vector<uint64_t> expected;
    for (size_t i = 0; i < index.entries.size(); ++i) {
        if (keys.count(pkzip::matchKey(pkzip::listedName(index.entries[i].name))) != 0) {
            expected.push_back(i);
        }
    }
    const pkzip::Result<pkzip::OldRecords> found = pkzip::findReplaced(fd, path, *place, tail, keys);
    if (!found.ok() || found->replaced != expected || found->count != index.entries.size()) {
        return "the add's search for replaced members differs from the index";
    }
    return "";
}

} // namespace pkziptest
