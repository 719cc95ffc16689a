#pragma once

#include "result.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot };

enum class RegistryType { Number, String };

// A typed registry value: a 32-bit number, or a string (stored with its terminating zero byte,
// which its stored length counts).
struct RegistryValue {
    RegistryType type = RegistryType::String;
    std::uint32_t number = 0;
    std::string text;

    // Bytes the value occupies as the registry stores it.
    size_t storedLength() const { return type == RegistryType::Number ? 4 : text.size() + 1; }
};

// An open key: which root, which path below it.
struct RegistryKey {
    RegistryRoot root = RegistryRoot::LocalMachine;
    std::string path;
    bool isOpen = false;
};

// Error codes as the registry functions report them.
inline constexpr int kRegistryNotFound = 2;    // key or value missing
inline constexpr int kRegistryMoreData = 234;  // value longer than the caller's buffer
inline constexpr int kRegistryBadStore = 1009; // the store file cannot be read as a registry
inline constexpr int kRegistryWriteFailed = 1013;

// The registry stand-in: keys under HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and
// HKEY_CLASSES_ROOT holding 32-bit numbers and strings. Kept as one text file in the ".reg"
// export format (readable and editable by a person) in the user's configuration folder. Every
// change is written at once and atomically, under a lock, so two programs sharing the store
// never lose each other's values and a crash never leaves half a file. Key and value names are
// compared without regard to ASCII case, as Windows does.
class Registry {
public:
    explicit Registry(std::string filePath = defaultFilePath());

    static std::string defaultFilePath();
    const std::string& filePath() const { return m_filePath; }

    // Opens an existing key; fails with kRegistryNotFound when it does not exist.
    Result<RegistryKey> openKey(RegistryRoot root, std::string_view path) const;
    // Opens a key, creating it and any missing parent keys.
    Result<RegistryKey> createKey(RegistryRoot root, std::string_view path);
    // Reads a value; "" names the key's default value. Fails with kRegistryNotFound when the
    // value is missing and with kRegistryMoreData when its stored length exceeds bufferBytes.
    Result<RegistryValue> queryValue(const RegistryKey& key, std::string_view name, size_t bufferBytes) const;
    Status setNumber(const RegistryKey& key, std::string_view name, std::uint32_t number);
    Status setString(const RegistryKey& key, std::string_view name, std::string_view text);
    Status closeKey(RegistryKey& key);

    // The whole store as ".reg" text, and back.
    struct Caseless {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    // Values keep the order they were first written in, which is the order a person reads them.
    using Values = std::vector<std::pair<std::string, RegistryValue>>;
    using Keys = std::map<std::string, Values, Caseless>; // full key path, root included
    static Result<Keys> parse(std::string_view text);
    static std::string format(const Keys& keys);

private:
    Result<Keys> read() const;
    Status setValue(const RegistryKey& key, std::string_view name, RegistryValue value);

    std::string m_filePath;
};

std::string registryRootName(RegistryRoot root);

} // namespace platform
