#include "commandline.h"

#include "drivemap.h"
#include "hostfile.h"
#include "hostnames.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>

namespace pkzip {

namespace {

using Role = FormWord::Role;

constexpr FormWord option(const char* text) {
    return FormWord{Role::Option, text, nullptr, nullptr};
}
constexpr FormWord flag(const char* text, bool Command::*member) {
    return FormWord{Role::Flag, text, member, nullptr};
}
constexpr FormWord value(const char* prefix, std::string Command::*member) {
    return FormWord{Role::Value, prefix, nullptr, member};
}
constexpr FormWord kArchive{Role::Archive, "ARCHIVE", nullptr, nullptr};
constexpr FormWord kDestination{Role::Destination, "DEST", nullptr, nullptr};
constexpr FormWord list(const char* prefix) {
    return FormWord{Role::List, prefix, nullptr, nullptr};
}

bool startsWith(const std::string& text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Fills command from one word; false when the word does not fit its place in the form.
bool takeWord(const FormWord& word, const std::string& argument, Command& command) {
    switch (word.role) {
    case Role::Option:
        return argument == word.text;
    case Role::Flag:
        if (argument != word.text) {
            return false;
        }
        command.*word.flag = true;
        return true;
    case Role::Archive:
        command.archive = argument;
        return !argument.empty();
    case Role::List:
        command.listFile = startsWith(argument, word.text) ? argument.substr(std::strlen(word.text)) : "";
        return !command.listFile.empty();
    case Role::Destination:
        command.destination = argument;
        return !argument.empty();
    case Role::Value:
        command.*word.value = startsWith(argument, word.text) ? argument.substr(std::strlen(word.text)) : "";
        return !(command.*word.value).empty();
    }
    return false;
}

std::optional<Command> matchForm(const CommandForm& form, const std::vector<std::string>& arguments) {
    if (arguments.size() < form.words.size() || arguments.size() > form.words.size() + form.trailing.size()) {
        return std::nullopt;
    }
    Command command;
    command.kind = form.kind;
    for (size_t i = 0; i < form.words.size(); ++i) {
        if (!takeWord(form.words[i], arguments[i], command)) {
            return std::nullopt;
        }
    }
    std::vector<bool> used(form.trailing.size(), false);
    for (size_t i = form.words.size(); i < arguments.size(); ++i) {
        bool taken = false;
        for (size_t k = 0; k < form.trailing.size() && !taken; ++k) {
            const TrailingSwitch& trailing = form.trailing[k];
            if (!used[k] && startsWith(arguments[i], trailing.prefix) &&
                arguments[i].size() > std::strlen(trailing.prefix)) {
                command.*trailing.value = arguments[i].substr(std::strlen(trailing.prefix));
                used[k] = taken = true;
            }
        }
        if (!taken) {
            return std::nullopt;
        }
    }
    return command;
}

std::string usageText() {
    std::string text = "usage:";
    for (const CommandForm& form : commandForms()) {
        text += " PKZIP25.EXE";
        for (const FormWord& word : form.words) {
            text += " ";
            text += word.text;
            if (word.role == Role::List) {
                text += "LIST";
            } else if (word.role == Role::Value) {
                text += "FILE";
            }
        }
        for (const TrailingSwitch& trailing : form.trailing) {
            text += " [";
            text += trailing.prefix;
            text += "...]";
        }
        text += " |";
    }
    text.pop_back();
    text.pop_back();
    return text;
}

} // namespace

const std::vector<CommandForm>& commandForms() {
    using Kind = Command::Kind;
    const TrailingSwitch password{"-password=@", &Command::passwordFile};
    const TrailingSwitch progress{"-progress=@", &Command::progressFile};
    static const std::vector<CommandForm> forms = {
        {Kind::List, {kArchive}, {}},
        {Kind::Extract,
         {option("-extract"), option("-overwrite=all"), kArchive, list("@"), kDestination},
         {password, progress}},
        {Kind::Extract,
         {flag("-dir=root", &Command::keepFolders), option("-extract"), option("-overwrite=all"), kArchive,
          list("@"), kDestination},
         {password, progress}},
        {Kind::Add, {option("-add"), option("-attr"), kArchive, list("-include=@")}, {progress}},
        {Kind::Add,
         {option("-add"), option("-attr"), kArchive, list("-include=@"),
          flag("-path=root", &Command::storeFolders)},
         {progress}},
        {Kind::Add,
         {option("-add"), option("-attr"), kArchive, list("-include=@"),
          flag("-encrypt=aes256", &Command::encrypt), value("-password=@", &Command::passwordFile)},
         {progress}},
        {Kind::Add,
         {option("-add"), option("-attr"), kArchive, list("-include=@"),
          flag("-path=root", &Command::storeFolders), flag("-encrypt=aes256", &Command::encrypt),
          value("-password=@", &Command::passwordFile)},
         {progress}},
        {Kind::Delete, {option("-del"), kArchive, list("@")}, {}},
        {Kind::Test, {option("-test"), kArchive, list("@")}, {password}},
        {Kind::Info, {option("-info"), kArchive}, {}},
        {Kind::Info, {option("-info"), kArchive, list("@")}, {}},
        {Kind::Comment, {option("-comment"), kArchive, list("@")}, {}},
        {Kind::Compact, {option("-compact"), kArchive}, {}},
    };
    return forms;
}

Result<Command> parseCommand(const std::vector<std::string>& arguments) {
    for (const CommandForm& form : commandForms()) {
        if (std::optional<Command> command = matchForm(form, arguments)) {
            return *command;
        }
    }
    // Nothing matched: the likeliest slip is said, else every form.
    for (const std::string& argument : arguments) {
        if (startsWith(argument, "-password=") && !startsWith(argument, "-password=@")) {
            return platform::makeError(EINVAL, "a password is read from a file only: -password=@FILE");
        }
    }
    if (std::find(arguments.begin(), arguments.end(), "-encrypt=aes256") != arguments.end()) {
        return platform::makeError(EINVAL, "-encrypt=aes256 belongs to an add, with -password=@FILE");
    }
    return platform::makeError(EINVAL, usageText());
}

Result<std::string> hostPathOf(const std::string& path) {
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    return platform::DriveMap::current().toHost(path);
}

Result<std::vector<std::string>> readListFile(const std::string& hostPath, bool keepEmptyLines) {
    Result<std::string> text = platform::readWholeFile(hostPath);
    if (!text.ok()) {
        return text.error();
    }
    std::vector<std::string> lines;
    size_t start = 0;
    const std::string& all = *text;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) {
            end = all.size();
        }
        std::string line = all.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() || keepEmptyLines) {
            lines.push_back(std::move(line));
        }
        start = end + 1;
    }
    return lines;
}

std::string storedNameFor(const std::string& listedPath, bool withFolders) {
    std::string path = listedPath;
    const bool hostPath = !path.empty() && path[0] == '/';
    if (!hostPath) {
        if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
            path.erase(0, 2);
        }
        for (char& c : path) {
            c = c == '\\' ? '/' : c;
        }
    }
    // "." and ".." steps never go into a stored name.
    std::string stored;
    size_t start = 0;
    std::vector<std::string> parts;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    if (parts.empty()) {
        return std::string();
    }
    // A Windows path's names are Windows names; the member takes the file's own host name.
    for (std::string& part : parts) {
        part = platform::memberNameOf(hostPath ? part : platform::hostNameOf(part));
    }
    if (!withFolders) {
        return parts.back();
    }
    for (const std::string& part : parts) {
        stored += stored.empty() ? "" : "/";
        stored += part;
    }
    return stored;
}

} // namespace pkzip
