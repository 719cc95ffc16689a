#pragma once

#include "result.h"

#include <cstdint>
#include <ctime>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <utility>
#include <vector>

struct stat;

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

// The keys of a store with their values, in the order a person reads them in the file; a key
// and a value are found by name in constant time, without regard to ASCII case.
class RegistryStore {
public:
    struct Key {
        std::string path; // full path, root included, as first written
        std::vector<std::pair<std::string, RegistryValue>> values;
        std::unordered_map<std::string, size_t> byName; // folded name -> position in values
    };

    const Key* findKey(std::string_view path) const;
    // The key at path; a missing one is added after the others. Keys never move once added.
    Key& key(std::string_view path);
    static const RegistryValue* findValue(const Key& key, std::string_view name);
    // Replaces the value in its place, or adds it after the key's other values.
    static void putValue(Key& key, std::string_view name, RegistryValue value);
    const std::deque<Key>& keys() const { return m_keys; }

private:
    std::deque<Key> m_keys;
    std::unordered_map<std::string, size_t> m_byPath; // folded path -> position in m_keys
};

// The registry stand-in: keys under HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and
// HKEY_CLASSES_ROOT holding 32-bit numbers and strings. Kept as one text file in the ".reg"
// export format (readable and editable by a person) in the user's configuration folder.
//
// The file is read once and kept in memory; it is read again only when it has changed on disk
// (another program, or a person, wrote it). Every change is a read-modify-write of that one
// change under a lock, written at once and atomically: two programs sharing the store never lose
// each other's values, and a crash never leaves half a file. Key and value names are compared
// without regard to ASCII case, as Windows does.
class Registry {
public:
    explicit Registry(std::string filePath = defaultFilePath());
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

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

    // Several changes as one: while a batch lives the store stays locked, as read at its start,
    // and the changes made through the registry meanwhile are written together by commit().
    // Another program's values are kept, and nothing it writes can come in between.
    class Batch {
    public:
        explicit Batch(Registry& registry);
        ~Batch(); // changes not committed are dropped
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        Status commit();

    private:
        Registry& m_registry;
        bool m_done = false;
    };

    // The whole store as ".reg" text, and back.
    static Result<RegistryStore> parse(std::string_view text);
    static std::string format(const RegistryStore& store);

private:
    // What identifies one version of the file on disk.
    struct FileStamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
        bool operator==(const FileStamp& other) const;
    };
    struct Cache {
        FileStamp stamp;
        std::string text; // the bytes the store was read from, or last written as
        RegistryStore store;
    };

    static FileStamp stampOf(bool exists, const struct stat& info);
    // The store as the file holds it now: the kept copy unless the file has changed.
    Result<const RegistryStore*> current() const;
    // Under the lock: the store as the file holds it, compared byte for byte with the kept copy.
    Status reload();
    Status beginChange();
    Status endChange(bool write);
    Status write();
    Status setValue(const RegistryKey& key, std::string_view name, RegistryValue value);

    std::string m_filePath;
    mutable std::optional<Cache> m_cache;
    int m_lockFd = -1;
    int m_batchDepth = 0;
    bool m_dirty = false;
    Status m_batchStatus;
};

std::string registryRootName(RegistryRoot root);

} // namespace platform
