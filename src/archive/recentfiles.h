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
    // Writes the entries as File1 to File4, empty strings for unused slots.
    platform::Status save(platform::Registry& registry) const;

    // Puts path first; an entry naming the same file (ignoring ASCII case, as Windows paths do)
    // moves up instead of appearing twice; the oldest falls off past four.
    void add(const std::string& path);
    const std::vector<std::string>& entries() const { return m_entries; }

private:
    std::vector<std::string> m_entries;
};

} // namespace archive
