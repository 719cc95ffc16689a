#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pkzip {

// Code page 437 bytes as UTF-8: the encoding of names that are neither flagged nor valid UTF-8.
std::string decodeCp437(std::string_view raw);
bool isValidUtf8(std::string_view text);
bool isAscii(std::string_view text);

// The stored name of a member as UTF-8, in this order: a name flagged UTF-8; the UTF-8 name of
// an Info-ZIP Unicode path field whose CRC matches the stored name; the stored bytes when they
// are valid UTF-8 (ASCII included); else the bytes read as CP437.
std::string decodeMemberName(std::string_view raw, bool utf8Flag, std::string_view extra);
// The same written over out, whose capacity is kept: a reader of a million names makes no
// allocation for most of them.
void decodeMemberNameInto(std::string& out, std::string_view raw, bool utf8Flag, std::string_view extra);

// The name as the listing shows it: "\" taken as a folder separator like "/", and control
// characters replaced by their visible Unicode pictures (LF as U+240A), so a name can never break
// the line-based listing or list files. Different members that end up with one listed name are
// ambiguous; the tool refuses to pick one of them.
std::string listedName(std::string_view utf8Name);
void appendListedName(std::string& out, std::string_view utf8Name);

// Control characters as their visible pictures, everything else as it is.
std::string escapeControls(std::string_view text);

// The key by which a list-file line or a listed name finds a member: "\" as "/", leading
// separators dropped.
std::string matchKey(std::string_view name);
// The same in place, for a caller that makes many keys in one buffer.
void toMatchKey(std::string& name);

// The folders and file name a member is extracted to below the destination, or the reason the
// name is refused (a ".." step, an absolute path, a drive letter, an empty name). With
// colonIsName (names made on Unix), a ":" in the first folder is an ordinary character.
struct SafePath {
    std::vector<std::string> parts; // last part is the file name
    std::string problem;            // empty when the name is acceptable
};
SafePath safeRelativePath(std::string_view listed, bool colonIsName = false);

} // namespace pkzip
