// libFuzzer target over the archiver's own reading code: one input is one archive file, which is
// read, listed and extracted member by member (by the names the listing shows) into a private
// temporary folder that is emptied after every input. A member written anywhere but below the
// destination stops the run as a finding.

#include "extract.h"
#include "listing.h"
#include "names.h"
#include "replacedcheck.h"
#include "zipformat.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <linux/landlock.h>
#include <set>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

int removeEntry(const char* path, const struct stat*, int type, struct FTW*) {
    return type == FTW_DP ? ::rmdir(path) : ::unlink(path);
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

// The run's folder: the input archive, and the destination sixteen folders below it, so that a
// name that climbs out of the destination lands in one of them and is caught there. fuzz.sh
// checks that nothing is left beside the run's folder either.
class Workspace {
public:
    static constexpr int kLevels = 16;

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
        std::string folder = m_root;
        for (int level = 0; level < kLevels; ++level) {
            folder += "/up";
            ::mkdir(folder.c_str(), 0700);
        }
        m_destination = folder + "/dest";
    }
    ~Workspace() { removeTree(m_root); }

    const std::string& root() const { return m_root; }
    const std::string& archive() const { return m_archive; }
    const std::string& destination() const { return m_destination; }

    void clear() const { removeTree(m_destination); }

    // Each folder above the destination holds only the next one down (and the root the archive):
    // anything else was written by a member that escaped its destination.
    void checkNothingEscaped() const {
        bool clean = namesIn(m_root) == std::set<std::string>{"input.zip", "up"};
        std::string folder = m_root;
        for (int level = 1; level <= kLevels && clean; ++level) {
            folder += "/up";
            const std::set<std::string> names = namesIn(folder);
            clean = names.size() <= 1 && names.count(level < kLevels ? "up" : "dest") == names.size();
        }
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

long landlock(long call, long a, long b, long c, long d = 0) {
    return ::syscall(call, a, b, c, d);
}

bool allowBeneath(int ruleset, const std::string& folder, uint64_t access) {
    const int fd = ::open(folder.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    landlock_path_beneath_attr rule{};
    rule.allowed_access = access;
    rule.parent_fd = fd;
    const bool added = landlock(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH,
                                reinterpret_cast<long>(&rule)) == 0;
    ::close(fd);
    return added;
}

// Confines the process's writes to the run's folder and to the folders where libFuzzer keeps its
// corpus and its findings (Landlock), so that a member escaping its destination cannot touch
// the machine whatever the archiver does; the attempt fails with EACCES, which the run reports.
void confineWrites(const std::string& root, const std::vector<std::string>& fuzzerFolders) {
    const long abi = landlock(SYS_landlock_create_ruleset, 0, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) {
        std::fprintf(stderr, "Landlock is not available: writes outside the run's folder are only "
                             "detected, not prevented\n");
        return;
    }
    uint64_t writes = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                      LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
                      LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                      LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                      LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
    if (abi >= 2) {
        writes |= LANDLOCK_ACCESS_FS_REFER;
    }
    landlock_ruleset_attr attributes{};
    attributes.handled_access_fs = writes;
    const long ruleset =
        landlock(SYS_landlock_create_ruleset, reinterpret_cast<long>(&attributes), sizeof attributes, 0);
    bool ready = ruleset >= 0 && allowBeneath(static_cast<int>(ruleset), root, writes) &&
                 allowBeneath(static_cast<int>(ruleset), root + "/..", LANDLOCK_ACCESS_FS_REMOVE_DIR) &&
                 allowBeneath(static_cast<int>(ruleset), "/dev/null", LANDLOCK_ACCESS_FS_WRITE_FILE);
    for (const std::string& folder : fuzzerFolders) {
        ready = ready && allowBeneath(static_cast<int>(ruleset), folder, writes);
    }
    if (!ready || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        landlock(SYS_landlock_restrict_self, ruleset, 0, 0) != 0) {
        std::perror("cannot confine the fuzz run's writes");
        std::abort();
    }
    ::close(static_cast<int>(ruleset));
}

// The folders libFuzzer writes to: its corpus folders and the folder of -artifact_prefix (the
// current folder when none is given).
std::vector<std::string> fuzzerFolders(int argc, char** argv) {
    std::vector<std::string> folders;
    std::string artifacts = ".";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const std::string prefix = "-artifact_prefix=";
        if (argument.compare(0, prefix.size(), prefix) == 0) {
            const std::string path = argument.substr(prefix.size());
            artifacts = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/') + 1);
        } else if (argument[0] != '-') {
            struct stat info {};
            if (::stat(argument.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
                folders.push_back(argument);
            }
        }
    }
    folders.push_back(artifacts);
    return folders;
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

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    ::setenv("PELLIX_PKZIP_NO_FSYNC", "1", 1);
    confineWrites(workspace().root(), fuzzerFolders(*argc, *argv));
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
    // The tool's own listing reads the directory in windows instead of into an index: the same
    // text, and the same verdict on the archive.
    std::string streamed;
    const pkzip::ListingOutcome outcome =
        pkzip::streamListing("C:\\input.zip", file->get(), paths.archive, [&](std::string_view piece) {
            streamed += piece;
            return true;
        });
    if (streamed != listing || outcome.archive.ok() != index.ok()) {
        std::fprintf(stderr, "the streamed listing differs from the listing of the index\n");
        std::abort();
    }
    if (!index.ok() || index->entries.empty()) {
        return 0;
    }
    if (const std::string why = pkziptest::replacedSearchDiffers(file->get(), paths.archive, *index);
        !why.empty()) {
        std::fprintf(stderr, "%s\n", why.c_str());
        std::abort();
    }
    pkzip::ExtractRequest request;
    request.destination = space.destination();
    // Most inputs are extracted with their folders, where names can climb; some without.
    request.keepFolders = size % 4 != 0;
    // The encrypted seeds' password, so that their data are decrypted and decoded.
    request.secrets.password = "pellix";
    for (const pkzip::Entry& entry : index->entries) {
        request.names.push_back(pkzip::listedName(entry.name));
    }
    pkzip::Problems problems;
    pkzip::extractMembers(paths, file->get(), *index, request, problems);
    for (const std::string& problem : problems) {
        if (problem.find(std::strerror(EACCES)) != std::string::npos) {
            std::fprintf(stderr, "a member tried to write outside the destination folder: %s\n",
                         problem.c_str());
            std::abort();
        }
    }
    space.checkNothingEscaped();
    space.clear();
    return 0;
}
