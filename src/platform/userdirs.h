#pragma once

#include <string>
#include <vector>

namespace platform {

// The user's home folder: $HOME, else the password database's entry.
std::string homeFolder();

// Where Pellix keeps the user's drive map and settings store: $XDG_CONFIG_HOME/pellix, else
// ~/.config/pellix. Tests point both variables at temporary folders.
std::string configFolder();

// Where the private folders of running programs are made (see InstanceFolder), best first:
// $XDG_RUNTIME_DIR/pellix when that variable names a folder of this user's, then the user's
// cache folder, $XDG_CACHE_HOME/pellix, else ~/.cache/pellix.
std::vector<std::string> instanceFolderParents();

// Where the private folders of running programs' large scratch work (the scratch archive, the
// copies handed to the desktop) are made: on disk, not in the runtime folder, which desktops keep
// in memory and small; $XDG_CACHE_HOME/pellix, else ~/.cache/pellix.
std::string scratchFolderParent();

// The host path of the running executable (resolved, absolute).
std::string runningExecutable();

} // namespace platform
