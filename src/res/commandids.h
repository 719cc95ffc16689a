#pragma once

// Every command of the menus, the toolbar and the accelerators, by name. The Alt variants of the
// accelerators send ids of their own, bound to the same handlers as their Ctrl variants.
namespace res {

enum CommandId : int {
    ID_SEPARATOR = 0, // a separator in a menu or toolbar list, never a command
    ID_REFRESH = 32771,
    ID_RENAME = 32774,     // the panes' context menu
    ID_DELETE = 32775,     // the panes' context menu
    ID_NEW_FOLDER = 32776, // the panes' context menu
    ID_SORT_NAME = 32782,
    ID_SORT_EXTENSION = 32783,
    ID_SORT_FILE_SIZE = 32784,
    ID_SORT_DATE = 32785,
    ID_USE_DRIVE_A = 32786,
    ID_FILE_NEW_ARCHIVE = 32790,
    ID_SORT_BY_CAPTION = 32791,
    ID_SORT_BY_CAPTION_2 = 32792,
    ID_INCLUDE_PATH_INFO = 32793,
    ID_SET_ZIP_ASSOCIATION = 32794,
    ID_ZIP_FILES = 32795,
    ID_UNZIP_FILES = 32796,
    ID_SELECT_ALL = 32797,
    ID_OMIT_PATH_INFO = 32798,
    ID_SORT_ZIPPED_SIZE = 32811,
    ID_SORT_RATIO = 32812,
    ID_FILE_NEW_ALT = 32817,
    ID_FILE_OPEN_ALT = 32818,
    ID_ZIP_FILES_ALT = 32819,
    ID_UNZIP_FILES_ALT = 32820,
    ID_INCLUDE_PATH_INFO_ALT = 32821,
    ID_OMIT_PATH_INFO_ALT = 32822,
    ID_HELP_CONTENTS_ALT = 32823,
    ID_CLOSE_ALT = 32824,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_MRU_FILE1 = 57616,
    ID_FILE_MRU_FILE2 = 57617,
    ID_FILE_MRU_FILE3 = 57618,
    ID_FILE_MRU_FILE4 = 57619,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_HELP_FINDER = 57666, // Help Contents
    ID_HELP_SEARCH = 57667,
    ID_DEFAULT_HELP = 57671,

    // The Archive menu and the archive panes' context menu. 33000-33099 are the program's own
    // additions, in blocks of ten by feature.
    ID_ARCHIVE_TEST = 33001,
    ID_TEST_SELECTED = 33002, // the archive panes' context menu only
    ID_ARCHIVE_PROPERTIES = 33003,
    ID_ARCHIVE_FIND = 33004,
    ID_ENCRYPT_ADDED_FILES = 33010,
};

} // namespace res
