#include "registry.h"

#include "asciitext.h"
#include "hostfile.h"
#include "userdirs.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

std::string fullKeyPath(const RegistryKey& key) {
    std::string path = registryRootName(key.root);
    if (!key.path.empty()) {
        path += '\\';
        path += key.path;
    }
    return path;
}

// "SOFTWARE\\PellixZ\\" and "/SOFTWARE/PellixZ" both name SOFTWARE\PellixZ.
std::string tidyKeyPath(std::string_view path) {
    std::string tidy;
    for (char c : path) {
        const char separator = c == '/' ? '\\' : c;
        if (separator == '\\' && (tidy.empty() || tidy.back() == '\\')) {
            continue;
        }
        tidy += separator;
    }
    while (!tidy.empty() && tidy.back() == '\\') {
        tidy.pop_back();
    }
    return tidy;
}

std::string quote(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        switch (c) {
        case '\\':
            quoted += "\\\\";
            break;
        case '"':
            quoted += "\\\"";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        default:
            quoted += c;
        }
    }
    return quoted + "\"";
}

// Reads a quoted string at text[pos] (which is '"'); pos ends after the closing quote.
bool unquote(std::string_view text, size_t& pos, std::string& out) {
    if (pos >= text.size() || text[pos] != '"') {
        return false;
    }
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= text.size()) {
                return false;
            }
            c = text[pos] == 'n' ? '\n' : text[pos] == 'r' ? '\r' : text[pos];
        }
        out += c;
    }
    return false;
}

Error storeError(size_t line, const std::string& what) {
    return makeError(kRegistryBadStore, "line " + std::to_string(line) + ": " + what);
}

// Names are found by their ASCII lower-case form.
std::string folded(std::string_view name) {
    std::string text(name);
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The file's bytes and what identifies this version of it; a missing file reads as empty.
struct FileRead {
    std::string text;
    struct stat info {};
    bool exists = false;
};

Result<FileRead> readStoreFile(const std::string& path) {
    FileRead read;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return read;
        }
        return errnoError("cannot open " + path);
    }
    read.exists = true;
    if (::fstat(fd, &read.info) != 0) {
        Error error = errnoError("cannot read " + path);
        ::close(fd);
        return error;
    }
    read.text.reserve(static_cast<size_t>(read.info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            Error error = errnoError("cannot read " + path);
            ::close(fd);
            return error;
        }
        if (n == 0) {
            break;
        }
        read.text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return read;
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string registryRootName(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    case RegistryRoot::CurrentUser:
        return "HKEY_CURRENT_USER";
    case RegistryRoot::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    }
    return "HKEY_LOCAL_MACHINE";
}

const RegistryStore::Key* RegistryStore::findKey(std::string_view path) const {
    const auto found = m_byPath.find(folded(path));
    return found == m_byPath.end() ? nullptr : &m_keys[found->second];
}

RegistryStore::Key& RegistryStore::key(std::string_view path) {
    const auto [found, added] = m_byPath.emplace(folded(path), m_keys.size());
    if (added) {
        m_keys.push_back(Key{std::string(path), {}, {}});
    }
    return m_keys[found->second];
}

const RegistryValue* RegistryStore::findValue(const Key& key, std::string_view name) {
    const auto found = key.byName.find(folded(name));
    return found == key.byName.end() ? nullptr : &key.values[found->second].second;
}

void RegistryStore::putValue(Key& key, std::string_view name, RegistryValue value) {
    const auto [found, added] = key.byName.emplace(folded(name), key.values.size());
    if (added) {
        key.values.emplace_back(std::string(name), std::move(value));
    } else {
        key.values[found->second].second = std::move(value);
    }
}

bool Registry::FileStamp::operator==(const FileStamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
           sameTime(modified, other.modified) && sameTime(changed, other.changed);
}

Registry::Registry(std::string filePath) : m_filePath(std::move(filePath)) {}

std::string Registry::defaultFilePath() {
    return configFolder() + "/registry.reg";
}

Result<RegistryStore> Registry::parse(std::string_view text) {
    RegistryStore store;
    RegistryStore::Key* current = nullptr;
    size_t lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.remove_suffix(1);
        }
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        if (line.empty() || line[0] == ';' || line == kHeader) {
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']') {
                return storeError(lineNumber, "unclosed key name");
            }
            current = &store.key(tidyKeyPath(line.substr(1, line.size() - 2)));
            continue;
        }
        if (current == nullptr) {
            return storeError(lineNumber, "a value outside any key");
        }
        std::string name;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!unquote(line, pos, name)) {
            return storeError(lineNumber, "a value name must be quoted");
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
            ++pos;
        }
        if (pos >= line.size() || line[pos] != '=') {
            return storeError(lineNumber, "\"=\" expected after the value name");
        }
        ++pos;
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
            ++pos;
        }
        RegistryValue value;
        const std::string_view rest = line.substr(pos);
        if (rest.substr(0, 6) == "dword:") {
            const std::string digits(rest.substr(6));
            char* stop = nullptr;
            errno = 0;
            const unsigned long number = std::strtoul(digits.c_str(), &stop, 16);
            if (digits.empty() || digits.size() > 8 || *stop != '\0' || errno != 0) {
                return storeError(lineNumber, "bad dword value");
            }
            value.type = RegistryType::Number;
            value.number = static_cast<std::uint32_t>(number);
        } else {
            value.type = RegistryType::String;
            if (!unquote(line, pos, value.text) || pos != line.size()) {
                return storeError(lineNumber, "bad string value");
            }
        }
        RegistryStore::putValue(*current, name, std::move(value));
    }
    return store;
}

std::string Registry::format(const RegistryStore& store) {
    std::string text(kHeader);
    text += "\n";
    for (const RegistryStore::Key& key : store.keys()) {
        text += "\n[" + key.path + "]\n";
        for (const auto& [name, value] : key.values) {
            text += name.empty() ? "@" : quote(name);
            text += '=';
            if (value.type == RegistryType::Number) {
                char digits[16];
                std::snprintf(digits, sizeof digits, "dword:%08x", value.number);
                text += digits;
            } else {
                text += quote(value.text);
            }
            text += '\n';
        }
    }
    return text;
}

Registry::FileStamp Registry::stampOf(bool exists, const struct stat& info) {
    FileStamp stamp;
    stamp.exists = exists;
    if (exists) {
        stamp.device = info.st_dev;
        stamp.inode = info.st_ino;
        stamp.size = info.st_size;
        stamp.modified = info.st_mtim;
        stamp.changed = info.st_ctim;
    }
    return stamp;
}

Registry::~Registry() {
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
    }
}

Result<const RegistryStore*> Registry::current() const {
    if (m_batchDepth > 0) {
        // Locked and read at the batch's start; what the batch changed is in the kept copy.
        if (!m_batchStatus.ok()) {
            return m_batchStatus.error();
        }
        if (m_cache) {
            return &m_cache->store;
        }
    }
    if (m_cache) {
        struct stat info {};
        const bool exists = ::stat(m_filePath.c_str(), &info) == 0;
        if (!exists && errno != ENOENT) {
            return errnoError("cannot read " + m_filePath);
        }
        if (stampOf(exists, info) == m_cache->stamp) {
            return &m_cache->store;
        }
    }
    Result<FileRead> read = readStoreFile(m_filePath);
    if (!read.ok()) {
        return read.error();
    }
    Result<RegistryStore> store = parse(read->text);
    if (!store.ok()) {
        m_cache.reset();
        return makeError(kRegistryBadStore, m_filePath + ": " + store.error().message);
    }
    m_cache = Cache{stampOf(read->exists, read->info), std::move(read->text), std::move(*store)};
    return &m_cache->store;
}

Status Registry::reload() {
    Result<FileRead> read = readStoreFile(m_filePath);
    if (!read.ok()) {
        return read.error();
    }
    if (m_cache && m_cache->text == read->text) {
        // The same bytes as the kept copy: nothing to parse again.
        m_cache->stamp = stampOf(read->exists, read->info);
        return Status::success();
    }
    Result<RegistryStore> store = parse(read->text);
    if (!store.ok()) {
        m_cache.reset();
        return makeError(kRegistryBadStore, m_filePath + ": " + store.error().message);
    }
    m_cache = Cache{stampOf(read->exists, read->info), std::move(read->text), std::move(*store)};
    return Status::success();
}

Status Registry::beginChange() {
    if (m_batchDepth > 0) {
        return m_batchStatus;
    }
    // One lock for every program sharing the store, held from the read to the write.
    m_lockFd = ::open((m_filePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_lockFd >= 0) {
        while (::flock(m_lockFd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    m_dirty = false;
    return reload();
}

Status Registry::write() {
    const std::string text = format(m_cache->store);
    if (Status written = writeFileAtomically(m_filePath, text); !written.ok()) {
        return makeError(kRegistryWriteFailed, written.error().message);
    }
    struct stat info {};
    const bool exists = ::stat(m_filePath.c_str(), &info) == 0;
    m_cache->stamp = stampOf(exists, info);
    m_cache->text = text;
    return Status::success();
}

Status Registry::endChange(bool changed) {
    if (m_batchDepth > 0) {
        m_dirty = m_dirty || changed;
        return Status::success();
    }
    Status status = Status::success();
    if (changed && m_cache) {
        status = write();
        if (!status.ok()) {
            m_cache.reset(); // the kept copy holds a change the file does not
        }
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
    return status;
}

Registry::Batch::Batch(Registry& registry) : m_registry(registry) {
    if (m_registry.m_batchDepth++ > 0) {
        return; // within another batch, which writes everything
    }
    if (Status folder = makeFolders(folderOf(m_registry.m_filePath)); !folder.ok()) {
        m_registry.m_batchStatus = makeError(kRegistryWriteFailed, folder.error().message);
        return;
    }
    --m_registry.m_batchDepth;
    m_registry.m_batchStatus = m_registry.beginChange();
    ++m_registry.m_batchDepth;
}

Status Registry::Batch::commit() {
    if (m_done) {
        return Status::success();
    }
    m_done = true;
    if (--m_registry.m_batchDepth > 0) {
        return Status::success();
    }
    if (!m_registry.m_batchStatus.ok()) {
        Status failed = m_registry.m_batchStatus;
        (void)m_registry.endChange(false);
        return failed;
    }
    return m_registry.endChange(m_registry.m_dirty);
}

Registry::Batch::~Batch() {
    if (m_done) {
        return;
    }
    if (--m_registry.m_batchDepth > 0) {
        return;
    }
    if (m_registry.m_dirty) {
        m_registry.m_cache.reset(); // dropped changes must not be read back
    }
    m_registry.m_dirty = false;
    (void)m_registry.endChange(false);
}

Result<RegistryKey> Registry::openKey(RegistryRoot root, std::string_view path) const {
    RegistryKey key{root, tidyKeyPath(path), true};
    Result<const RegistryStore*> store = current();
    if (!store.ok()) {
        return store.error();
    }
    if ((*store)->findKey(fullKeyPath(key)) == nullptr) {
        return makeError(kRegistryNotFound, "registry key " + fullKeyPath(key) + " does not exist");
    }
    return key;
}

Result<RegistryKey> Registry::createKey(RegistryRoot root, std::string_view path) {
    RegistryKey key{root, tidyKeyPath(path), true};
    if (m_batchDepth == 0) {
        if (Status folder = makeFolders(folderOf(m_filePath)); !folder.ok()) {
            return makeError(kRegistryWriteFailed, folder.error().message);
        }
    }
    if (Status begun = beginChange(); !begun.ok()) {
        (void)endChange(false);
        return begun.error();
    }
    RegistryStore& store = m_cache->store;
    const std::string full = fullKeyPath(key);
    if (store.findKey(full) != nullptr) {
        if (Status ended = endChange(false); !ended.ok()) {
            return ended.error();
        }
        return key;
    }
    // Parent keys come into being with the key, as with RegCreateKey.
    for (size_t cut = full.find('\\'); cut != std::string::npos; cut = full.find('\\', cut + 1)) {
        (void)store.key(full.substr(0, cut));
    }
    (void)store.key(full);
    if (Status ended = endChange(true); !ended.ok()) {
        return ended.error();
    }
    return key;
}

Result<RegistryValue> Registry::queryValue(const RegistryKey& key, std::string_view name,
                                           size_t bufferBytes) const {
    Result<const RegistryStore*> store = current();
    if (!store.ok()) {
        return store.error();
    }
    const RegistryStore::Key* found = (*store)->findKey(fullKeyPath(key));
    if (!key.isOpen || found == nullptr) {
        return makeError(kRegistryNotFound, "registry key " + fullKeyPath(key) + " does not exist");
    }
    const RegistryValue* value = RegistryStore::findValue(*found, name);
    if (value == nullptr) {
        return makeError(kRegistryNotFound, "registry value " + std::string(name) + " does not exist");
    }
    if (value->storedLength() > bufferBytes) {
        return makeError(kRegistryMoreData, "registry value " + std::string(name) + " is longer than " +
                                                std::to_string(bufferBytes) + " bytes");
    }
    return *value;
}

Status Registry::setValue(const RegistryKey& key, std::string_view name, RegistryValue value) {
    if (!key.isOpen) {
        return makeError(kRegistryNotFound, "registry key " + fullKeyPath(key) + " is not open");
    }
    if (Status begun = beginChange(); !begun.ok()) {
        (void)endChange(false);
        return begun;
    }
    // The key as the file holds it now: another program may have deleted it meanwhile.
    const RegistryStore::Key* found = m_cache->store.findKey(fullKeyPath(key));
    if (found == nullptr) {
        (void)endChange(false);
        return makeError(kRegistryNotFound, "registry key " + fullKeyPath(key) + " has been deleted");
    }
    RegistryStore::putValue(m_cache->store.key(fullKeyPath(key)), name, std::move(value));
    return endChange(true);
}

Status Registry::setNumber(const RegistryKey& key, std::string_view name, std::uint32_t number) {
    return setValue(key, name, RegistryValue{RegistryType::Number, number, {}});
}

Status Registry::setString(const RegistryKey& key, std::string_view name, std::string_view text) {
    return setValue(key, name, RegistryValue{RegistryType::String, 0, std::string(text)});
}

Status Registry::closeKey(RegistryKey& key) {
    if (!key.isOpen) {
        return makeError(kRegistryNotFound, "registry key " + fullKeyPath(key) + " is not open");
    }
    key.isOpen = false;
    return Status::success();
}

} // namespace platform
