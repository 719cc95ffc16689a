#include "recentfiles.h"

#include "asciitext.h"

#include <algorithm>

namespace archive {

namespace {

constexpr size_t kPathBuffer = 4096;

std::string valueName(size_t index) {
    return "File" + std::to_string(index + 1);
}

std::vector<std::string> readEntries(const platform::Registry& registry) {
    std::vector<std::string> entries;
    platform::Result<platform::RegistryKey> key =
        registry.openKey(platform::RegistryRoot::CurrentUser, RecentFileList::kKey);
    if (!key.ok()) {
        return entries;
    }
    for (size_t i = 0; i < RecentFileList::kSize; ++i) {
        platform::Result<platform::RegistryValue> value =
            registry.queryValue(*key, valueName(i), kPathBuffer);
        if (value.ok() && value->type == platform::RegistryType::String && !value->text.empty()) {
            entries.push_back(value->text);
        }
    }
    return entries;
}

} // namespace

void RecentFileList::load(const platform::Registry& registry) {
    m_entries = readEntries(registry);
    m_added.clear();
}

platform::Status RecentFileList::save(platform::Registry& registry) {
    if (m_added.empty()) {
        return platform::Status::success();
    }
    platform::Registry::Batch batch(registry);
    platform::Result<platform::RegistryKey> key =
        registry.createKey(platform::RegistryRoot::CurrentUser, kKey);
    if (!key.ok()) {
        return key.error();
    }
    std::vector<std::string> entries = readEntries(registry);
    for (const std::string& path : m_added) {
        putFirst(entries, path);
    }
    for (size_t i = 0; i < kSize; ++i) {
        // An emptied slot is written empty: the store has no value deletion, and an empty
        // entry is skipped when the list is read.
        const std::string text = i < entries.size() ? entries[i] : std::string();
        if (platform::Status written = registry.setString(*key, valueName(i), text); !written.ok()) {
            return written;
        }
    }
    if (platform::Status closed = registry.closeKey(*key); !closed.ok()) {
        return closed;
    }
    if (platform::Status committed = batch.commit(); !committed.ok()) {
        return committed;
    }
    m_entries = std::move(entries);
    m_added.clear();
    return platform::Status::success();
}

void RecentFileList::putFirst(std::vector<std::string>& entries, const std::string& path) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&path](const std::string& entry) {
                                     return platform::equalsIgnoringAsciiCase(entry, path);
                                 }),
                  entries.end());
    entries.insert(entries.begin(), path);
    if (entries.size() > kSize) {
        entries.resize(kSize);
    }
}

void RecentFileList::add(const std::string& path) {
    putFirst(m_entries, path);
    m_added.push_back(path);
}

} // namespace archive
