#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace batch {

// One line of a job script, taken apart.
struct ScriptLine {
    enum class Kind { Empty, Copy, Run, Malformed };
    Kind kind = Kind::Empty;
    std::string program;                 // Run: the program's Windows path, quotes removed
    std::vector<std::string> arguments;  // Run: arguments, quotes removed; Copy: source and target
    std::optional<std::string> redirect; // Run: the file that standard output goes to
    std::string problem;                 // Malformed: what is wrong
};

// Splits a script into lines at CR LF or LF; the last line needs no line end.
std::vector<std::string> splitScriptLines(std::string_view script);

// Parses one line strictly, as the program writes its lines: the built-in `copy "A" "B"`, or a
// quoted program path followed by arguments and at most one `>"file"` that ends the line (blanks
// around ">" allowed). Arguments are separated by blanks; each is a bare word, a quoted text, or a
// bare word ending in "@" or "=" joined to a quoted text (`@"C:\t.lst"`, `-include=@"..."`).
// Anything else is Malformed and runs nothing: an unbalanced quote, a quote that closes inside a
// word, an unquoted "<", "|", "&" or control character, a ">" that does not end the line, an
// unquoted program.
ScriptLine parseScriptLine(std::string_view line);

// The two lines of a job script: the job's line, and the line that copies the script to its
// completion marker.
struct JobScript {
    ScriptLine job;
    ScriptLine marker;
    std::string problem; // not empty when the script is not two such lines; then nothing runs
};

// Takes a job script apart: exactly two lines separated by CR LF (a CR LF after the second is
// allowed), the second a `copy` of two quoted paths. A CR or LF that is not a line end, a NUL, a
// third line or a second line that is not a copy make the whole script refused. Whether the copy
// names the script itself is for the caller to check, which knows the script's place.
JobScript parseJobScript(std::string_view script);

} // namespace batch
