#pragma once

// The messages, captions and status texts of the archive engine and the start-up, by name.
// Header only, so the layers without widgets can use it.
namespace res {

inline constexpr char kApplicationTitle[] = "Pellix";

// Start-up and settings.
inline constexpr char kArchiverMissing[] =
    "The file PKZIP25.EXE must be contained in the same Directory as this program.";
inline constexpr char kRegistryError[] = "A Windows Registry Error was encountered.";
inline constexpr char kNotFoundSuffix[] = " was not found.";
inline constexpr char kWorkFolderError[] = "The program was unable to create its folder for work files:";

// Tool jobs and the listing.
inline constexpr char kJobFileError[] = "The program was unable to create a required Dependency File.";
inline constexpr char kOpeningStatus[] = "Opening Zip File - Please Wait ...";
inline constexpr char kReadyStatus[] = "Ready";
inline constexpr char kUnreadableArchive[] = "The Zip Archive could not be read completely:";
inline constexpr char kArchiverWorkingStatus[] = "The Archiver is Still Working - Please Wait ...";
inline constexpr char kStopArchiverQuestion[] =
    "The archiver is still working. Do you want to stop it?\n\nOK stops the archiver now. Cancel lets it "
    "finish.";
inline constexpr char kStopArchiverCaption[] = "Stop the Archiver";
// A path that would change what a job line or a list line says (one typed or stored by hand that
// holds a quote or a line break); nothing is run. The path follows on the next line.
inline constexpr char kUnsafeNameError[] =
    "The name of this file holds a character that cannot be handed to the archiver, so nothing was done:";
inline constexpr char kUnsafeNameCaption[] = "Unsafe File Name";

// Opening archives.
inline constexpr char kMissingFile[] = "The selected file does not exist.";
inline constexpr char kOpenFailedCaption[] = "Unable to Open Zip Archive";
inline constexpr char kOpenDialogTitle[] = "Open Zip File";
inline constexpr char kNewDialogTitle[] = "New Zip Archive";

// Operations.
inline constexpr char kTooLarge[] = "The maximum limit of 2 gigabytes has been exceeded.";
inline constexpr char kTooLargeCaption[] = "Unable to Add Files to the Archive";
inline constexpr char kZipQuestion[] =
    "Are you sure you want to Add the selected File(s) to the Zip Archive?";
inline constexpr char kZipQuestionCaption[] = "Confirm Zip File(s)";
inline constexpr char kZippingStatus[] = "Zipping Files - Please Wait ...";
inline constexpr char kArchiverFailed[] = "The archiver could not complete the operation:";

// The archive's properties and its comment.
inline constexpr char kReadingPropertiesStatus[] = "Reading Properties - Please Wait ...";
inline constexpr char kPropertiesCaption[] = "Properties";
inline constexpr char kPropertiesFailed[] = "The properties of the Zip Archive could not be read:";
inline constexpr char kArchiverSaidNothing[] = "The archiver gave no reason.";
inline constexpr char kNoArchiveYet[] =
    "The Zip Archive does not exist yet: it is made when the first files are added to it.";
inline constexpr char kSavingCommentStatus[] = "Saving the Comment - Please Wait ...";
inline constexpr char kCommentFailed[] = "The comment could not be stored:";
inline constexpr char kCommentFailedCaption[] = "Comment Not Changed";

// The three kinds of operation: progress title, completion message and caption, failure caption.
struct OperationTexts {
    const char* title;
    const char* done;
    const char* doneCaption;
    const char* failedCaption;
};
inline constexpr OperationTexts kExtractTexts = {"UnZipping Files - Please Wait ...",
                                                 "The Selected Files have been UnZipped.", "UnZip Completed",
                                                 "UnZip Failed"};
inline constexpr OperationTexts kAddTexts = {
    "Zipping Files - Please Wait ...", "The Selected Files have been Zipped.", "Zip Completed", "Zip Failed"};
inline constexpr OperationTexts kDeleteTexts = {"Deleting Files - Please Wait ...",
                                                "The Selected Files have been Deleted.", "Delete Completed",
                                                "Delete Failed"};
// A test's box names the counts: "All 120 tested members are intact.", "2 of 120 tested members
// failed the test:" followed by one line for each.
inline constexpr OperationTexts kTestTexts = {"Testing Files - Please Wait ...", "", "Test Completed",
                                              "Test Failed"};
inline constexpr char kTestAllIntact[] = " tested members are intact.";
inline constexpr char kTestOneIntact[] = "The tested member is intact.";
inline constexpr char kTestSomeFailed[] = " tested members failed the test:";
inline constexpr char kTestIncomplete[] = "The Zip Archive could not be tested completely:";
inline constexpr char kNothingToTest[] = "There are no members to test.";

} // namespace res
