#include "recentfiles.h"

#include "asciitext.h"

#include <algorithm>

namespace archive {

namespace {

constexpr size_t kPathBuffer = 4096;

std::string valueName(size_t index) {
    return "File" + std::to_string(index + 1);
}

} // namespace

void RecentFileList::load(const platform::Registry& registry) {
    m_entries.clear();
    platform::Result<platform::RegistryKey> key = registry.openKey(platform::RegistryRoot::CurrentUser, kKey);
    if (!key.ok()) {
        return;
    }
    for (size_t i = 0; i < kSize; ++i) {
        platform::Result<platform::RegistryValue> value =
            registry.queryValue(*key, valueName(i), kPathBuffer);
        if (value.ok() && value->type == platform::RegistryType::String && !value->text.empty()) {
            m_entries.push_back(value->text);
        }
    }
}

platform::Status RecentFileList::save(platform::Registry& registry) const {
    platform::Result<platform::RegistryKey> key =
        registry.createKey(platform::RegistryRoot::CurrentUser, kKey);
    if (!key.ok()) {
        return key.error();
    }
    for (size_t i = 0; i < kSize; ++i) {
        // An emptied slot is written empty: the store has no value deletion, and an empty
        // entry is skipped when the list is read.
        const std::string text = i < m_entries.size() ? m_entries[i] : std::string();
        if (platform::Status written = registry.setString(*key, valueName(i), text); !written.ok()) {
            return written;
        }
    }
    return registry.closeKey(*key);
}

void RecentFileList::add(const std::string& path) {
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [&path](const std::string& entry) {
                                       return platform::equalsIgnoringAsciiCase(entry, path);
                                   }),
                    m_entries.end());
    m_entries.insert(m_entries.begin(), path);
    if (m_entries.size() > kSize) {
        m_entries.resize(kSize);
    }
}

} // namespace archive
