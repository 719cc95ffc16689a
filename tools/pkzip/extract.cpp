#include "extract.h"

#include "hostfile.h"
#include "hostnames.h"
#include "names.h"
#include "pipeline.h"
#include "runcontrol.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace pkzip {

namespace {

constexpr size_t kHoleBlock = 64u << 10;

// The end of the pipeline on disk: writes a member's bytes to the open file, leaving holes for runs
// of zeros.
class FileSink : public ByteSink {
public:
    FileSink(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}

    Status put(const char* data, size_t size) override {
        size_t pos = 0;
        while (pos < size) {
            const size_t block = std::min(kHoleBlock - (m_written % kHoleBlock), size - pos);
            if (!isZero(data + pos, block)) {
                if (Status written = writeAt(m_fd, data + pos, block, m_written, m_path); !written.ok()) {
                    return written;
                }
            }
            pos += block;
            m_written += block;
        }
        return Status::success();
    }

    // Sets the file's length, which holes at its end leave short.
    Status finish() {
        if (::ftruncate(m_fd, static_cast<off_t>(m_written)) != 0) {
            return platform::errnoError("cannot set the length of " + m_path);
        }
        return Status::success();
    }

private:
    static bool isZero(const char* data, size_t size) {
        return size > 0 && data[0] == 0 && std::memcmp(data, data + 1, size - 1) == 0;
    }

    int m_fd;
    std::string m_path;
    uint64_t m_written = 0;
};

// Opens (creating as needed) each folder of parts below the destination, never following a
// symbolic link: a link planted in the destination cannot lead a member elsewhere.
Result<FileHandle> openFolders(int destinationFd, const std::vector<std::string>& parts, size_t count) {
    FileHandle current(::dup(destinationFd));
    if (!current.isOpen()) {
        return platform::errnoError("cannot open the destination folder");
    }
    for (size_t i = 0; i < count; ++i) {
        const std::string& part = parts[i];
        int fd = ::openat(current.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            if (::mkdirat(current.get(), part.c_str(), 0777) != 0 && errno != EEXIST) {
                return platform::errnoError("cannot create folder " + part);
            }
            fd = ::openat(current.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (fd < 0) {
            if (errno == ELOOP || errno == ENOTDIR) {
                struct stat info {};
                if (::fstatat(current.get(), part.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISLNK(info.st_mode)) {
                    return platform::makeError(ELOOP, "folder " + part + " is a symbolic link");
                }
                return platform::makeError(ENOTDIR, part + " exists and is not a folder");
            }
            return platform::errnoError("cannot open folder " + part);
        }
        current.reset(fd);
    }
    return current;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string path;
    for (const std::string& part : parts) {
        path += path.empty() ? "" : "/";
        path += part;
    }
    return path;
}

// The names of the folders and the file a listed path is extracted to: the names the listing
// stands for, control pictures made control characters again and carried bytes the bytes.
std::vector<std::string> diskNames(const std::vector<std::string>& listedParts) {
    std::vector<std::string> names;
    names.reserve(listedParts.size());
    for (const std::string& part : listedParts) {
        names.push_back(platform::hostNameOfListed(part));
    }
    return names;
}

class Extractor {
public:
    Extractor(const ArchivePaths& paths, int archiveFd, const ArchiveIndex& index, Secrets secrets,
              Problems& problems)
        : m_index(index), m_problems(problems),
          m_reader(archiveFd, paths.archive, index, std::move(secrets)) {}

    void extract(size_t position, int destinationFd, bool keepFolders) {
        const Entry& entry = m_index.entries[position];
        const std::string listed = listedName(entry.name);
        // A reason may name a folder on disk, whose name may hold a line break.
        auto refuse = [&](const std::string& why) {
            m_problems.push_back(listed + ": not extracted: " + escapeControls(why));
        };
        // On Unix a ":" is an ordinary character of a name, and the archiver's own members are
        // made on Unix; a member made elsewhere that begins with a drive is refused.
        const unsigned system = entry.versionMadeBy >> 8;
        SafePath safe = safeRelativePath(listed, system == 3 || system == 19);
        if (!safe.problem.empty()) {
            refuse(safe.problem);
            return;
        }

        if (entry.isFolder()) {
            if (keepFolders) {
                const std::vector<std::string> disk = diskNames(safe.parts);
                Result<FileHandle> folder = openFolders(destinationFd, disk, disk.size());
                if (!folder.ok()) {
                    refuse(folder.error().message);
                }
            }
            return;
        }
        if (entry.isSymlink()) {
            refuse("it is a symbolic link, and links are not created from archives");
            return;
        }
        if (Status readable = m_reader.check(position); !readable.ok()) {
            refuse(readable.error().message);
            return;
        }
        if (!keepFolders) {
            safe.parts.erase(safe.parts.begin(), safe.parts.end() - 1);
        }
        const std::vector<std::string> disk = diskNames(safe.parts);
        const std::vector<std::string> folderParts(disk.begin(), disk.end() - 1);
        Result<int> folder = folderFor(destinationFd, folderParts);
        if (!folder.ok()) {
            refuse(folder.error().message);
            return;
        }
        if (Status written = writeMemberFile(position, entry, *folder, disk.back(), joined(safe.parts));
            !written.ok()) {
            refuse(written.error().message);
        }
    }

private:
    // Members of one folder usually follow one another, so the last folder stays open.
    Result<int> folderFor(int destinationFd, const std::vector<std::string>& parts) {
        if (!m_folder.isOpen() || m_folderParts != parts) {
            m_folder.reset();
            Result<FileHandle> opened = openFolders(destinationFd, parts, parts.size());
            if (!opened.ok()) {
                return opened.error();
            }
            m_folder = std::move(*opened);
            m_folderParts = parts;
        }
        return m_folder.get();
    }

    // The new file is made without a name and linked in only when complete, so a failure or a
    // kill never leaves a half-written file, and an existing file is replaced, not truncated.
    Status writeMemberFile(size_t position, const Entry& entry, int folderFd, const std::string& name,
                           const std::string& shownPath) {
        const std::optional<uint32_t> unixMode = entry.unixMode();
        const mode_t mode = unixMode ? static_cast<mode_t>(*unixMode & 0777) : 0666;
        std::string temporaryName;
        int fd = ::openat(folderFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        if (fd < 0) {
            temporaryName = "." + name.substr(0, 200) + ".pellix-part";
            fd = ::openat(folderFd, temporaryName.c_str(),
                          O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
            if (fd < 0) {
                return platform::errnoError("cannot create a file for " + shownPath);
            }
        }
        FileHandle file(fd);
        auto discard = [&](const Error& error) -> Status {
            if (!temporaryName.empty()) {
                ::unlinkat(folderFd, temporaryName.c_str(), 0);
            }
            return error;
        };
        FileSink sink(file.get(), shownPath);
        Status status = m_reader.read(position, sink);
        if (status.ok()) {
            status = sink.finish();
        }
        if (!status.ok()) {
            return discard(status.error());
        }
        const int64_t when = entry.modificationTime();
        const struct timespec times[2] = {{static_cast<time_t>(when), 0}, {static_cast<time_t>(when), 0}};
        (void)::futimens(file.get(), times);
        if (temporaryName.empty()) {
            const std::string procPath = "/proc/self/fd/" + std::to_string(file.get());
            if (::linkat(AT_FDCWD, procPath.c_str(), folderFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                return Status::success();
            }
            if (errno != EEXIST) {
                return platform::errnoError("cannot create " + shownPath);
            }
            temporaryName = "." + name.substr(0, 200) + ".pellix-part";
            ::unlinkat(folderFd, temporaryName.c_str(), 0);
            if (::linkat(AT_FDCWD, procPath.c_str(), folderFd, temporaryName.c_str(), AT_SYMLINK_FOLLOW) !=
                0) {
                return platform::errnoError("cannot create " + shownPath);
            }
        }
        if (::renameat(folderFd, temporaryName.c_str(), folderFd, name.c_str()) != 0) {
            return discard(platform::errnoError("cannot replace " + shownPath));
        }
        return Status::success();
    }

    const ArchiveIndex& m_index;
    Problems& m_problems;
    MemberReader m_reader;
    FileHandle m_folder;
    std::vector<std::string> m_folderParts;
};

} // namespace

std::vector<std::vector<size_t>> lookUpMembers(const ArchiveIndex& index,
                                               const std::vector<std::string>& names) {
    // A run names a few members of what may be a million: the names asked for are hashed, and each
    // member's key is made in one reused buffer and looked up among them.
    std::unordered_map<std::string, std::vector<size_t>> asked;
    asked.reserve(names.size());
    for (size_t k = 0; k < names.size(); ++k) {
        asked[matchKey(names[k])].push_back(k);
    }
    std::vector<std::vector<size_t>> found(names.size());
    std::string key;
    for (size_t i = 0; i < index.entries.size(); ++i) {
        key.clear();
        appendListedName(key, index.entries[i].name);
        toMatchKey(key);
        const auto hit = asked.find(key);
        if (hit != asked.end()) {
            for (size_t k : hit->second) {
                found[k].push_back(i);
            }
        }
    }
    return found;
}

void extractMembers(const ArchivePaths& paths, int archiveFd, const ArchiveIndex& index,
                    const ExtractRequest& request, Problems& problems) {
    if (Status made = platform::makeFolders(request.destination); !made.ok()) {
        problems.push_back(made.error().message);
        return;
    }
    Result<FileHandle> destination = openFile(request.destination, O_RDONLY | O_DIRECTORY);
    if (!destination.ok()) {
        problems.push_back(destination.error().message);
        return;
    }
    Extractor extractor(paths, archiveFd, index, request.secrets, problems);
    const std::vector<std::vector<size_t>> found = lookUpMembers(index, request.names);
    if (!request.progressFile.empty()) {
        uint64_t total = 0;
        for (const std::vector<size_t>& positions : found) {
            total += positions.size() == 1 ? index.entries[positions.front()].size : 0;
        }
        progress::start(request.progressFile, total);
    }
    for (size_t k = 0; k < request.names.size(); ++k) {
        if (stopRequested()) {
            problems.push_back("stopped on request: the members from " + request.names[k] +
                               " on were not extracted");
            progress::finish();
            return;
        }
        // A member whose name is empty can only be named by an empty line; it is never written, but
        // said so, by its place in the archive. An empty line names nothing else.
        if (matchKey(request.names[k]).empty() && !found[k].empty()) {
            for (size_t position : found[k]) {
                problems.push_back("member " + std::to_string(position + 1) +
                                   " (its name is empty): not extracted: it has no file name");
            }
            continue;
        }
        if (request.names[k].empty()) {
            continue;
        }
        if (found[k].empty()) {
            problems.push_back(request.names[k] + ": no such member in the archive");
        } else if (found[k].size() > 1) {
            problems.push_back(request.names[k] + ": not extracted: the archive holds " +
                               std::to_string(found[k].size()) + " members listed under this name");
        } else {
            extractor.extract(found[k].front(), destination->get(), request.keepFolders);
        }
    }
    progress::finish();
}

} // namespace pkzip
