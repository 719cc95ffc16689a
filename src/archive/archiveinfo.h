#pragma once

#include "archivestate.h"
#include "tooljob.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace archive {

class ArchiveEngine;

// One section of the archiver's information text (docs/info-format.md): its lines in order.
struct InfoSection {
    std::vector<std::pair<std::string, std::string>> fields; // key, unescaped value

    // The value of key; "" when the section has none.
    std::string value(std::string_view key) const;
    bool has(std::string_view key) const;
};

// What "PKZIP25.EXE -info" said of an archive and of the members its list named.
struct ArchiveInfo {
    InfoSection archive;
    std::vector<InfoSection> members;
};

// Undoes the archiver's escapes: "\\", "\n", "\r", "\t" and "\xHH".
std::string unescapeInfoValue(std::string_view value);
// The information text read; nothing when the text is not one (its first line is not the title).
std::optional<ArchiveInfo> parseArchiveInfo(std::string_view text);

// The command lines of the information and comment jobs.
std::string infoCommandLine(const JobFiles& files, const std::string& archivePath, bool withList);
std::string commentCommandLine(const JobFiles& files, const std::string& archivePath,
                               const std::string& commentFile);
// The job file that carries a new archive comment to the archiver.
std::string commentFileOf(const JobFiles& files);

// What the Properties window shows: a title, labelled values, and a comment.
struct PropertyLine {
    std::string label;
    std::string value;
};
struct Properties {
    enum class Kind { Archive, Member, Folder };
    Kind kind = Kind::Archive;
    std::string title;
    std::vector<PropertyLine> lines;
    bool hasComment = false;
    std::string comment;
};

// A moment in local time with its zone: "2024-05-01 14:03:07 +0200 (CEST)".
std::string formatMoment(std::int64_t utcSeconds);

// The open archive's properties; folderCount is the number of folders its tree shows.
Properties archiveProperties(const InfoSection& section, const std::string& archivePath, size_t folderCount);
Properties memberProperties(const InfoSection& section);
// A folder of the archive, from the listing alone: folder is its path inside the archive.
Properties folderProperties(const std::vector<ArchiveEntry>& entries, const ArchiveFolderList& folders,
                            const std::string& folder);
// The window's text as one text: the title, "Label: value" lines, then "Comment:" and the comment.
std::string propertiesText(const Properties& properties);

// Runs the archiver's information and comment jobs for the window: each failure is reported once
// in a message box.
class ArchiveInspector {
public:
    explicit ArchiveInspector(ArchiveEngine& engine) : m_engine(engine) {}

    // The archive's information, with a section for each member path ("docs/a.txt") named.
    std::optional<ArchiveInfo> readInfo(const std::vector<std::string>& memberPaths);
    // Stores a new archive comment and lists the archive again; false when it was not stored.
    bool replaceComment(const std::string& comment);

private:
    ArchiveEngine& m_engine;
};

} // namespace archive
