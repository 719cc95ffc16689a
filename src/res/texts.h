#pragma once

// The texts the program's own windows show, by name.
namespace res {

// The progress dialog of extract, add and delete.
inline constexpr char kNowProcessing[] = "Now Processing";
inline constexpr char kFilesCompleted[] = "Files Completed";
inline constexpr char kFileCountLabel[] = "File Count:";
inline constexpr char kFileSizesLabel[] = "File Sizes:";
inline constexpr char kProgressCancel[] = "&Cancel";
inline constexpr char kProgressHideProgram[] = "&Hide Program";
inline constexpr char kColumnName[] = "Name";
inline constexpr char kColumnSize[] = "Size";
inline constexpr char kColumnDateModified[] = "Date Modified";
inline constexpr char kProcessCancelled[] = "The process has been cancelled by the user.";
inline constexpr char kProcessCancelledCaption[] = "Process Cancelled";

// The About box.
inline constexpr char kAboutCaption[] = "About Pellix";
inline constexpr char kAboutVersion[] = "Pellix Version 4.60";
inline constexpr char kOk[] = "OK";

// The splash window shown while the program starts.
inline constexpr char kSplashCaption[] = "Pellix";
inline constexpr char kSplashText[] = "Opening Pellix - Please Wait ...";

// The help window.
inline constexpr char kHelpFileName[] = "pellix.html";
inline constexpr char kHelpCaption[] = "Pellix Help";
inline constexpr char kHelpContentsTab[] = "&Contents";
inline constexpr char kHelpSearchTab[] = "&Search";
inline constexpr char kHelpSearchPrompt[] = "&Type the word(s) you want to find:";
inline constexpr char kHelpSearchButton[] = "&List Topics";
inline constexpr char kHelpSearchNoTopics[] = "No topic contains all of these words.";
inline constexpr char kHelpSearchFound[] = "%1 topic(s) found.";
inline constexpr char kHelpDisplay[] = "&Display";
inline constexpr char kHelpBack[] = "&Back";
// %1: the help file's full path.
inline constexpr char kHelpFileMissing[] =
    "The help file %1 was not found. It belongs in the folder of the program; reinstall Pellix to "
    "restore it.";
inline constexpr char kHelpFileUnreadable[] = "The help file %1 could not be read.";
inline constexpr char kHelpFileEmpty[] = "The help file %1 contains no topics.";

// The four panes: list columns, status texts and tree nodes.
inline constexpr char kListColumnName[] = "Name";
inline constexpr char kListColumnFileSize[] = "File Size";
inline constexpr char kListColumnZipSize[] = "Zip Size";
inline constexpr char kListColumnRatio[] = "Ratio";
inline constexpr char kListColumnDateModified[] = "Date Modified";
inline constexpr char kLocalCountPrefix[] = "Local: ";
inline constexpr char kArchiveCountPrefix[] = "Zip: ";
inline constexpr char kCountSuffix[] = " Items";
inline constexpr char kReadingLocalDirectory[] = "Reading Local Directory - Please Wait";
inline constexpr char kReady[] = "Ready";
inline constexpr char kLocalComputer[] = "Local Computer";
inline constexpr char kDrivePrefix[] = "Drive ";
inline constexpr char kEmptyFolder[] = "Empty Folder";
inline constexpr char kBlankArchiveName[] = "blank.zip";

// File operations on the disk and the archive: messages, confirmations, status texts, the
// context menu of the four panes.
inline constexpr char kRenameFailed[] =
    "An invalid filename was entered, or a file with the name you specified already exists.";
inline constexpr char kRenameFailedCaption[] = "Error Renaming File";
inline constexpr char kDeleteFileFailed[] = "The program was unable to delete the specified file(s).";
inline constexpr char kDeleteFileFailedCaption[] = "Error Deleting File";
inline constexpr char kCreateFolderFailed[] = "The program was unable to create the new directory.";
inline constexpr char kCreateFolderFailedCaption[] = "Error Creating Directory";
inline constexpr char kCopyFileFailed[] = "The program was unable to copy the selected file(s).";
inline constexpr char kCopyFileFailedCaption[] = "Error Copying File";
inline constexpr char kDeleteFolderFailed[] = "The program was unable to delete the specified folder(s).";
inline constexpr char kDeleteFolderFailedCaption[] = "Error Deleting Folder";
inline constexpr char kSameFolder[] = "The destination folder is the same as the source folder.";
inline constexpr char kSameFolderCaption[] = "Error Copying Folder";
inline constexpr char kConfirmCopy[] = "Are you sure you want to copy the selected item(s)?";
inline constexpr char kConfirmCopyCaption[] = "Confirm File Copy";
inline constexpr char kConfirmUnzip[] = "Are you sure you want to Unzip the selected File(s)?";
inline constexpr char kConfirmUnzipCaption[] = "Confirm Unzip File(s)";
inline constexpr char kConfirmDelete[] = "Are you sure you want to delete the selected item(s)?";
inline constexpr char kConfirmDeleteCaption[] = "Confirm File Delete";
inline constexpr char kNoFilesToUnzip[] = "There are no files selected to Unzip.";
inline constexpr char kNoUnzipDestination[] =
    "Please first select a Treeview Folder as the Destination (in the upper-left quadrant).";
inline constexpr char kUnableToUnzipCaption[] = "Unable to Unzip Files";
// %1: the folder's path. A folder whose files cannot all be collected stops an add before it runs.
inline constexpr char kFolderUnreadable[] = "The program was unable to read the folder %1.";
inline constexpr char kFolderUnreadableCaption[] = "Unable to Add Files to the Archive";
inline constexpr char kCopyingStatus[] = "Copying Files - Please Wait ...";
inline constexpr char kUnzippingStatus[] = "UnZipping Files - Please Wait ...";
inline constexpr char kDeletingFilesStatus[] = "Deleting Files - Please Wait ...";
inline constexpr char kDeletingFilesStatusShort[] = "Deleting Files - Please Wait";
inline constexpr char kDeletingFolderStatus[] = "Deleting Folder - Please Wait";
inline constexpr char kCreatingFolderStatus[] = "Creating New Folder - Please Wait";
inline constexpr char kRenamingFileStatus[] = "Renaming File - Please Wait";
inline constexpr char kRenamingFolderStatus[] = "Renaming Folder - Please Wait";
inline constexpr char kNewFolderBase[] = "NewFolder";
inline constexpr char kMenuNewFolder[] = "&New Folder";
inline constexpr char kMenuRename[] = "&Rename";
inline constexpr char kMenuDelete[] = "&Delete";
// A member opened from the archive list: "Read-only copy of docs/x.txt from a.zip".
inline constexpr char kReadOnlyCopyOf[] = "Read-only copy of ";
inline constexpr char kReadOnlyCopyFrom[] = " from ";
// A file row no application could be started on: "No application opens a.xyz".
inline constexpr char kNoApplicationOpens[] = "No application opens ";

// The Properties window.
inline constexpr char kPropertiesComment[] = "Comment";
inline constexpr char kPropertiesEditComment[] = "&Edit Comment";
inline constexpr char kPropertiesSaveComment[] = "&Save Comment";
inline constexpr char kPropertiesCancelEdit[] = "Cancel";
inline constexpr char kPropertiesCopyAll[] = "C&opy All";
inline constexpr char kPropertiesClose[] = "Close";

// The find bar below the panes, and the archive list while it shows what was found.
inline constexpr char kFindLabel[] = "Find in the Zip Archive:";
inline constexpr char kFindPlaceholder[] = "a name, or a pattern such as *.json";
inline constexpr char kFindMatchCase[] = "Match &case";
inline constexpr char kFindClose[] = "Close";
inline constexpr char kListColumnFolder[] = "Folder";
// "12 found", "1 found", "none found".
inline constexpr char kFindFound[] = " found";
inline constexpr char kFindNoneFound[] = "none found";

// The box of a test that found a problem.
inline constexpr char kReportCopy[] = "C&opy";

} // namespace res
