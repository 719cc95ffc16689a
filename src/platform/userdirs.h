#pragma once

#include <string>

namespace platform {

// The user's home folder: $HOME, else the password database's entry.
std::string homeFolder();

// Where Pellix keeps the user's drive map and settings store: $XDG_CONFIG_HOME/pellix, else
// ~/.config/pellix. Tests point both variables at temporary folders.
std::string configFolder();

// The host path of the running executable (resolved, absolute).
std::string runningExecutable();

} // namespace platform
