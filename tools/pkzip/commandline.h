#pragma once

#include "fileio.h"

#include <string>
#include <vector>

namespace pkzip {

// What one run was asked to do, taken from its arguments.
struct Command {
    enum class Kind { List, Extract, Add, Delete, Info, Comment, Test };
    Kind kind = Kind::List;
    std::string archive;       // as given
    std::string listFile;      // as given, without "@" (-comment: the file holding the comment)
    std::string destination;   // extract only, as given
    bool keepFolders = false;  // -dir=root
    bool storeFolders = false; // -path=root
    std::string passwordFile;  // -password=@FILE, as given without "@": extract and add
    bool encrypt = false;      // -encrypt=aes256: add
};

// Accepts the argument forms the program writes:
//   ARCHIVE
//   [-dir=root] -extract -overwrite=all ARCHIVE @LIST DEST
//   -add -attr ARCHIVE -include=@LIST [-path=root]
//   -del ARCHIVE @LIST
//   -test ARCHIVE @LIST
//   -info ARCHIVE [@LIST]
//   -comment ARCHIVE @COMMENTFILE
// An extract or a test may end in -password=@FILE, an add in -encrypt=aes256 -password=@FILE (the
// file holds the password; a password itself is never an argument).
[[nodiscard]] Result<Command> parseCommand(const std::vector<std::string>& arguments);

// A path as the program writes it (a Windows path through the drive map, or a host path
// beginning with "/") as a host path.
[[nodiscard]] Result<std::string> hostPathOf(const std::string& path);

// The lines of a list file (CR LF or LF line ends; empty lines skipped unless kept).
[[nodiscard]] Result<std::vector<std::string>> readListFile(const std::string& hostPath,
                                                            bool keepEmptyLines = false);

// The member name a local file is stored under: with folders, the path without its drive and
// leading separators, "/"-separated; without, the bare file name.
std::string storedNameFor(const std::string& listedPath, bool withFolders);

} // namespace pkzip
