#pragma once

#include "result.h"

#include <string>

namespace platform {

// The private folder of one running program, where its job files and its scratch archive live,
// so that two programs started at the same moment never share them. Each folder sits in a
// common parent folder and holds a lock file that its program keeps locked (flock) for as long as
// it runs: a folder whose lock is free belongs to a program that is gone (it crashed or was
// killed), however its process id has been reused since. Creating a folder and clearing away
// those of programs that are gone happen under the parent's own lock, so no program ever takes
// another's folder for a dead one.
class InstanceFolder {
public:
    InstanceFolder() = default;
    InstanceFolder(InstanceFolder&& other) noexcept;
    InstanceFolder& operator=(InstanceFolder&& other) noexcept;
    InstanceFolder(const InstanceFolder&) = delete;
    InstanceFolder& operator=(const InstanceFolder&) = delete;
    // Removes the folder with everything in it.
    ~InstanceFolder();

    // Makes the parent (mode 0700) when it is missing, removes the folders of programs that are
    // gone, and makes a new folder (mode 0700) for this program, locked until it is removed.
    static Result<InstanceFolder> create(const std::string& parentHostPath);

    bool exists() const { return m_lock >= 0; }
    // Host path of the folder, without a trailing "/".
    const std::string& hostPath() const { return m_path; }
    // Removes the folder with everything in it and lets go of its lock; nothing when there is none.
    void remove();

private:
    std::string m_parent;
    std::string m_path;
    int m_lock = -1;
};

} // namespace platform
