#include "diskops.h"

#include "archivewindow.h"
#include "fileservices.h"
#include "foldertree.h"
#include "texts.h"

namespace views {

void DiskOperations::showStop(const char* text, const char* caption) {
    m_window.showMessage(text, caption, archive::MessageIcon::Stop, archive::MessageButtons::Ok);
}

bool DiskOperations::DeleteOneFile(const std::string& path) {
    if (!platform::deleteFile(m_drives, path).ok()) {
        showStop(res::kDeleteFileFailed, res::kDeleteFileFailedCaption);
        return false;
    }
    return true;
}

bool DiskOperations::MakeOneFolder(const std::string& path) {
    if (!platform::createFolder(m_drives, path).ok()) {
        showStop(res::kCreateFolderFailed, res::kCreateFolderFailedCaption);
        return false;
    }
    return true;
}

bool DiskOperations::CopyOneFile(const std::string& source, const std::string& destination) {
    if (!platform::copyFileOrLink(m_drives, source, destination).ok()) {
        showStop(res::kCopyFileFailed, res::kCopyFileFailedCaption);
        return false;
    }
    return true;
}

bool DiskOperations::CopyFolderTree(const std::string& source, const std::string& destination) {
    platform::TreeStatus copied = platform::copyFolderTree(m_drives, source, destination);
    if (copied.ok()) {
        return true;
    }
    switch (copied.failure().step) {
    case platform::TreeStep::SameFolder:
        showStop(res::kSameFolder, res::kSameFolderCaption);
        break;
    case platform::TreeStep::CreateFolder:
        showStop(res::kCreateFolderFailed, res::kCreateFolderFailedCaption);
        break;
    case platform::TreeStep::DeleteFile:
    case platform::TreeStep::RemoveFolder:
    case platform::TreeStep::CopyFile:
        showStop(res::kCopyFileFailed, res::kCopyFileFailedCaption);
        break;
    }
    return false;
}

bool DiskOperations::RemoveFolderTree(const std::string& path) {
    platform::TreeStatus removed = platform::removeFolderTree(m_drives, path);
    if (removed.ok()) {
        return true;
    }
    if (removed.failure().step == platform::TreeStep::DeleteFile) {
        showStop(res::kDeleteFileFailed, res::kDeleteFileFailedCaption);
    } else {
        showStop(res::kDeleteFolderFailed, res::kDeleteFolderFailedCaption);
    }
    return false;
}

bool DiskOperations::refuseSameFolder(const std::string& source, const std::string& destination) {
    if (!platform::isSameOrInside(m_drives, source, destination)) {
        return false;
    }
    showStop(res::kSameFolder, res::kSameFolderCaption);
    return true;
}

bool DiskOperations::exists(const std::string& path) const {
    std::string bare = path;
    while (bare.size() > 3 && (bare.back() == '\\' || bare.back() == '/')) {
        bare.pop_back();
    }
    return platform::pathExists(m_drives, bare);
}

bool DiskOperations::ReplaceFolderTree(const std::string& source, const std::string& destination) {
    if (exists(destination)) {
        if (refuseSameFolder(source, destination)) {
            return false;
        }
        // The old folder goes only once the new one can be read: a vanished or unreadable source
        // must not cost the user the copy already there.
        if (!platform::checkCopySource(m_drives, source).ok()) {
            showStop(res::kCopyFileFailed, res::kCopyFileFailedCaption);
            return false;
        }
        std::string folder = destination;
        if (folder.back() != '\\') {
            folder += '\\';
        }
        if (!RemoveFolderTree(folder)) {
            return false;
        }
    }
    return CopyFolderTree(source, destination);
}

} // namespace views
