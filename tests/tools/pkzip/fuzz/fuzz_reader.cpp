// libFuzzer target over the archiver's own reading code: one input is one archive file, which is
// read, listed and extracted member by member (by the names the listing shows) into a private
// temporary folder that is emptied after every input. A member written anywhere but below the
// destination stops the run as a finding.

#include "extract.h"
#include "listing.h"
#include "names.h"
#include "zipformat.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    return ::remove(path);
}

void removeTree(const std::string& path) {
    ::nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* item = ::readdir(dir)) {
            const std::string name = item->d_name;
            if (name != "." && name != "..") {
                names.insert(name);
            }
        }
        ::closedir(dir);
    }
    return names;
}

// The run's folder: the input archive, and the destination three folders below, so that a name
// that climbs out of it is caught on its way up.
class Workspace {
public:
    Workspace() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pkzip-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        m_root = pattern;
        m_archive = m_root + "/input.zip";
        m_destination = m_root + "/out/a/b";
    }
    ~Workspace() { removeTree(m_root); }

    const std::string& archive() const { return m_archive; }
    const std::string& destination() const { return m_destination; }

    void clear() const { removeTree(m_root + "/out"); }

    // Anything beside the archive and the destination's own folders was written by a member
    // that escaped its destination.
    void checkNothingEscaped() const {
        const std::set<std::string> root = namesIn(m_root);
        const bool clean = (root == std::set<std::string>{"input.zip", "out"} ||
                            root == std::set<std::string>{"input.zip"}) &&
                           namesIn(m_root + "/out").size() <= 1 && namesIn(m_root + "/out/a").size() <= 1;
        if (!clean) {
            std::fprintf(stderr, "a member was written outside the destination folder\n");
            std::abort();
        }
    }

private:
    std::string m_root;
    std::string m_archive;
    std::string m_destination;
};

Workspace& workspace() {
    static Workspace instance;
    return instance;
}

bool writeInput(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("PELLIX_PKZIP_NO_FSYNC", "1", 1);
    workspace();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Workspace& space = workspace();
    if (!writeInput(space.archive(), data, size)) {
        std::perror("writing the input");
        std::abort();
    }
    const pkzip::ArchivePaths paths = pkzip::pathsFor(space.archive());
    pkzip::Result<pkzip::FileHandle> file = pkzip::openFile(paths.archive, O_RDONLY);
    if (!file.ok()) {
        std::abort();
    }
    pkzip::Result<pkzip::ArchiveIndex> index = pkzip::readIndex(file->get(), paths.archive);
    // Whatever the names hold, the listing has its eight header lines, one line per member and
    // the two closing lines.
    const std::string listing = pkzip::formatListing("C:\\input.zip", index.ok() ? &*index : nullptr);
    size_t lines = 0;
    for (size_t at = listing.find('\n'); at != std::string::npos; at = listing.find('\n', at + 1)) {
        ++lines;
    }
    if (lines != 10 + (index.ok() ? index->entries.size() : 0)) {
        std::fprintf(stderr, "the listing has %zu lines\n", lines);
        std::abort();
    }
    if (!index.ok() || index->entries.empty()) {
        return 0;
    }
    pkzip::ExtractRequest request;
    request.destination = space.destination();
    request.keepFolders = (size & 1) == 0;
    for (const pkzip::Entry& entry : index->entries) {
        request.names.push_back(pkzip::listedName(entry.name));
    }
    pkzip::Problems problems;
    pkzip::extractMembers(paths, file->get(), *index, request, problems);
    space.checkNothingEscaped();
    space.clear();
    return 0;
}
