#pragma once

#include "drivemap.h"
#include "result.h"

#include <string>
#include <string_view>

namespace platform {

// The step of a folder-tree copy or removal that failed: the window layers show a different
// message for each.
enum class TreeStep {
    DeleteFile,   // a file or a link inside the tree could not be deleted
    RemoveFolder, // a folder could not be searched or removed once emptied
    CreateFolder, // a folder of the copy could not be made
    CopyFile,     // a file or a link could not be copied, or a source folder could not be read
    SameFolder,   // the copy would land in its own source
};

struct TreeFailure {
    TreeStep step = TreeStep::CopyFile;
    Error error;
};

// Success, or the step that failed with its error.
class [[nodiscard]] TreeStatus {
public:
    TreeStatus() = default;
    TreeStatus(TreeStep step, Error error) : m_failure{step, std::move(error)}, m_failed(true) {}
    static TreeStatus success() { return TreeStatus(); }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const TreeFailure& failure() const { return m_failure; }

private:
    TreeFailure m_failure;
    bool m_failed = false;
};

// True when destination is source or lies inside it, as text: both given a trailing "\" if they
// lack one, destination begins with source (exact, case-sensitive).
bool isSameOrInsideText(std::string_view source, std::string_view destination);

// True when destination is source or lies inside it, either as text or on disk: a folder link on
// the way to the destination can make a path that reads as elsewhere name a place inside the
// source. The destination need not exist yet; its nearest existing folder decides.
bool isSameOrInside(const DriveMap& drives, std::string_view source, std::string_view destination);

// Whether a copy source can be read: a link (copied as a link) or a folder that can be listed.
Status checkCopySource(const DriveMap& drives, std::string_view windowsPath);

// Removes a folder with everything in it. Links are never followed: a link inside the tree, and
// a path that is itself a link, is removed as a link, its target left alone. Stops at the first
// failure; what was removed before it stays removed, the rest is kept.
TreeStatus removeFolderTree(const DriveMap& drives, std::string_view windowsPath);

// Copies a folder with everything in it to destination, which must not exist yet. A link is
// copied as a link (to the same target), never followed; a source that is itself a link gives a
// link. Refuses (SameFolder) before creating anything when destination is source or lies inside
// it. Stops at the first failure, keeping what was copied.
TreeStatus copyFolderTree(const DriveMap& drives, std::string_view source, std::string_view destination);

// Copies one file as copyFile does, but a link is copied as a link.
Status copyFileOrLink(const DriveMap& drives, std::string_view source, std::string_view destination);

// True when the path itself (not what it points at) is a symbolic link.
bool isLink(const DriveMap& drives, std::string_view windowsPath);

} // namespace platform
