#pragma once

#include <string>
#include <string_view>

namespace platform {

// A Linux file name may hold any byte but "/" and NUL; a Windows name cannot hold `"`, `*`, `:`,
// `<`, `>`, `?`, `\`, `|` or control characters, and the program, the archiver and the
// interpreter keep UTF-8 text only. So a host name travels in Windows paths, job lines and list
// files as its "Windows name": each byte that a Windows name cannot hold becomes the private code
// point U+F000 plus the byte, written in UTF-8, and everything else stays as it is. The bytes so
// carried are:
//   - 0x01-0x1F and 0x7F (control characters),
//   - `"` `*` `:` `<` `>` `?` `\` `|`,
//   - a byte of 0x80-0xFF that is not part of a valid UTF-8 character,
//   - each byte of a character U+F000-U+F0FF that the host name already holds, so that it does
//     not read as a carried byte on the way back.
// Every host name thus has exactly one Windows name, which holds no quote, no line break and no
// byte that is not UTF-8, and comes back byte for byte. docs/names.md tells the whole rule.

// Whether a byte of a host name travels as U+F000 plus the byte.
bool isCarriedByte(unsigned char byte);

// One host name (no "/") as its Windows name.
std::string windowsNameOf(std::string_view hostName);

// A Windows name as the host name it stands for: each carried code point becomes its byte again;
// everything else, a `"` or a ":" typed by hand included, stays as it is. A code point U+F000 plus
// a byte that is never carried (U+F02E for ".", U+F02F for "/", U+F000) is not a carrier and stays
// too, so that no Windows name ever gives a host name with a "/", a NUL or a new "..".
std::string hostNameOf(std::string_view windowsName);

// A host name as the archiver stores it in a member's name, so that the listing shows it and the
// file extracted from it gets the same bytes: "\" (a folder separator to ZIP readers), a byte that
// is not UTF-8, a character U+F000-U+F0FF and a control picture (U+2401-U+241F, U+2421) go byte by
// byte as U+F000 plus the byte; control characters and `"*:<>?|` are stored as they are.
std::string memberNameOf(std::string_view hostName);

// A name as the archiver lists a member: control characters shown as their pictures (U+2400 plus
// the byte, U+2421 for 0x7F), the rest carried as in a Windows name. The file a member is extracted
// to takes its name from it: the pictures become the control characters again.
std::string hostNameOfListed(std::string_view listedName);

// What the lists and boxes show for a Windows name or a listed member name: the real characters,
// control characters as their pictures, a byte that is not UTF-8 as U+FFFD.
std::string shownNameOf(std::string_view name);

// A message that may name files: each line shown as shownNameOf shows a name, the message's own
// line breaks kept.
std::string shownTextOf(std::string_view text);

// A name the user typed (in the lists' own characters, as shownNameOf gives them) as a Windows
// name: the characters that are carried, and control pictures, become their carriers.
std::string windowsNameFromTyped(std::string_view typed);

// The first character of a path that cannot stand between the quotes of a job line or alone on a
// line of a list file (a `"`, a control character, a byte that is not UTF-8), or npos. The drive
// map never makes such a path; one typed or stored by hand may hold one.
size_t unsafeJobCharacter(std::string_view path);

} // namespace platform
