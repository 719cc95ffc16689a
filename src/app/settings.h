#pragma once

#include "archivewindow.h"
#include "registry.h"

#include <cstdint>
#include <optional>
#include <string>

namespace app {

// The user's settings, kept under one registry key and copied into memory at start-up.
struct Settings {
    std::int32_t splitterWidth = 320;  // left column of the four panes, pixels
    std::int32_t splitterHeight = 240; // top row of the four panes, pixels
    std::string sortType = "1";        // sort key code "1" to "6"
    std::string dialogDir;             // where the Open and New dialogs start
    std::int32_t includePathInfo = 0;  // adding and extracting keep folder paths
    std::int32_t useDriveA = 0;        // the folder tree reads the floppy drives
};

// The six sort keys, one flag each; at most one is set.
struct SortFlags {
    bool name = false;
    bool extension = false;
    bool fileSize = false;
    bool zippedSize = false;
    bool ratio = false;
    bool date = false;

    bool operator==(const SortFlags&) const = default;
};

inline constexpr char kSettingsKey[] = "SOFTWARE\\PellixZ";

// "1" Name, "2" Extension, "3" File Size, "4" Zipped Size, "5" Ratio, "6" Date; anything else
// sets no flag.
SortFlags sortFlagsFor(const std::string& sortType);

// The settings as the store held them when they were loaded (none: missing or unreadable there),
// so that saving writes back only what this program changed and keeps what another running
// program wrote meanwhile.
struct StoredSettings {
    std::optional<std::int32_t> splitterWidth;
    std::optional<std::int32_t> splitterHeight;
    std::optional<std::string> sortType;
    std::optional<std::string> dialogDir;
    std::optional<std::int32_t> includePathInfo;
    std::optional<std::int32_t> useDriveA;
};

enum class SettingsLoad { Loaded, FirstRun, Failed };

// Reads the settings key into settings. A first run (no key) creates the key and writes the
// defaults in the order SortType, DialogDir, IncludePathInfo, UseDriveA, SplitterWidth,
// SplitterHeight. A value that is missing, of the wrong type or too long for its buffer keeps
// its default. Failed: the key can be neither opened nor created (the caller shows the
// registry error and stops).
// stored, when given, receives what the store held.
SettingsLoad loadSettings(platform::Registry& registry, Settings& settings, StoredSettings* stored = nullptr);

// Writes the settings as the main window does when it goes away: SplitterWidth, SplitterHeight,
// SortType, DialogDir, IncludePathInfo, UseDriveA. A key that cannot be opened, or a failed write
// of one of the first four values, shows the registry error once and writes nothing more; a
// failed write of the last two, or of closing the key, shows it for that failure and goes on.
// Returns true when everything was written. With stored, only the values that differ from it
// are written, all in one write under the store's lock, and stored then holds what was written.
bool saveSettings(platform::Registry& registry, const Settings& settings, archive::ArchiveWindow& window,
                  StoredSettings* stored = nullptr);

} // namespace app
