#pragma once

#include "commandids.h"

namespace res {

// The text of a command's menu item and the prompt shown in status pane 0 while it is
// highlighted (also the toolbar's tip).
struct CommandText {
    int id;
    const char* menuText;
    const char* prompt;
};

inline constexpr char kFileMenuTitle[] = "&File          ";
inline constexpr char kSettingsMenuTitle[] = "&Settings          ";
inline constexpr char kArchiveMenuTitle[] = "&Archive";
inline constexpr char kHelpMenuTitle[] = "H&elp";

inline constexpr CommandText kCommandTexts[] = {
    {ID_FILE_NEW_ARCHIVE, "&New\tCtrl+N", "Create a New Zip Archive"},
    {ID_FILE_OPEN, "&Open\tCtrl+O", "Open an Existing Zip Archive"},
    {ID_ZIP_FILES, "&Zip Files\tCtrl+Z", "Add Files to the Zip Archive"},
    {ID_UNZIP_FILES, "&UnZip Files\tCtrl+U", "Extract Files from the Zip Archive"},
    {ID_REFRESH, "&Refresh\t[F5]", "Re-display all panes to reflect current data"},
    {ID_SELECT_ALL, "Select &All\tCtrl+A", "Select All ListView Items"},
    {ID_SET_ZIP_ASSOCIATION, "&Set .ZIP Association", "Make Pellix the Default Zip Program"},
    {ID_APP_EXIT, "E&xit\tCtrl+X", "Quit the application"},
    {ID_SORT_BY_CAPTION, "               Sort By:", ""},
    {ID_SORT_NAME, "&Name", "Sort By Name"},
    {ID_SORT_EXTENSION, "&Extension", "Sort By Extension"},
    {ID_SORT_FILE_SIZE, "&File Size", "Sort By File Size"},
    {ID_SORT_ZIPPED_SIZE, "&Zipped Size", "Sort By Zipped Size"},
    {ID_SORT_RATIO, "&Ratio of Size", "Ratio of Size"},
    {ID_SORT_DATE, "&Date", "Sort By Date"},
    {ID_INCLUDE_PATH_INFO, "&Include Path Info\tCtrl+I", "Include Path Info (when Zipping or UnZipping)"},
    {ID_OMIT_PATH_INFO, "O&mit Path Info\tCtrl+M", "Omit Path Info (when Zipping or UnZipping)"},
    {ID_USE_DRIVE_A, "&Use Drive A (and B)", "Read files from Drive A and Drive B"},
    {ID_HELP_FINDER, "&Contents\t[F1]", "List Help Topics"},
    {ID_HELP_SEARCH, "&Search", "Search Help Topics"},
    {ID_APP_ABOUT, "&About Pellix...", ""},
    {ID_ARCHIVE_TEST, "&Test Archive\tCtrl+T", "Check every member of the Zip Archive without extracting it"},
    {ID_ARCHIVE_PROPERTIES, "&Properties\tAlt+Enter",
     "Show the properties of the Zip Archive, or of the selected member or folder"},
    {ID_ARCHIVE_FIND, "&Find\tCtrl+F", "Find members of the Zip Archive by name or pattern"},
    {ID_ENCRYPT_ADDED_FILES, "Encrypt Added Files...",
     "Encrypt the Files Added to this Archive with AES-256"},
};

// The entries the archive panes' context menus add at their end, below a separator.
struct ContextEntry {
    int id;
    const char* text;
};
inline constexpr ContextEntry kArchiveContextEntries[] = {
    {ID_TEST_SELECTED, "&Test Selected"},
    {ID_ARCHIVE_PROPERTIES, "&Properties"},
    {ID_ARCHIVE_FIND, "&Find"},
};

// The Archive menu's items, in order (ID_SEPARATOR for a separator).
inline constexpr int kArchiveMenuItems[] = {ID_ARCHIVE_TEST, ID_ARCHIVE_PROPERTIES, ID_ARCHIVE_FIND,
                                            ID_SEPARATOR, ID_ENCRYPT_ADDED_FILES};

inline constexpr char kRecentFilePrompt[] = "Open this Zip Archive";

// The toolbar: command and label, 0 for a separator.
struct ToolbarButton {
    int id;
    const char* label;
};

inline constexpr ToolbarButton kToolbarButtons[] = {
    {ID_FILE_NEW_ARCHIVE, "New"},
    {ID_FILE_OPEN, "Open"},
    {0, nullptr},
    {ID_ZIP_FILES, "Zip"},
    {ID_UNZIP_FILES, "Unzip"},
    {0, nullptr},
    {ID_INCLUDE_PATH_INFO, "Include Path"},
    {ID_OMIT_PATH_INFO, "Omit Path"},
    {0, nullptr},
    {ID_HELP_FINDER, "Help"},
    {ID_APP_EXIT, "Exit"},
};

inline constexpr char kReadyText[] = "Ready";
inline constexpr char kLocalCountAtStart[] = "Local: 10000 Items ";
inline constexpr char kArchiveCountAtStart[] = "Zip: 15000 Items ";
inline constexpr char kTitlePrefix[] = "Pellix - ";

} // namespace res
