#pragma once

// The questions an extract or an add asks before its jobs run, and their buttons, by name.
// Header only, so the layers without widgets can use it.
namespace res {

// An extraction that would replace files that differ from their members. %1: how many files,
// %2: the folder, %3: the first few files, one line each, %4: "" or a line saying how many more.
inline constexpr char kReplaceQuestion[] =
    "%1 file(s) in %2 would be replaced by members that differ from them:\n\n%3%4\n\nReplace them, or "
    "skip these members and extract the rest?";
inline constexpr char kReplaceQuestionCaption[] = "Confirm File Replace";
inline constexpr char kReplaceButton[] = "Replace";
inline constexpr char kSkipTheseButton[] = "Skip These";
inline constexpr char kCancelButton[] = "Cancel";
// One replaced file: its name, then its date and size on disk and in the archive.
inline constexpr char kReplaceLine[] = "%1   (on disk: %2, %3 bytes; in the archive: %4, %5 bytes)";
inline constexpr char kMoreLine[] = "\n... and %1 more";

// Members whose place at the destination is taken by something of the other kind. %1: the first
// few, one line each, %2: "" or a line saying how many more.
inline constexpr char kBlockedMessage[] =
    "These members are not extracted: a folder stands where a member's file would go, or a file "
    "where a member's folder would go, and neither is removed:\n\n%1%2";
inline constexpr char kBlockedCaption[] = "Members Not Extracted";
inline constexpr char kFolderInTheWay[] = "%1   (a folder is in the way)";
inline constexpr char kFileInTheWay[] = "%1   (the file %2 is in the way)";

// An add without path info that would store two files under one name. %1: how many names,
// %2: the first few, each with the files that share it, %3: "" or a line saying how many more.
inline constexpr char kRepeatedNamesQuestion[] =
    "Without path info, %1 name(s) would be stored more than once in this add, and only the last "
    "file of each would be kept:\n\n%2%3";
inline constexpr char kRepeatedNamesCaption[] = "Files With the Same Name";
inline constexpr char kIncludePathButton[] = "Include Path Info for this add";
inline constexpr char kFirstOfEachButton[] = "Add Only the First of Each";

// How many files a question or message names at most.
inline constexpr int kNamedAtMost = 5;

} // namespace res
