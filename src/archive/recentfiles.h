#pragma once

#include "registry.h"

#include <string>
#include <vector>

namespace archive {

// The recent-file list of the File menu: up to four archive paths, the newest first, kept under
// HKEY_CURRENT_USER\Software\PellixB\Pellix\Recent File List as File1 to File4.
class RecentFileList {
public:
    static constexpr size_t kSize = 4;
    static constexpr char kKey[] = "Software\\PellixB\\Pellix\\Recent File List";

    // Reads File1 to File4; missing entries are skipped.
    void load(const platform::Registry& registry);
    // Adds the archives added since the list was loaded to the list as the store holds it now,
    // under the store's lock, and writes it as File1 to File4 (empty strings for unused slots):
    // what another running program added meanwhile stays. Writes nothing when nothing was added.
    platform::Status save(platform::Registry& registry);

    // Puts path first; an entry naming the same file (ignoring ASCII case, as Windows paths do)
    // moves up instead of appearing twice; the oldest falls off past four.
    void add(const std::string& path);
    const std::vector<std::string>& entries() const { return m_entries; }

private:
    static void putFirst(std::vector<std::string>& entries, const std::string& path);

    std::vector<std::string> m_entries;
    std::vector<std::string> m_added; // since the list was loaded or saved, oldest first
};

} // namespace archive
