#include "findrules.h"

#include "fileservices.h"

namespace views {

namespace {

constexpr unsigned char kLatin1Lead = 0xC3;

// Appends text with lower-case letters for upper-case ones: ASCII, and in UTF-8 the Latin-1
// capitals U+00C0 to U+00DE except the multiplication sign, whose small letters lie 0x20 above
// them.
void foldAppend(std::string& out, std::string_view text) {
    size_t i = out.size();
    out.append(text);
    for (; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 0x20);
        } else if (c == kLatin1Lead && i + 1 < out.size()) {
            const auto next = static_cast<unsigned char>(out[i + 1]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97) {
                out[i + 1] = static_cast<char>(next + 0x20);
            }
            ++i;
        }
    }
}

void foldInto(std::string& out, std::string_view text) {
    out.clear();
    foldAppend(out, text);
}

// The position after the UTF-8 character that starts at at.
size_t nextCharacter(std::string_view text, size_t at) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
        ++at;
    }
    return at;
}

// "*" any run of characters, "?" one character, everything else itself; the whole name must
// match. A "*" that fails to match goes back to the last "*" and lets it take one more character.
bool wildcardMatch(std::string_view pattern, std::string_view name) {
    size_t p = 0;
    size_t n = 0;
    size_t starAt = std::string_view::npos;
    size_t starTook = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            starTook = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n = nextCharacter(name, n);
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            starTook = nextCharacter(name, starTook);
            n = starTook;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

} // namespace

NamePattern::NamePattern(std::string_view text, bool matchCase)
    : m_matchCase(matchCase), m_wildcards(text.find_first_of("*?") != std::string_view::npos),
      m_paths(text.find('/') != std::string_view::npos) {
    if (matchCase) {
        m_pattern.assign(text);
    } else {
        foldInto(m_pattern, text);
    }
    // A pattern names a path inside the archive, which has no leading "/".
    while (m_paths && !m_pattern.empty() && m_pattern.front() == '/') {
        m_pattern.erase(0, 1);
    }
}

void FoldedNames::update(const archive::ArchiveState& state) {
    if (m_made && m_listing == state.listingNumber && m_ends.size() == state.entries.size()) {
        return;
    }
    m_text.clear();
    m_ends.clear();
    m_ends.reserve(state.entries.size());
    for (const archive::ArchiveEntry& entry : state.entries) {
        foldAppend(m_text, entry.name);
        m_ends.push_back(m_text.size());
    }
    m_listing = state.listingNumber;
    m_made = true;
}

std::string_view FoldedNames::nameAt(size_t i) const {
    const size_t start = i == 0 ? 0 : m_ends[i - 1];
    return std::string_view(m_text).substr(start, m_ends[i] - start);
}

bool NamePattern::matchesFolded(std::string_view name) const {
    return m_wildcards ? wildcardMatch(m_pattern, name) : name.find(m_pattern) != std::string_view::npos;
}

bool NamePattern::matches(std::string_view name) const {
    if (m_pattern.empty()) {
        return false;
    }
    if (m_matchCase) {
        return matchesFolded(name);
    }
    foldInto(m_scratch, name);
    return matchesFolded(m_scratch);
}

FoundRecords findRecords(const archive::ArchiveState& state, const NamePattern& pattern,
                         FoldedNames& folded) {
    FoundRecords found;
    if (pattern.isEmpty()) {
        return found;
    }
    // Room for every member, of which a search that finds few touches only a little.
    std::vector<RecordIndex>& members = found.members;
    members.reserve(state.entries.size());
    if (pattern.matchesPaths() && !pattern.matchesCase()) {
        // The folded name behind the folded folder, which is folded again only where the folder
        // changes (members of a folder mostly follow each other).
        folded.update(state);
        std::string path;
        const std::string* folder = nullptr;
        for (size_t i = 0; i < state.entries.size(); ++i) {
            const archive::ArchiveEntry& entry = state.entries[i];
            if (folder == nullptr || *folder != entry.folder) {
                folder = &entry.folder;
                foldInto(path, entry.folder);
                if (!path.empty()) {
                    path += '/';
                }
            }
            const size_t folderEnd = folder->empty() ? 0 : folder->size() + 1;
            path.resize(folderEnd);
            path += folded.nameAt(i);
            if (pattern.matchesFolded(path)) {
                members.push_back(static_cast<RecordIndex>(i));
            }
        }
    } else if (pattern.matchesPaths()) {
        std::string path;
        for (size_t i = 0; i < state.entries.size(); ++i) {
            const archive::ArchiveEntry& entry = state.entries[i];
            path.assign(entry.folder);
            if (!path.empty()) {
                path += '/';
            }
            path += entry.name;
            if (pattern.matches(path)) {
                members.push_back(static_cast<RecordIndex>(i));
            }
        }
    } else if (pattern.matchesCase()) {
        for (size_t i = 0; i < state.entries.size(); ++i) {
            if (pattern.matches(state.entries[i].name)) {
                members.push_back(static_cast<RecordIndex>(i));
            }
        }
    } else {
        folded.update(state);
        for (size_t i = 0; i < state.entries.size(); ++i) {
            if (pattern.matchesFolded(folded.nameAt(i))) {
                members.push_back(static_cast<RecordIndex>(i));
            }
        }
    }
    std::vector<size_t> folders;
    const std::vector<std::string>& folderPaths = state.folders.folders();
    for (size_t i = 0; i < folderPaths.size(); ++i) {
        const std::string& folder = folderPaths[i];
        const size_t cut = folder.rfind('/');
        const std::string_view name =
            cut == std::string::npos ? std::string_view(folder) : std::string_view(folder).substr(cut + 1);
        if (!name.empty() && pattern.matches(pattern.matchesPaths() ? std::string_view(folder) : name)) {
            folders.push_back(i);
        }
    }
    found.folders.reserve(folders.size());
    for (const size_t i : folders) {
        const std::string& folder = folderPaths[i];
        const size_t cut = folder.rfind('/');
        ListRecord& record = found.folders.emplace_back();
        record.name = cut == std::string::npos ? folder : folder.substr(cut + 1);
        record.folder = cut == std::string::npos ? std::string() : folder.substr(0, cut);
        record.attributes = platform::kAttrDirectory;
        record.encrypted = state.encryptedFolders.count(folder) != 0;
    }
    return found;
}

std::string folderColumnText(const ListRecord& record) {
    return record.folder.empty() ? "/" : record.folder;
}

std::string resultPath(const ListRecord& record) {
    return record.folder.empty() ? record.name : record.folder + "/" + record.name;
}

} // namespace views
