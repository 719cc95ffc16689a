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

// Parses one line the way the command interpreter reads the lines the program writes: the
// built-in `copy "A" "B"`, or a quoted program path with arguments and an optional `>"file"`
// (blanks around ">" allowed). Quotes group blanks and are removed; ">" inside quotes is text.
ScriptLine parseScriptLine(std::string_view line);

} // namespace batch
