#pragma once

#include "registry.h"

#include <string>

namespace archive {

// Where the desktop keeps what opens a .zip file: a desktop entry for the program in
// $XDG_DATA_HOME/applications (~/.local/share/applications) and the default application for
// application/zip in $XDG_CONFIG_HOME/mimeapps.list (~/.config/mimeapps.list); the program's icon
// in the user's hicolor icon theme; and a link to the program, named by the entry when the
// program's own path holds a blank or another character that would need quoting there.
struct DesktopPlaces {
    std::string desktopEntry;
    std::string mimeAppsList;
    std::string iconFile;
    std::string programLink;

    static DesktopPlaces forCurrentUser();
};

inline constexpr char kDesktopEntryName[] = "pellix.desktop";
inline constexpr char kZipMimeType[] = "application/zip";

// Makes this program the handler of .zip files when it is not already, and reports whether it
// is. It is when the registry's .ZIP\Shell\Open\Command names this program, .ZIP's own default
// value is empty, the desktop entry runs this program on the file, and that entry is the
// desktop's default application for application/zip. Whatever is missing is written; false
// when something could not be written (the Set .ZIP Association command then stays enabled).
// The icon the entry names is installed too, but a missing icon does not undo the association.
bool EnsureZipAssociation(platform::Registry& registry, const std::string& programDir,
                          const std::string& programHostPath, const DesktopPlaces& places);

// The program as the Exec line of a desktop entry names it, written by the entry's quoting rules:
// a path without reserved characters as it is, any other in double quotes with the quote, the
// backquote, the dollar and the backslash escaped by a backslash, then every backslash escaped
// once more for the entry's value, "%" doubled, and a line feed, carriage return or tab written
// as the value's escapes \n, \r, \t, so that no name can end the line.
std::string execProgramWord(const std::string& programHostPath);
// Whether a path must be quoted or escaped in an Exec line. xdg-open's generic fallback takes the
// line's first word literally, so such a program is named through the program link instead.
bool needsExecEscaping(const std::string& path);
// Whether an Exec line can name the path at all: an entry's value holds no control character
// but the escaped line feed, carriage return and tab.
bool canNameInExec(const std::string& path);

// The default application for a MIME type in a mimeapps.list text, "" when none is set.
std::string defaultApplicationFor(const std::string& mimeAppsText, const std::string& mimeType);

// The mimeapps.list text with application made the default for mimeType; every other line kept.
std::string withDefaultApplication(const std::string& mimeAppsText, const std::string& mimeType,
                                   const std::string& application);

} // namespace archive
