#include "extract.h"

#include "hostfile.h"
#include "names.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <zip.h>
#include <zlib.h>

namespace pkzip {

namespace {

constexpr size_t kReadChunk = 256u << 10;
constexpr size_t kHoleBlock = 64u << 10;

// Receives a member's bytes: counts them, checks them against the declared size and CRC, and
// writes them to the open file, leaving holes for runs of zeros.
class MemberSink {
public:
    MemberSink(int fd, uint64_t declaredSize, std::string path)
        : m_fd(fd), m_declared(declaredSize), m_path(std::move(path)) {}

    Status put(const char* data, size_t size) {
        if (size > m_declared - std::min(m_declared, m_written)) {
            return platform::makeError(EFBIG, "it holds more data than its declared size of " +
                                                  std::to_string(m_declared) + " bytes");
        }
        m_crc = static_cast<uint32_t>(crc32_z(m_crc, reinterpret_cast<const Bytef*>(data), size));
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

    Status finish(uint32_t declaredCrc) {
        if (m_written != m_declared) {
            return platform::makeError(EILSEQ, "it holds " + std::to_string(m_written) +
                                                   " bytes instead of its declared " +
                                                   std::to_string(m_declared));
        }
        if (m_crc != declaredCrc) {
            return platform::makeError(EILSEQ, "its data fail the CRC check (damaged archive)");
        }
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
    uint64_t m_declared;
    uint64_t m_written = 0;
    uint32_t m_crc = 0;
    std::string m_path;
};

// The read and write buffers of one thread, made once: a buffer made (and zeroed) for every member
// costs more than the members themselves when an archive holds many small files.
std::vector<char>& threadBuffer(int which) {
    static thread_local std::vector<char> buffers[2] = {std::vector<char>(kReadChunk),
                                                        std::vector<char>(kReadChunk)};
    return buffers[which];
}

Status inflateData(int archiveFd, const std::string& archivePath, uint64_t dataStart, const Entry& entry,
                   MemberSink& sink) {
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) {
        return platform::makeError(ENOMEM, "cannot start decompression");
    }
    std::vector<char>& input = threadBuffer(0);
    std::vector<char>& output = threadBuffer(1);
    uint64_t remaining = entry.packedSize;
    uint64_t position = dataStart;
    Status status;
    while (status.ok()) {
        if (stream.avail_in == 0 && remaining > 0) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(remaining, input.size()));
            status = readAt(archiveFd, input.data(), n, position, archivePath);
            if (!status.ok()) {
                break;
            }
            position += n;
            remaining -= n;
            stream.next_in = reinterpret_cast<Bytef*>(input.data());
            stream.avail_in = static_cast<uInt>(n);
        }
        stream.next_out = reinterpret_cast<Bytef*>(output.data());
        stream.avail_out = static_cast<uInt>(output.size());
        const uInt availableBefore = stream.avail_in;
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            status = platform::makeError(EILSEQ, "its compressed data are damaged");
            break;
        }
        const size_t produced = output.size() - stream.avail_out;
        status = sink.put(output.data(), produced);
        if (result == Z_STREAM_END) {
            break;
        }
        // Running out of input is not the end: output that did not fit the last buffer is still
        // held in the stream. Only a call that can take nothing and give nothing ends the data.
        if (status.ok() && produced == 0 && stream.avail_in == availableBefore) {
            status = platform::makeError(EILSEQ, stream.avail_in == 0 && remaining == 0
                                                     ? "its compressed data end early (damaged archive)"
                                                     : "its compressed data are damaged");
        }
    }
    inflateEnd(&stream);
    return status;
}

Status copyStored(int archiveFd, const std::string& archivePath, uint64_t dataStart, const Entry& entry,
                  MemberSink& sink) {
    if (entry.packedSize != entry.size) {
        return platform::makeError(EILSEQ, "its stored size and its size differ (damaged archive)");
    }
    std::vector<char>& buffer = threadBuffer(0);
    for (uint64_t done = 0; done < entry.packedSize;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(entry.packedSize - done, buffer.size()));
        if (Status read = readAt(archiveFd, buffer.data(), n, dataStart + done, archivePath); !read.ok()) {
            return read;
        }
        if (Status put = sink.put(buffer.data(), n); !put.ok()) {
            return put;
        }
        done += n;
    }
    return Status::success();
}

// libzip, loaded by its run-time name the first time a member needs it: every other run of the
// tool starts without binding it and the compression and crypto libraries it brings along.
class Libzip {
public:
    // The library, or nothing with the reason in why.
    static const Libzip* get(std::string& why) {
        static const Libzip library;
        why = library.m_problem;
        return library.m_problem.empty() ? &library : nullptr;
    }

    decltype(&zip_open) open = nullptr;
    decltype(&zip_discard) discard = nullptr;
    decltype(&zip_error_init_with_code) errorInitWithCode = nullptr;
    decltype(&zip_error_strerror) errorText = nullptr;
    decltype(&zip_error_fini) errorFini = nullptr;
    decltype(&zip_get_name) getName = nullptr;
    decltype(&zip_fopen_index) openIndex = nullptr;
    decltype(&zip_strerror) archiveErrorText = nullptr;
    decltype(&zip_fread) read = nullptr;
    decltype(&zip_file_get_error) fileError = nullptr;
    decltype(&zip_fclose) close = nullptr;

private:
    Libzip() {
        // Kept loaded for the rest of the run.
        void* handle = ::dlopen(kLibzipName, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            m_problem = std::string("libzip (") + kLibzipName + ") cannot be loaded: " + ::dlerror();
            return;
        }
        bind(handle, open, "zip_open");
        bind(handle, discard, "zip_discard");
        bind(handle, errorInitWithCode, "zip_error_init_with_code");
        bind(handle, errorText, "zip_error_strerror");
        bind(handle, errorFini, "zip_error_fini");
        bind(handle, getName, "zip_get_name");
        bind(handle, openIndex, "zip_fopen_index");
        bind(handle, archiveErrorText, "zip_strerror");
        bind(handle, read, "zip_fread");
        bind(handle, fileError, "zip_file_get_error");
        bind(handle, close, "zip_fclose");
    }

    template <class Function> void bind(void* handle, Function& function, const char* name) {
        function = reinterpret_cast<Function>(::dlsym(handle, name));
        if (function == nullptr && m_problem.empty()) {
            m_problem = std::string("libzip (") + kLibzipName + ") has no " + name;
        }
    }

    static constexpr const char* kLibzipName = PELLIX_LIBZIP_SONAME;
    std::string m_problem;
};

// Methods other than stored and deflate are decoded by libzip, which checks the CRC itself.
class LibzipReader {
public:
    ~LibzipReader() {
        if (m_archive != nullptr) {
            m_zip->discard(m_archive);
        }
    }
    Status read(const std::string& archivePath, size_t index, const Entry& entry, MemberSink& sink) {
        if (m_archive == nullptr) {
            std::string why;
            m_zip = Libzip::get(why);
            if (m_zip == nullptr) {
                return platform::makeError(ENOTSUP, "it cannot be decoded: " + why);
            }
            int error = 0;
            m_archive = m_zip->open(archivePath.c_str(), ZIP_RDONLY, &error);
            if (m_archive == nullptr) {
                zip_error_t details;
                m_zip->errorInitWithCode(&details, error);
                const std::string message = m_zip->errorText(&details);
                m_zip->errorFini(&details);
                return platform::makeError(EILSEQ, "the archive cannot be opened for its method: " + message);
            }
        }
        const char* rawName = m_zip->getName(m_archive, index, ZIP_FL_ENC_RAW);
        if (rawName == nullptr || entry.rawName != rawName) {
            return platform::makeError(EILSEQ, "the archive's directory is inconsistent");
        }
        zip_file_t* file = m_zip->openIndex(m_archive, index, 0);
        if (file == nullptr) {
            return platform::makeError(ENOTSUP, std::string("it cannot be decoded: ") +
                                                    m_zip->archiveErrorText(m_archive));
        }
        std::vector<char> buffer(kReadChunk);
        Status status;
        for (;;) {
            const zip_int64_t n = m_zip->read(file, buffer.data(), buffer.size());
            if (n < 0) {
                status = platform::makeError(EILSEQ, std::string("its data are damaged: ") +
                                                         m_zip->errorText(m_zip->fileError(file)));
                break;
            }
            if (n == 0) {
                break;
            }
            status = sink.put(buffer.data(), static_cast<size_t>(n));
            if (!status.ok()) {
                break;
            }
        }
        m_zip->close(file);
        return status;
    }

private:
    const Libzip* m_zip = nullptr;
    zip_t* m_archive = nullptr;
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

class Extractor {
public:
    Extractor(const ArchivePaths& paths, int archiveFd, const ArchiveIndex& index, Problems& problems)
        : m_paths(paths), m_fd(archiveFd), m_index(index), m_problems(problems),
          m_overlaps(findOverlaps(index)) {
        m_offsets.reserve(index.entries.size());
        for (const Entry& entry : index.entries) {
            m_offsets.push_back(entry.localOffset);
        }
        std::sort(m_offsets.begin(), m_offsets.end());
    }

    void extract(size_t position, int destinationFd, bool keepFolders) {
        const Entry& entry = m_index.entries[position];
        const std::string listed = listedName(entry.name);
        auto refuse = [&](const std::string& why) {
            m_problems.push_back(listed + ": not extracted: " + why);
        };

        SafePath safe = safeRelativePath(listed);
        if (!safe.problem.empty()) {
            refuse(safe.problem);
            return;
        }
        if (entry.isFolder()) {
            if (keepFolders) {
                Result<FileHandle> folder = openFolders(destinationFd, safe.parts, safe.parts.size());
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
        if ((entry.flags & kFlagEncrypted) != 0) {
            refuse("it is encrypted");
            return;
        }
        if (m_overlaps[position]) {
            refuse("its data overlap another member's (damaged or hostile archive)");
            return;
        }
        if (!keepFolders) {
            safe.parts.erase(safe.parts.begin(), safe.parts.end() - 1);
        }
        const std::vector<std::string> folderParts(safe.parts.begin(), safe.parts.end() - 1);
        Result<int> folder = folderFor(destinationFd, folderParts);
        if (!folder.ok()) {
            refuse(folder.error().message);
            return;
        }
        if (Status written = writeMemberFile(position, entry, *folder, safe.parts.back(), joined(safe.parts));
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

    Result<uint64_t> dataStart(const Entry& entry) {
        unsigned char header[kLocalHeaderSize];
        if (Status read = readAt(m_fd, header, sizeof header, entry.localOffset, m_paths.archive);
            !read.ok()) {
            return read.error();
        }
        if (get32(header) != kLocalHeaderSignature) {
            return platform::makeError(EILSEQ, "its local header is damaged");
        }
        const uint64_t start = entry.localOffset + kLocalHeaderSize + get16(header + 26) + get16(header + 28);
        const auto next = std::upper_bound(m_offsets.begin(), m_offsets.end(), entry.localOffset);
        const uint64_t limit = next == m_offsets.end() ? m_index.centralOffset : *next;
        if (start + entry.packedSize > limit || start + entry.packedSize < start) {
            return platform::makeError(EILSEQ,
                                       "its data overlap another member's (damaged or hostile archive)");
        }
        return start;
    }

    Status decode(size_t position, const Entry& entry, MemberSink& sink) {
        if (entry.method != kMethodStored && entry.method != kMethodDeflated) {
            return m_libzip.read(m_paths.archive, position, entry, sink);
        }
        Result<uint64_t> start = dataStart(entry);
        if (!start.ok()) {
            return start.error();
        }
        return entry.method == kMethodStored ? copyStored(m_fd, m_paths.archive, *start, entry, sink)
                                             : inflateData(m_fd, m_paths.archive, *start, entry, sink);
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
        MemberSink sink(file.get(), entry.size, shownPath);
        Status status = decode(position, entry, sink);
        if (status.ok()) {
            status = sink.finish(entry.crc);
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

    const ArchivePaths& m_paths;
    int m_fd;
    const ArchiveIndex& m_index;
    Problems& m_problems;
    std::vector<bool> m_overlaps;
    std::vector<uint64_t> m_offsets;
    LibzipReader m_libzip;
    FileHandle m_folder;
    std::vector<std::string> m_folderParts;
};

} // namespace

std::vector<std::vector<size_t>> lookUpMembers(const ArchiveIndex& index,
                                               const std::vector<std::string>& names) {
    std::unordered_map<std::string, std::vector<size_t>> byKey;
    byKey.reserve(index.entries.size());
    for (size_t i = 0; i < index.entries.size(); ++i) {
        byKey[matchKey(listedName(index.entries[i].name))].push_back(i);
    }
    std::vector<std::vector<size_t>> found;
    found.reserve(names.size());
    for (const std::string& name : names) {
        const auto hit = byKey.find(matchKey(name));
        found.push_back(hit == byKey.end() ? std::vector<size_t>() : hit->second);
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
    Extractor extractor(paths, archiveFd, index, problems);
    const std::vector<std::vector<size_t>> found = lookUpMembers(index, request.names);
    for (size_t k = 0; k < request.names.size(); ++k) {
        if (found[k].empty()) {
            problems.push_back(request.names[k] + ": no such member in the archive");
        } else if (found[k].size() > 1) {
            problems.push_back(request.names[k] + ": not extracted: the archive holds " +
                               std::to_string(found[k].size()) + " members listed under this name");
        } else {
            extractor.extract(found[k].front(), destination->get(), request.keepFolders);
        }
    }
}

} // namespace pkzip
