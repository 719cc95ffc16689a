#include "script.h"

#include "asciitext.h"

namespace batch {

namespace {

struct Token {
    std::string text;
    bool isRedirect = false; // an unquoted ">"
};

std::vector<Token> tokenize(std::string_view line) {
    std::vector<Token> tokens;
    std::string current;
    bool inToken = false;
    bool inQuotes = false;
    auto flush = [&] {
        if (inToken) {
            tokens.push_back(Token{current, false});
            current.clear();
            inToken = false;
        }
    };
    for (char c : line) {
        if (c == '"') {
            inQuotes = !inQuotes;
            inToken = true;
        } else if (!inQuotes && (c == ' ' || c == '\t')) {
            flush();
        } else if (!inQuotes && c == '>') {
            flush();
            tokens.push_back(Token{">", true});
        } else {
            current += c;
            inToken = true;
        }
    }
    flush();
    return tokens;
}

} // namespace

std::vector<std::string> splitScriptLines(std::string_view script) {
    std::vector<std::string> lines;
    while (!script.empty()) {
        const size_t end = script.find('\n');
        std::string_view line = script.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
        script = end == std::string_view::npos ? std::string_view() : script.substr(end + 1);
    }
    return lines;
}

ScriptLine parseScriptLine(std::string_view line) {
    ScriptLine parsed;
    std::vector<Token> tokens = tokenize(line);
    if (tokens.empty()) {
        return parsed;
    }
    std::vector<std::string> words;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (!tokens[i].isRedirect) {
            words.push_back(tokens[i].text);
            continue;
        }
        if (i + 1 >= tokens.size() || tokens[i + 1].isRedirect || parsed.redirect) {
            parsed.kind = ScriptLine::Kind::Malformed;
            parsed.problem = "\">\" must be followed by one file name";
            return parsed;
        }
        parsed.redirect = tokens[++i].text;
    }
    if (words.empty()) {
        parsed.kind = ScriptLine::Kind::Malformed;
        parsed.problem = "no program to run";
        return parsed;
    }
    if (platform::equalsIgnoringAsciiCase(words[0], "copy")) {
        if (words.size() != 3 || parsed.redirect) {
            parsed.kind = ScriptLine::Kind::Malformed;
            parsed.problem = "copy takes a source and a target";
            return parsed;
        }
        parsed.kind = ScriptLine::Kind::Copy;
        parsed.arguments = {words[1], words[2]};
        return parsed;
    }
    parsed.kind = ScriptLine::Kind::Run;
    parsed.program = words[0];
    parsed.arguments.assign(words.begin() + 1, words.end());
    return parsed;
}

} // namespace batch
