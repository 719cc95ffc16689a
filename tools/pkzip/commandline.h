#pragma once

#include "fileio.h"

#include <string>
#include <vector>

namespace pkzip {

// What one run was asked to do, taken from its arguments.
struct Command {
    enum class Kind { List, Extract, Add, Delete, Info, Comment, Test, Compact };
    Kind kind = Kind::List;
    std::string archive;       // as given
    std::string listFile;      // as given, without "@" (-comment: the file holding the comment)
    std::string destination;   // extract only, as given
    bool keepFolders = false;  // -dir=root
    bool storeFolders = false; // -path=root
    std::string passwordFile;  // -password=@FILE, as given without "@": extract and add
    bool encrypt = false;      // -encrypt=aes256: add
    std::string progressFile;  // -progress=@FILE, as given without "@": extract and add
};

// One word of a command form.
struct FormWord {
    enum class Role {
        Option,      // the text itself, exactly
        Flag,        // the text itself, exactly; sets `flag`
        Archive,     // any non-empty text: the archive's path
        List,        // `text` followed by the list file's path ("@", "-include=@")
        Destination, // any non-empty text: the folder members are extracted to
        Value,       // `text` followed by a non-empty value, stored in `value` ("-password=@")
    };
    Role role;
    const char* text = "";
    bool Command::*flag = nullptr;
    std::string Command::*value = nullptr;
};

// A switch that a form allows after its own words, in any order, each at most once: the prefix
// names it, the rest of the word is its value (stored in `value`).
struct TrailingSwitch {
    const char* prefix; // "-progress=@"
    std::string Command::*value;
};

// One command line the archiver accepts: every word in its own position, so that a path is
// never read as an option however it begins ("-del", "@l.lst"), and an option is never taken
// where a path belongs. The first form that matches all the arguments wins. A new command is a
// new row of commandForms(); a switch for existing commands goes into their `trailing` list.
struct CommandForm {
    Command::Kind kind;
    std::vector<FormWord> words;
    std::vector<TrailingSwitch> trailing;
};

// The forms the program writes:
//   ARCHIVE
//   -extract -overwrite=all ARCHIVE @LIST DEST
//   -dir=root -extract -overwrite=all ARCHIVE @LIST DEST
//   -add -attr ARCHIVE -include=@LIST
//   -add -attr ARCHIVE -include=@LIST -path=root
//   -del ARCHIVE @LIST
//   -test ARCHIVE @LIST
//   -info ARCHIVE [@LIST]
//   -comment ARCHIVE @COMMENTFILE
//   -compact ARCHIVE
// An extract or a test may end in -password=@FILE, an add in -encrypt=aes256 -password=@FILE (the
// file holds the password; a password itself is never an argument). An extract or an add may end
// in -progress=@FILE, the file its progress reports go to (runcontrol.h).
const std::vector<CommandForm>& commandForms();

// The arguments taken by the first form they match exactly; any other arguments are refused.
[[nodiscard]] Result<Command> parseCommand(const std::vector<std::string>& arguments);

// A path as the program writes it (a Windows path through the drive map, or a host path
// beginning with "/") as a host path.
[[nodiscard]] Result<std::string> hostPathOf(const std::string& path);

// The lines of a list file (CR LF or LF line ends; empty lines skipped unless kept).
[[nodiscard]] Result<std::vector<std::string>> readListFile(const std::string& hostPath,
                                                            bool keepEmptyLines = false);

// The member name a local file is stored under: with folders, the path without its drive and
// leading separators, "/"-separated; without, the bare file name. Each name is the file's own
// host name as platform::memberNameOf stores it, so that it is extracted with the same bytes.
std::string storedNameFor(const std::string& listedPath, bool withFolders);

} // namespace pkzip
