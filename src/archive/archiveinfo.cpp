#include "archiveinfo.h"

#include "archiveengine.h"
#include "archivelisting.h"
#include "fileservices.h"
#include "formats.h"
#include "hostfile.h"
#include "messages.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace archive {

namespace {

constexpr char kInfoTitle[] = "PKZIP25.EXE archive information";

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::int64_t numberOf(const std::string& text) {
    return readDecimal(text);
}

std::string bytesText(const std::string& number) {
    return FormatSizeText(numberOf(number)) + " bytes";
}

// "1 file", "2,000 files".
std::string counted(std::int64_t count, const char* one, const char* many) {
    return FormatSizeText(count) + " " + (count == 1 ? one : many);
}

// A comment as a text shows it: line breaks as "\n", whichever system wrote them.
std::string shownComment(std::string comment) {
    size_t at = 0;
    while ((at = comment.find("\r\n", at)) != std::string::npos) {
        comment.erase(at, 1);
    }
    return comment;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

// "Read-only, Hidden" from the MS-DOS attribute bits; "None" without any.
std::string attributeNames(unsigned bits) {
    const struct {
        unsigned bit;
        const char* name;
    } names[] = {
        {0x01, "Read-only"}, {0x02, "Hidden"}, {0x04, "System"}, {0x10, "Folder"}, {0x20, "Archive"}};
    std::string text;
    for (const auto& name : names) {
        if ((bits & name.bit) != 0) {
            text += text.empty() ? "" : ", ";
            text += name.name;
        }
    }
    return text.empty() ? "None" : text;
}

// "-rw-r--r-- (100644)" from the octal mode the archiver writes.
std::string unixModeText(const std::string& octal) {
    const unsigned long mode = std::strtoul(octal.c_str(), nullptr, 8);
    char type = '-';
    switch (mode & 0170000) {
    case 0040000:
        type = 'd';
        break;
    case 0120000:
        type = 'l';
        break;
    case 0020000:
        type = 'c';
        break;
    case 0060000:
        type = 'b';
        break;
    case 0010000:
        type = 'p';
        break;
    case 0140000:
        type = 's';
        break;
    default:
        break;
    }
    std::string text(1, type);
    const char* letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i) {
        text += (mode & (0400u >> i)) != 0 ? letters[i] : '-';
    }
    if ((mode & 04000) != 0) {
        text[3] = (mode & 0100) != 0 ? 's' : 'S';
    }
    if ((mode & 02000) != 0) {
        text[6] = (mode & 0010) != 0 ? 's' : 'S';
    }
    if ((mode & 01000) != 0) {
        text[9] = (mode & 0001) != 0 ? 't' : 'T';
    }
    return text + " (" + octal + ")";
}

std::string ratioText(std::int64_t size, std::int64_t packed) {
    if (size <= 0) {
        return "0.0%";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%",
                  (1.0 - static_cast<double>(packed) / static_cast<double>(size)) * 100.0);
    return text;
}

} // namespace

std::string InfoSection::value(std::string_view key) const {
    for (const auto& [name, text] : fields) {
        if (name == key) {
            return text;
        }
    }
    return {};
}

bool InfoSection::has(std::string_view key) const {
    return std::any_of(fields.begin(), fields.end(), [key](const auto& field) { return field.first == key; });
}

std::string unescapeInfoValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[++i];
        switch (next) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'x':
            if (i + 2 < value.size() && std::isxdigit(static_cast<unsigned char>(value[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(value[i + 2]))) {
                out += static_cast<char>(std::stoi(std::string(value.substr(i + 1, 2)), nullptr, 16));
                i += 2;
            } else {
                out += "\\x";
            }
            break;
        default:
            out += next; // "\\" and anything else escaped stand for themselves
        }
    }
    return out;
}

std::optional<ArchiveInfo> parseArchiveInfo(std::string_view text) {
    ArchiveInfo info;
    InfoSection* section = nullptr;
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (first) {
            if (line != kInfoTitle) {
                return std::nullopt;
            }
            first = false;
            section = &info.archive;
            continue;
        }
        const size_t colon = line.find(": ");
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string key(line.substr(0, colon));
        if (key == "member") {
            info.members.emplace_back();
            section = &info.members.back();
        }
        section->fields.emplace_back(key, unescapeInfoValue(line.substr(colon + 2)));
    }
    if (first) {
        return std::nullopt;
    }
    return info;
}

std::string infoCommandLine(const JobFiles& files, const std::string& archivePath, bool withList) {
    return quoted(files.archiver) + " -info " + quoted(archivePath) +
           (withList ? " @" + quoted(files.list) : "") + ">" + quoted(files.listing);
}

std::string commentCommandLine(const JobFiles& files, const std::string& archivePath,
                               const std::string& commentFile) {
    return quoted(files.archiver) + " -comment " + quoted(archivePath) + " @" + quoted(commentFile);
}

std::string commentFileOf(const JobFiles& files) {
    return files.jobDir + "temp.cmt";
}

std::string formatMoment(std::int64_t utcSeconds) {
    const auto seconds = static_cast<std::time_t>(utcSeconds);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return std::to_string(utcSeconds);
    }
    char text[96];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z (%Z)", &local);
    return text;
}

Properties archiveProperties(const InfoSection& section, const std::string& archivePath, size_t folderCount) {
    Properties properties;
    properties.kind = Properties::Kind::Archive;
    const size_t cut = archivePath.rfind('\\');
    properties.title =
        "Properties of " + (cut == std::string::npos ? archivePath : archivePath.substr(cut + 1));
    const std::int64_t size = numberOf(section.value("size"));
    const std::int64_t packed = numberOf(section.value("packed-size"));
    // The tree shows the folders that member names imply, stored as members or not.
    const std::int64_t folders =
        std::max<std::int64_t>(numberOf(section.value("folders")), static_cast<std::int64_t>(folderCount));
    const std::int64_t encrypted = numberOf(section.value("encrypted"));
    const std::int64_t members = numberOf(section.value("members"));
    std::vector<PropertyLine>& lines = properties.lines;
    lines.push_back({"Path", archivePath});
    lines.push_back({"File size", bytesText(section.value("file-size"))});
    lines.push_back({"Members", counted(numberOf(section.value("files")), "file", "files") + ", " +
                                    counted(folders, "folder", "folders")});
    lines.push_back({"Total size", FormatSizeText(size) + " bytes"});
    lines.push_back({"Packed size", FormatSizeText(packed) + " bytes"});
    lines.push_back({"Ratio", ratioText(size, packed) + " saved"});
    lines.push_back(
        {"Newest member", section.has("newest") ? formatMoment(numberOf(section.value("newest"))) : "-"});
    lines.push_back({"ZIP64", section.value("zip64") == "yes" ? "Yes" : "No"});
    lines.push_back({"Encryption", encrypted == 0
                                       ? "None"
                                       : FormatSizeText(encrypted) + " of " + FormatSizeText(members) +
                                             " members (" + section.value("encryption") + ")"});
    const std::string methods = section.value("methods");
    lines.push_back({"Methods", methods.empty() ? "-" : methods});
    properties.hasComment = true;
    properties.comment = shownComment(section.value("comment"));
    return properties;
}

Properties memberProperties(const InfoSection& section) {
    Properties properties;
    properties.kind = Properties::Kind::Member;
    const std::string name = section.value("member");
    const size_t cut = name.rfind('/', name.size() > 1 ? name.size() - 2 : 0);
    properties.title = "Properties of " + (cut == std::string::npos ? name : name.substr(cut + 1));
    std::vector<PropertyLine>& lines = properties.lines;
    lines.push_back({"Name", name});
    if (section.has("error")) {
        lines.push_back({"Error", section.value("error")});
        return properties;
    }
    const std::int64_t size = numberOf(section.value("size"));
    const std::int64_t packed = numberOf(section.value("packed-size"));
    lines.push_back({"Size", FormatSizeText(size) + " bytes"});
    lines.push_back({"Packed size", FormatSizeText(packed) + " bytes"});
    lines.push_back({"Ratio", trimmed(section.value("ratio")) + " saved"});
    lines.push_back({"Method", section.value("method")});
    lines.push_back({"CRC-32", section.value("crc")});
    const bool moment = section.has("modified");
    // The MS-DOS fields hold the maker's local time, to two seconds, and no zone.
    lines.push_back({"Modified", moment ? formatMoment(numberOf(section.value("modified")))
                                        : section.value("dos-time") + " (no time zone stored)"});
    lines.push_back({"Attributes", attributeNames(static_cast<unsigned>(
                                       std::strtoul(section.value("attributes").c_str(), nullptr, 16)))});
    lines.push_back({"Unix mode", section.has("unix-mode") ? unixModeText(section.value("unix-mode")) : "-"});
    const std::string encryption = section.value("encryption");
    lines.push_back({"Encryption", encryption == "none" ? "None" : encryption});
    lines.push_back({"Made by", section.value("made-by")});
    properties.hasComment = true;
    properties.comment = shownComment(section.value("comment"));
    return properties;
}

Properties folderProperties(const std::vector<ArchiveEntry>& entries, const ArchiveFolderList& folders,
                            const std::string& folder) {
    Properties properties;
    properties.kind = Properties::Kind::Folder;
    const size_t cut = folder.rfind('/');
    properties.title = "Properties of " + (cut == std::string::npos ? folder : folder.substr(cut + 1));
    const std::string prefix = folder + "/";
    std::int64_t files = 0;
    std::int64_t size = 0;
    std::int64_t packed = 0;
    std::optional<std::int64_t> newest;
    for (const ArchiveEntry& entry : entries) {
        if (entry.folder == folder || (entry.folder + "/").compare(0, prefix.size(), prefix) == 0) {
            ++files;
            size += entry.size;
            packed += std::max<std::int64_t>(entry.packedSize, 0);
            newest = newest ? std::max(*newest, entry.time) : entry.time;
        }
    }
    std::int64_t subFolders = 0;
    for (const std::string& path : folders.folders()) {
        subFolders += path.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    }
    std::vector<PropertyLine>& lines = properties.lines;
    lines.push_back({"Name", folder + "/"});
    lines.push_back(
        {"Contains", counted(files, "file", "files") + ", " + counted(subFolders, "folder", "folders")});
    lines.push_back({"Total size", FormatSizeText(size) + " bytes"});
    lines.push_back({"Packed size", FormatSizeText(packed) + " bytes"});
    lines.push_back({"Ratio", ratioText(size, packed) + " saved"});
    lines.push_back({"Newest member", newest ? FormatDateText(*newest) : "-"});
    return properties;
}

std::string propertiesText(const Properties& properties) {
    std::string text = properties.title + "\n";
    for (const PropertyLine& line : properties.lines) {
        text += line.label + ": " + line.value + "\n";
    }
    if (properties.hasComment) {
        text += "Comment:\n" + properties.comment;
        if (!properties.comment.empty() && properties.comment.back() != '\n') {
            text += "\n";
        }
    }
    return text;
}

std::optional<ArchiveInfo> ArchiveInspector::readInfo(const std::vector<std::string>& memberPaths) {
    ArchiveWindow& window = m_engine.window();
    if (m_engine.state().closing || ToolJob::isRunning()) {
        return std::nullopt;
    }
    WaitCursor wait(window);
    window.setStatusText(res::kReadingPropertiesStatus);
    PumpPendingMessages(window);
    const JobFiles& files = m_engine.jobFiles();
    ToolJob job(files, window, m_engine.drives());
    const bool withList = !memberPaths.empty();
    bool ran = job.writeScript(infoCommandLine(files, m_engine.state().archivePath, withList)) &&
               (!withList || job.writeListFile(memberPaths));
    if (ran) {
        job.deleteMarker();
        ran = job.launchAndWait();
    }
    std::optional<ArchiveInfo> info;
    if (ran) {
        platform::Result<std::string> host = m_engine.drives().toHost(files.listing);
        platform::Result<std::string> text =
            host.ok() ? platform::readWholeFile(*host) : platform::Result<std::string>(host.error());
        if (text.ok()) {
            info = parseArchiveInfo(*text);
        }
        const std::string problems = m_engine.archiverErrors();
        if (!info) {
            window.showMessage(std::string(res::kPropertiesFailed) + "\n" +
                                   (problems.empty() ? std::string(res::kArchiverSaidNothing) : problems),
                               res::kPropertiesCaption, MessageIcon::Stop, MessageButtons::Ok);
        }
    }
    DeleteJobFiles(files, m_engine.drives());
    window.setStatusText(res::kReadyStatus);
    return info;
}

bool ArchiveInspector::replaceComment(const std::string& comment) {
    ArchiveWindow& window = m_engine.window();
    if (m_engine.state().closing || ToolJob::isRunning()) {
        return false;
    }
    WaitCursor wait(window);
    window.setStatusText(res::kSavingCommentStatus);
    PumpPendingMessages(window);
    const JobFiles& files = m_engine.jobFiles();
    const platform::DriveMap& drives = m_engine.drives();
    const std::string commentFile = commentFileOf(files);
    platform::Result<std::string> host = drives.toHost(commentFile);
    platform::Status written =
        host.ok() ? platform::writeWholeFile(*host, comment) : platform::Status(host.error());
    if (!written.ok()) {
        window.showMessage(res::kJobFileError, res::kApplicationTitle, MessageIcon::Stop, MessageButtons::Ok);
        window.setStatusText(res::kReadyStatus);
        return false;
    }
    ToolJob job(files, window, drives);
    bool ran = job.writeScript(commentCommandLine(files, m_engine.state().archivePath, commentFile));
    if (ran) {
        job.deleteMarker();
        ran = job.launchAndWait();
    }
    const std::string problems = ran ? m_engine.archiverErrors() : std::string();
    (void)platform::deleteFile(drives, commentFile);
    if (ran && !problems.empty()) {
        window.showMessage(std::string(res::kCommentFailed) + "\n" + problems, res::kCommentFailedCaption,
                           MessageIcon::Stop, MessageButtons::Ok);
    }
    // Whatever happened, the views show the archive as it is now.
    m_engine.ListArchive();
    return ran && problems.empty();
}

} // namespace archive
