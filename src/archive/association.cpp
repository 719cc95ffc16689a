#include "association.h"

#include "hostfile.h"
#include "programicon.h"
#include "userdirs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

namespace archive {

namespace {

constexpr char kCommandKey[] = ".ZIP\\Shell\\Open\\Command";
constexpr char kZipKey[] = ".ZIP";
constexpr char kDefaultsSection[] = "[Default Applications]";
constexpr size_t kValueBuffer = 255;

std::string dataHome() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
        return data;
    }
    return platform::homeFolder() + "/.local/share";
}

std::string configHome() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') {
        return config;
    }
    return platform::homeFolder() + "/.config";
}

std::string folderOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::string trimmed(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    const size_t end = text.find_last_not_of(" \t");
    return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

std::string desktopEntryText(const std::string& execProgram) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Pellix\n"
           "GenericName=Archive Manager\n"
           "Comment=Open, create and change ZIP archives\n"
           "Exec=" +
           execProgram +
           " %f\n"
           "Icon=pellix\n"
           "Terminal=false\n"
           "Categories=Utility;Archiving;Compression;\n"
           "MimeType=application/zip;\n";
}

// What the entry's Exec names: the program itself, or the link to it when the program's path
// would need quoting and the link's would not.
std::string execTarget(const std::string& programHostPath, const DesktopPlaces& places) {
    const bool viaLink = (needsExecEscaping(programHostPath) || !canNameInExec(programHostPath)) &&
                         !places.programLink.empty() && !needsExecEscaping(places.programLink) &&
                         canNameInExec(places.programLink);
    return viaLink ? places.programLink : programHostPath;
}

bool linkMatches(const std::string& programHostPath, const DesktopPlaces& places) {
    if (execTarget(programHostPath, places) != places.programLink) {
        return true;
    }
    platform::Result<std::string> target = platform::readLink(places.programLink);
    return target.ok() && *target == programHostPath;
}

bool writeLink(const std::string& programHostPath, const DesktopPlaces& places) {
    if (execTarget(programHostPath, places) != places.programLink) {
        return true;
    }
    return platform::makeFolders(folderOf(places.programLink)).ok() &&
           platform::replaceLink(places.programLink, programHostPath).ok();
}

// The icon is only shown: a failure to install it is said on standard error and changes nothing.
// The small pictures go beside the scalable one, in the theme's folders of their sizes.
void installIcon(const DesktopPlaces& places) {
    if (places.iconFile.empty()) {
        return;
    }
    const std::string scalable = "/scalable/";
    const size_t sized = places.iconFile.rfind(scalable);
    struct Picture {
        std::string file;
        const char* text;
    };
    std::vector<Picture> pictures{{places.iconFile, res::kProgramIconSvg}};
    if (sized != std::string::npos) {
        for (const auto& [size, text] :
             {std::pair{"16x16", res::kProgramIcon16Svg}, {"24x24", res::kProgramIcon24Svg}}) {
            std::string file = places.iconFile;
            file.replace(sized + 1, scalable.size() - 2, size);
            pictures.push_back({file, text});
        }
    }
    for (const Picture& picture : pictures) {
        platform::Result<std::string> existing = platform::readWholeFile(picture.file);
        if (existing.ok() && *existing == picture.text) {
            continue;
        }
        platform::Status written = platform::makeFolders(folderOf(picture.file));
        if (written.ok()) {
            written = platform::writeFileAtomically(picture.file, picture.text);
        }
        if (!written.ok()) {
            std::fprintf(stderr, "pellix: the icon was not installed: %s\n", written.error().message.c_str());
        }
    }
}

bool registryMatches(platform::Registry& registry, const std::string& expectedCommand) {
    platform::Result<platform::RegistryKey> command =
        registry.openKey(platform::RegistryRoot::ClassesRoot, kCommandKey);
    if (!command.ok()) {
        return false;
    }
    platform::Result<platform::RegistryValue> value = registry.queryValue(*command, "", kValueBuffer);
    (void)registry.closeKey(*command);
    if (!value.ok() || value->type != platform::RegistryType::String || value->text != expectedCommand) {
        return false;
    }
    platform::Result<platform::RegistryKey> zip =
        registry.openKey(platform::RegistryRoot::ClassesRoot, kZipKey);
    if (!zip.ok()) {
        return false;
    }
    platform::Result<platform::RegistryValue> type = registry.queryValue(*zip, "", kValueBuffer);
    (void)registry.closeKey(*zip);
    return type.ok() && type->type == platform::RegistryType::String && type->text.empty();
}

bool writeRegistry(platform::Registry& registry, const std::string& expectedCommand) {
    platform::Result<platform::RegistryKey> command =
        registry.createKey(platform::RegistryRoot::ClassesRoot, kCommandKey);
    if (!command.ok() || !registry.setString(*command, "", expectedCommand).ok()) {
        return false;
    }
    (void)registry.closeKey(*command);
    platform::Result<platform::RegistryKey> zip =
        registry.openKey(platform::RegistryRoot::ClassesRoot, kZipKey);
    const bool written = zip.ok() && registry.setString(*zip, "", "").ok();
    if (zip.ok()) {
        (void)registry.closeKey(*zip);
    }
    return written;
}

bool desktopMatches(const std::string& programHostPath, const DesktopPlaces& places) {
    platform::Result<std::string> entry = platform::readWholeFile(places.desktopEntry);
    platform::Result<std::string> defaults = platform::readWholeFile(places.mimeAppsList);
    return entry.ok() && *entry == desktopEntryText(execProgramWord(execTarget(programHostPath, places))) &&
           linkMatches(programHostPath, places) && defaults.ok() &&
           defaultApplicationFor(*defaults, kZipMimeType) == kDesktopEntryName;
}

bool writeDesktop(const std::string& programHostPath, const DesktopPlaces& places) {
    const std::string target = execTarget(programHostPath, places);
    if (!canNameInExec(target)) {
        std::fprintf(stderr, "pellix: no desktop entry can name %s: its path holds a control character\n",
                     target.c_str());
        return false;
    }
    const std::string entry = desktopEntryText(execProgramWord(target));
    if (!writeLink(programHostPath, places) || !platform::makeFolders(folderOf(places.desktopEntry)).ok() ||
        !platform::writeFileAtomically(places.desktopEntry, entry).ok() ||
        !platform::makeFolders(folderOf(places.mimeAppsList)).ok()) {
        return false;
    }
    platform::Result<std::string> existing = platform::readWholeFile(places.mimeAppsList);
    if (!existing.ok() && existing.error().code != ENOENT) {
        return false; // an unreadable list is not replaced by one that lost its other lines
    }
    const std::string text =
        withDefaultApplication(existing.ok() ? *existing : "", kZipMimeType, kDesktopEntryName);
    return platform::writeFileAtomically(places.mimeAppsList, text).ok();
}

} // namespace

DesktopPlaces DesktopPlaces::forCurrentUser() {
    return DesktopPlaces{dataHome() + "/applications/" + kDesktopEntryName, configHome() + "/mimeapps.list",
                         dataHome() + "/icons/hicolor/scalable/apps/pellix.svg",
                         dataHome() + "/pellix/pellix"};
}

bool needsExecEscaping(const std::string& path) {
    static constexpr std::string_view kReserved = " \t\n\r\"'\\><~|&;$*?#()`%";
    return path.find_first_of(kReserved) != std::string::npos;
}

bool canNameInExec(const std::string& path) {
    return std::none_of(path.begin(), path.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7F;
    });
}

std::string execProgramWord(const std::string& programHostPath) {
    std::string word;
    if (needsExecEscaping(programHostPath)) {
        word = "\"";
        for (char c : programHostPath) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') {
                word += '\\';
            }
            word += c;
        }
        word += "\"";
    } else {
        word = programHostPath;
    }
    // The entry's value escapes a backslash once more, and a field code begins with "%".
    std::string value;
    for (char c : word) {
        if (c == '\n' || c == '\r' || c == '\t') {
            value += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
            continue;
        }
        if (c == '\\' || c == '%') {
            value += c;
        }
        value += c;
    }
    return value;
}

std::string defaultApplicationFor(const std::string& mimeAppsText, const std::string& mimeType) {
    bool inDefaults = false;
    for (const std::string& raw : linesOf(mimeAppsText)) {
        const std::string line = trimmed(raw);
        if (!line.empty() && line[0] == '[') {
            inDefaults = line == kDefaultsSection;
            continue;
        }
        const size_t equals = line.find('=');
        if (inDefaults && equals != std::string::npos && trimmed(line.substr(0, equals)) == mimeType) {
            const std::string value = trimmed(line.substr(equals + 1));
            return value.substr(0, value.find(';'));
        }
    }
    return "";
}

std::string withDefaultApplication(const std::string& mimeAppsText, const std::string& mimeType,
                                   const std::string& application) {
    const std::string entry = mimeType + "=" + application + ";";
    std::vector<std::string> lines = linesOf(mimeAppsText);
    bool inDefaults = false;
    bool sawDefaults = false;
    bool placed = false;
    std::vector<std::string> out;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string line = trimmed(lines[i]);
        if (!line.empty() && line[0] == '[') {
            if (inDefaults && !placed) {
                out.push_back(entry);
                placed = true;
            }
            inDefaults = line == kDefaultsSection;
            sawDefaults = sawDefaults || inDefaults;
            out.push_back(lines[i]);
            continue;
        }
        const size_t equals = line.find('=');
        if (inDefaults && equals != std::string::npos && trimmed(line.substr(0, equals)) == mimeType) {
            if (!placed) {
                out.push_back(entry);
                placed = true;
            }
            continue;
        }
        out.push_back(lines[i]);
    }
    if (!placed) {
        if (!sawDefaults) {
            if (!out.empty() && !out.back().empty()) {
                out.push_back("");
            }
            out.push_back(kDefaultsSection);
        }
        out.push_back(entry);
    }
    std::string text;
    for (const std::string& line : out) {
        text += line + "\n";
    }
    return text;
}

bool EnsureZipAssociation(platform::Registry& registry, const std::string& programDir,
                          const std::string& programHostPath, const DesktopPlaces& places) {
    const std::string expectedCommand = programDir + "pellix %1";
    installIcon(places);
    if (registryMatches(registry, expectedCommand) && desktopMatches(programHostPath, places)) {
        return true;
    }
    return writeRegistry(registry, expectedCommand) && writeDesktop(programHostPath, places);
}

} // namespace archive
