#pragma once

#include "drivemap.h"

#include <string>

namespace archive {
class ArchiveWindow;
}

namespace views {

// The disk steps of the file operations, each reporting its own failure once in its message box
// and returning false; a caller that walks several of them stops at the first false, keeping what
// was done. Links are never followed: a removal removes a link, a copy copies it as a link.
class DiskOperations {
public:
    DiskOperations(archive::ArchiveWindow& window, const platform::DriveMap& drives)
        : m_window(window), m_drives(drives) {}

    // Deletes a file (or a link); a read-only file is not deleted.
    bool DeleteOneFile(const std::string& path);
    // Makes one folder; its parent must exist, and it must not.
    bool MakeOneFolder(const std::string& path);
    // Copies a file over an existing one (a link as a link).
    bool CopyOneFile(const std::string& source, const std::string& destination);
    // Copies a folder with everything in it to a destination that does not exist yet; a
    // destination that is the source or lies inside it is refused before anything is made.
    bool CopyFolderTree(const std::string& source, const std::string& destination);
    // Removes a folder (path ending in "\") with everything in it.
    bool RemoveFolderTree(const std::string& path);

    // Copies folder source to destination, replacing a folder already there: refused with the
    // same-folder message when destination is source or inside it; the source must be readable
    // before the old destination is removed.
    bool ReplaceFolderTree(const std::string& source, const std::string& destination);

    // The same-folder refusal of a folder copy; true (after the message) when refused.
    bool refuseSameFolder(const std::string& source, const std::string& destination);
    bool exists(const std::string& path) const;
    const platform::DriveMap& drives() const { return m_drives; }

private:
    void showStop(const char* text, const char* caption);

    archive::ArchiveWindow& m_window;
    const platform::DriveMap& m_drives;
};

} // namespace views
