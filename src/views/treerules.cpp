#include "treerules.h"

#include "listrules.h"
#include "texts.h"

#include <algorithm>

namespace views {

std::string nodePath(const std::string& driveText, const std::vector<std::string>& folderTexts) {
    if (driveText.empty()) {
        return {};
    }
    std::string path = std::string(1, driveText.back()) + ":\\";
    for (const std::string& folder : folderTexts) {
        path += folder;
        path += '\\';
    }
    return path;
}

std::string treePath(const std::vector<std::string>& textsFromRoot) {
    std::string path;
    for (const std::string& text : textsFromRoot) {
        path += text;
        path += '/';
    }
    return path;
}

std::vector<char> driveLetters(bool useDriveA, const std::function<bool(char)>& canChangeToDrive) {
    std::vector<char> letters;
    for (char letter = useDriveA ? 'A' : 'C'; letter <= 'Z'; ++letter) {
        if (canChangeToDrive(letter)) {
            letters.push_back(letter);
        }
    }
    return letters;
}

std::string driveText(char letter) {
    return res::kDrivePrefix + std::string(1, letter);
}

void sortChildTexts(std::vector<std::string>& texts) {
    std::stable_sort(texts.begin(), texts.end(),
                     [](const std::string& a, const std::string& b) { return textLess(a, b); });
}

std::vector<std::string> localSubFolders(const std::vector<platform::FindEntry>& found) {
    std::vector<std::string> folders;
    for (const platform::FindEntry& entry : found) {
        if (entry.name == "." || entry.name == ".." || (entry.attributes & platform::kAttrDirectory) == 0) {
            continue;
        }
        folders.push_back(entry.name);
    }
    sortChildTexts(folders);
    return folders;
}

std::vector<std::string> readLocalSubFolders(const platform::DriveMap& drives,
                                             const std::string& folderPath) {
    auto found = platform::findFiles(drives, folderPath + "*.*");
    if (!found) {
        return {};
    }
    return localSubFolders(*found);
}

std::vector<std::string> archiveSubFolders(const archive::ArchiveFolderList& folders,
                                           const std::string& treePath) {
    const std::string key = archiveFolderKey(treePath);
    std::vector<std::string> children;
    for (const std::string& folder : folders.folders()) {
        if (folder.compare(0, key.size(), key) != 0) {
            continue;
        }
        std::string rest = folder.substr(key.size());
        // A doubled "/" in a member's path leaves a folder without a name: nothing to show.
        if (rest.empty() || rest.find('/') != std::string::npos) {
            continue;
        }
        children.push_back(std::move(rest));
    }
    sortChildTexts(children);
    return children;
}

} // namespace views
