#include "script.h"

#include "asciitext.h"

namespace batch {

namespace {

struct Token {
    std::string text;
    bool quoted = false; // the whole token was one quoted text
};

// The tokens of a line and its redirection, or the first thing that breaks the line's form.
struct Tokens {
    std::vector<Token> words;
    std::optional<std::string> redirect;
    std::string problem;
};

bool isStray(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return c == '<' || c == '|' || c == '&' || byte < 0x20 || byte == 0x7F;
}

// Reads a quoted text starting at line[at] == '"'; moves at past the closing quote.
bool readQuoted(std::string_view line, size_t& at, std::string& text, std::string& problem) {
    const size_t close = line.find('"', at + 1);
    if (close == std::string_view::npos) {
        problem = "a quote is not closed";
        return false;
    }
    text.append(line.substr(at + 1, close - at - 1));
    at = close + 1;
    if (at < line.size() && line[at] != ' ' && line[at] != '>') {
        problem = "a quote closes inside a word";
        return false;
    }
    return true;
}

Tokens tokenize(std::string_view line) {
    Tokens tokens;
    size_t at = 0;
    while (at < line.size()) {
        if (line[at] == ' ') {
            ++at;
            continue;
        }
        if (tokens.redirect) {
            tokens.problem = "the redirection \">\" must end the line";
            return tokens;
        }
        if (line[at] == '>') {
            ++at;
            while (at < line.size() && line[at] == ' ') {
                ++at;
            }
            std::string target;
            if (at >= line.size() || line[at] != '"') {
                tokens.problem = "\">\" must be followed by one quoted file name";
                return tokens;
            }
            if (!readQuoted(line, at, target, tokens.problem)) {
                return tokens;
            }
            tokens.redirect = std::move(target);
            continue;
        }
        Token token;
        while (at < line.size() && line[at] != ' ' && line[at] != '"' && line[at] != '>') {
            if (isStray(line[at])) {
                tokens.problem =
                    "an unquoted \"" + std::string(1, line[at]) + "\" where no command takes one";
                return tokens;
            }
            token.text += line[at++];
        }
        if (at < line.size() && line[at] == '"') {
            if (!token.text.empty() && token.text.back() != '@' && token.text.back() != '=') {
                tokens.problem = "a quote opens inside a word";
                return tokens;
            }
            token.quoted = token.text.empty();
            if (!readQuoted(line, at, token.text, tokens.problem)) {
                return tokens;
            }
        }
        tokens.words.push_back(std::move(token));
    }
    return tokens;
}

ScriptLine malformed(std::string problem) {
    ScriptLine parsed;
    parsed.kind = ScriptLine::Kind::Malformed;
    parsed.problem = std::move(problem);
    return parsed;
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
    if (line.find_first_not_of(' ') == std::string_view::npos) {
        return parsed;
    }
    Tokens tokens = tokenize(line);
    if (!tokens.problem.empty()) {
        return malformed(std::move(tokens.problem));
    }
    if (tokens.words.empty()) {
        return malformed("no program to run");
    }
    const Token& first = tokens.words.front();
    if (!first.quoted && platform::equalsIgnoringAsciiCase(first.text, "copy")) {
        if (tokens.words.size() != 3 || tokens.redirect || !tokens.words[1].quoted ||
            !tokens.words[2].quoted) {
            return malformed("copy takes a quoted source and a quoted target");
        }
        parsed.kind = ScriptLine::Kind::Copy;
        parsed.arguments = {tokens.words[1].text, tokens.words[2].text};
        return parsed;
    }
    if (!first.quoted) {
        return malformed("the program to run must be a quoted path");
    }
    parsed.kind = ScriptLine::Kind::Run;
    parsed.program = first.text;
    for (size_t i = 1; i < tokens.words.size(); ++i) {
        parsed.arguments.push_back(std::move(tokens.words[i].text));
    }
    parsed.redirect = std::move(tokens.redirect);
    return parsed;
}

JobScript parseJobScript(std::string_view script) {
    JobScript parsed;
    if (script.size() >= 2 && script.substr(script.size() - 2) == "\r\n") {
        script.remove_suffix(2);
    }
    const size_t end = script.find("\r\n");
    if (end == std::string_view::npos) {
        parsed.problem = "the script is not two lines (a job line and the completion marker's copy)";
        return parsed;
    }
    const std::string_view job = script.substr(0, end);
    const std::string_view marker = script.substr(end + 2);
    if (marker.find("\r\n") != std::string_view::npos) {
        parsed.problem = "the script has more than two lines";
        return parsed;
    }
    for (std::string_view line : {job, marker}) {
        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
            parsed.problem = "a line holds a line break that is not CR LF, or a NUL";
            return parsed;
        }
    }
    parsed.job = parseScriptLine(job);
    parsed.marker = parseScriptLine(marker);
    if (parsed.marker.kind != ScriptLine::Kind::Copy) {
        parsed.problem = "the second line is not the completion marker's copy";
        if (parsed.marker.kind == ScriptLine::Kind::Malformed) {
            parsed.problem += " (" + parsed.marker.problem + ")";
        }
        return parsed;
    }
    if (parsed.job.kind == ScriptLine::Kind::Empty) {
        parsed.job = malformed("the job line is empty");
    } else if (parsed.job.kind == ScriptLine::Kind::Copy) {
        parsed.job = malformed("the job line must run a program");
    }
    return parsed;
}

} // namespace batch
