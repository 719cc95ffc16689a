#pragma once

#include "archivestate.h"
#include "listrules.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace views {

// What the find bar looks for. A text with "*" (any run of characters) or "?" (any one
// character) is a wildcard pattern that must match a whole name ("*.json"); any other text finds
// the names that contain it ("config"). A text with "/" is matched against a member's path inside
// the archive ("docs/*.txt") instead of its name. Letters are compared without regard to case
// unless matchCase is set (ASCII and the accented Latin letters).
class NamePattern {
public:
    NamePattern(std::string_view text, bool matchCase);

    bool isEmpty() const { return m_pattern.empty(); }
    bool matchesPaths() const { return m_paths; }
    bool matchesCase() const { return m_matchCase; }
    // Whether name (a member's name, or its path when matchesPaths()) is found.
    bool matches(std::string_view name) const;
    // The same for a name whose letters are folded already, when case does not matter.
    bool matchesFolded(std::string_view name) const;

private:
    std::string m_pattern; // folded when case does not matter
    bool m_matchCase = false;
    bool m_wildcards = false;
    bool m_paths = false;
    mutable std::string m_scratch;
};

// The members' names with their letters folded as a search that ignores case folds them, made
// at the first such search of a listing and kept while the listing stands, so that each search
// of a million members only compares.
class FoldedNames {
public:
    void update(const archive::ArchiveState& state);
    std::string_view nameAt(size_t i) const;

private:
    bool m_made = false;
    std::uint64_t m_listing = 0;
    std::string m_text;         // every name, folded, one after another
    std::vector<size_t> m_ends; // where each entry's name ends in m_text
};

// The find results: the members of the whole archive whose names match (their places in the
// listing, in stored order), then records of the folders whose own names match (from the folder
// list, so folders that only member paths imply are found too). Each record's folder is the
// folder it lies in, so a row says where it is; an encrypted member, and a folder that holds one,
// are marked as in the folder's own rows.
struct FoundRecords {
    std::vector<RecordIndex> members;
    std::vector<ListRecord> folders;
};
FoundRecords findRecords(const archive::ArchiveState& state, const NamePattern& pattern, FoldedNames& folded);

// The "Folder" column of a find result: where the row lies, "/" for the archive's top level.
std::string folderColumnText(const ListRecord& record);

// The path inside the archive of a find result's row: its folder, "/" and its name.
std::string resultPath(const ListRecord& record);

} // namespace views
