#include "registry.h"

#include "asciitext.h"
#include "hostfile.h"
#include "userdirs.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
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

// Holds an exclusive lock on the store for one read-modify-write.
class StoreLock {
public:
    explicit StoreLock(const std::string& filePath) {
        m_fd = ::open((filePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~StoreLock() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    int m_fd = -1;
};

Registry::Values::iterator findValue(Registry::Values& values, std::string_view name) {
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (equalsIgnoringAsciiCase(it->first, name)) {
            return it;
        }
    }
    return values.end();
}

void putValue(Registry::Values& values, std::string_view name, RegistryValue value) {
    if (auto found = findValue(values, name); found != values.end()) {
        found->second = std::move(value);
    } else {
        values.emplace_back(std::string(name), std::move(value));
    }
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

bool Registry::Caseless::operator()(const std::string& a, const std::string& b) const {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) {
            return ca < cb;
        }
    }
    return a.size() < b.size();
}

Registry::Registry(std::string filePath) : m_filePath(std::move(filePath)) {}

std::string Registry::defaultFilePath() {
    return configFolder() + "/registry.reg";
}

Result<Registry::Keys> Registry::parse(std::string_view text) {
    Keys keys;
    Values* current = nullptr;
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
            current = &keys[tidyKeyPath(line.substr(1, line.size() - 2))];
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
        putValue(*current, name, std::move(value));
    }
    return keys;
}

std::string Registry::format(const Keys& keys) {
    std::string text(kHeader);
    text += "\n";
    for (const auto& [path, values] : keys) {
        text += "\n[" + path + "]\n";
        for (const auto& [name, value] : values) {
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

Result<Registry::Keys> Registry::read() const {
    Result<std::string> text = readWholeFile(m_filePath);
    if (!text.ok()) {
        if (text.error().code == ENOENT) {
            return Keys{};
        }
        return text.error();
    }
    Result<Keys> keys = parse(*text);
    if (!keys.ok()) {
        return makeError(kRegistryBadStore, m_filePath + ": " + keys.error().message);
    }
    return keys;
}

Result<RegistryKey> Registry::openKey(RegistryRoot root, std::string_view path) const {
    RegistryKey key{root, tidyKeyPath(path), true};
    Result<Keys> keys = read();
    if (!keys.ok()) {
        return keys.error();
    }
    if (keys->find(fullKeyPath(key)) == keys->end()) {
        return makeError(kRegistryNotFound, "registry key " + fullKeyPath(key) + " does not exist");
    }
    return key;
}

Result<RegistryKey> Registry::createKey(RegistryRoot root, std::string_view path) {
    RegistryKey key{root, tidyKeyPath(path), true};
    if (Status folder = makeFolders(folderOf(m_filePath)); !folder.ok()) {
        return makeError(kRegistryWriteFailed, folder.error().message);
    }
    StoreLock lock(m_filePath);
    Result<Keys> keys = read();
    if (!keys.ok()) {
        return keys.error();
    }
    const std::string full = fullKeyPath(key);
    if (keys->find(full) != keys->end()) {
        return key;
    }
    // Parent keys come into being with the key, as with RegCreateKey.
    for (size_t cut = full.find('\\'); cut != std::string::npos; cut = full.find('\\', cut + 1)) {
        (*keys)[full.substr(0, cut)];
    }
    (*keys)[full];
    if (Status written = writeFileAtomically(m_filePath, format(*keys)); !written.ok()) {
        return makeError(kRegistryWriteFailed, written.error().message);
    }
    return key;
}

Result<RegistryValue> Registry::queryValue(const RegistryKey& key, std::string_view name,
                                           size_t bufferBytes) const {
    Result<Keys> keys = read();
    if (!keys.ok()) {
        return keys.error();
    }
    const auto found = keys->find(fullKeyPath(key));
    if (!key.isOpen || found == keys->end()) {
        return makeError(kRegistryNotFound, "registry key " + fullKeyPath(key) + " does not exist");
    }
    const auto value = findValue(found->second, name);
    if (value == found->second.end()) {
        return makeError(kRegistryNotFound, "registry value " + std::string(name) + " does not exist");
    }
    if (value->second.storedLength() > bufferBytes) {
        return makeError(kRegistryMoreData, "registry value " + std::string(name) + " is longer than " +
                                                std::to_string(bufferBytes) + " bytes");
    }
    return value->second;
}

Status Registry::setValue(const RegistryKey& key, std::string_view name, RegistryValue value) {
    if (!key.isOpen) {
        return makeError(kRegistryNotFound, "registry key " + fullKeyPath(key) + " is not open");
    }
    StoreLock lock(m_filePath);
    Result<Keys> keys = read();
    if (!keys.ok()) {
        return keys.error();
    }
    const auto found = keys->find(fullKeyPath(key));
    if (found == keys->end()) {
        return makeError(kRegistryNotFound, "registry key " + fullKeyPath(key) + " has been deleted");
    }
    putValue(found->second, name, std::move(value));
    if (Status written = writeFileAtomically(m_filePath, format(*keys)); !written.ok()) {
        return makeError(kRegistryWriteFailed, written.error().message);
    }
    return Status::success();
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
