#include "findrules.h"

#include "fileservices.h"

namespace views {

namespace {

constexpr unsigned char kLatin1Lead = 0xC3;

// Lower-case letters for upper-case ones: ASCII, and in UTF-8 the Latin-1 capitals U+00C0 to
// U+00DE except the multiplication sign, whose small letters lie 0x20 above them.
void foldInto(std::string& out, std::string_view text) {
    out.assign(text);
    for (size_t i = 0; i < out.size(); ++i) {
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

std::string joinedPath(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
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

std::vector<ListRecord> findRecords(const std::vector<archive::ArchiveEntry>& entries,
                                    const archive::ArchiveFolderList& folders, const NamePattern& pattern) {
    std::vector<ListRecord> records;
    if (pattern.isEmpty()) {
        return records;
    }
    const bool paths = pattern.matchesPaths();
    for (const archive::ArchiveEntry& entry : entries) {
        if (!(paths ? pattern.matches(joinedPath(entry.folder, entry.name)) : pattern.matches(entry.name))) {
            continue;
        }
        ListRecord record;
        record.name = entry.name;
        record.folder = entry.folder;
        record.size = entry.size;
        record.packedSize = entry.packedSize;
        record.time = entry.time;
        record.ratioText = entry.ratioText;
        records.push_back(std::move(record));
    }
    for (const std::string& path : folders.folders()) {
        const size_t cut = path.rfind('/');
        const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
        if (name.empty() || !(paths ? pattern.matches(path) : pattern.matches(name))) {
            continue;
        }
        ListRecord record;
        record.name = name;
        record.folder = cut == std::string::npos ? std::string() : path.substr(0, cut);
        record.attributes = platform::kAttrDirectory;
        records.push_back(std::move(record));
    }
    return records;
}

std::string folderColumnText(const ListRecord& record) {
    return record.folder.empty() ? "/" : record.folder;
}

std::string resultPath(const ListRecord& record) {
    return joinedPath(record.folder, record.name);
}

} // namespace views
