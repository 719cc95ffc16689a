#include "commandline.h"

#include "drivemap.h"
#include "hostfile.h"

#include <cctype>
#include <cerrno>

namespace pkzip {

Result<Command> parseCommand(const std::vector<std::string>& arguments) {
    Command command;
    std::vector<std::string> positional;
    for (const std::string& argument : arguments) {
        if (argument == "-extract") {
            command.kind = Command::Kind::Extract;
        } else if (argument == "-add") {
            command.kind = Command::Kind::Add;
        } else if (argument == "-del") {
            command.kind = Command::Kind::Delete;
        } else if (argument == "-test") {
            command.kind = Command::Kind::Test;
        } else if (argument == "-info") {
            command.kind = Command::Kind::Info;
        } else if (argument == "-comment") {
            command.kind = Command::Kind::Comment;
        } else if (argument == "-dir=root") {
            command.keepFolders = true;
        } else if (argument == "-path=root") {
            command.storeFolders = true;
        } else if (argument == "-attr" || argument == "-overwrite=all") {
            // Accepted as the program writes them: hidden files are always included and
            // existing files are always replaced.
        } else if (argument.rfind("-password=", 0) == 0) {
            if (argument.rfind("-password=@", 0) != 0 || argument.size() == 11) {
                return platform::makeError(EINVAL, "a password is read from a file only: -password=@FILE");
            }
            command.passwordFile = argument.substr(11);
        } else if (argument == "-encrypt=aes256") {
            command.encrypt = true;
        } else if (argument.rfind("-include=@", 0) == 0) {
            command.listFile = argument.substr(10);
        } else if (argument.size() > 1 && argument[0] == '@') {
            command.listFile = argument.substr(1);
        } else if (!argument.empty() && argument[0] == '-') {
            return platform::makeError(EINVAL, "unknown option " + argument);
        } else {
            positional.push_back(argument);
        }
    }
    const size_t wanted = command.kind == Command::Kind::Extract ? 2 : 1;
    if (positional.size() != wanted) {
        return platform::makeError(EINVAL,
                                   "usage: PKZIP25.EXE ARCHIVE | [-dir=root] -extract -overwrite=all "
                                   "ARCHIVE @LIST DEST | -add -attr ARCHIVE -include=@LIST [-path=root] | "
                                   "-del ARCHIVE @LIST | -test ARCHIVE @LIST | -info ARCHIVE [@LIST] | "
                                   "-comment ARCHIVE @COMMENTFILE");
    }
    command.archive = positional[0];
    if (command.kind == Command::Kind::Extract) {
        command.destination = positional[1];
    }
    const bool listOptional = command.kind == Command::Kind::List || command.kind == Command::Kind::Info;
    if (!listOptional && command.listFile.empty()) {
        return platform::makeError(EINVAL, "no list file (@LIST) given");
    }
    if (command.encrypt && (command.kind != Command::Kind::Add || command.passwordFile.empty())) {
        return platform::makeError(EINVAL, "-encrypt=aes256 belongs to an add, with -password=@FILE");
    }
    if (!command.passwordFile.empty() && command.kind != Command::Kind::Extract &&
        command.kind != Command::Kind::Test && !command.encrypt) {
        return platform::makeError(EINVAL,
                                   "-password=@FILE belongs to an extract, a test or an encrypted add");
    }
    return command;
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
