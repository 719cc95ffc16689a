// Where a drag goes, what a drop does and what a transfer makes of each row, without a widget.
#include "fakewindow.h"
#include "formats.h"
#include "panerules.h"
#include "sandbox.h"
#include "transfers.h"
#include "treerules.h"

#include <gtest/gtest.h>

using views::DropAction;
using views::PanePlace;
using views::Role;
using views::RowStep;

namespace {

constexpr int kLocalTree = archive::kDragLocalTree;
constexpr int kLocalList = archive::kDragLocalList;
constexpr int kArchiveTree = archive::kDragArchiveTree;
constexpr int kArchiveList = archive::kDragArchiveList;

} // namespace

TEST(PaneRulesTest, APaneIsLeftOnlyTowardANeighbour) {
    const PanePlace localTree{0, 0}, localList{0, 1}, archiveTree{1, 0}, archiveList{1, 1};
    const struct {
        PanePlace place;
        views::PaneSides sides;
        bool leaves;
    } cases[] = {
        {localTree, {false, true, false, false}, true},    // right: the local list
        {localTree, {false, false, false, true}, true},    // below: the archive tree
        {localTree, {false, false, true, false}, false},   // above: the window's edge
        {localTree, {true, false, false, true}, false},    // left of it, even when below
        {localList, {true, false, false, false}, true},    // left: the local tree
        {localList, {false, true, false, true}, false},    // right of it, even when below
        {archiveTree, {false, false, true, false}, true},  // above: the local tree
        {archiveTree, {false, false, false, true}, false}, // below: the window's edge
        {archiveList, {false, false, true, false}, true},  // above: the local list
        {archiveList, {false, false, false, false}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(views::leavesPane(c.place, c.sides), c.leaves) << c.place.row << "," << c.place.column;
    }
    EXPECT_EQ(views::ownerFlagOf(localList), views::kOwnerLocalList);
    EXPECT_EQ(views::ownerFlagOf(archiveTree), views::kOwnerArchiveTree);
    EXPECT_EQ(views::siblingOwnerFlagOf(archiveList), views::kOwnerLocalList);

    // Tab goes round local tree, local list, archive tree, archive list; Shift+Tab the other way.
    const PanePlace cycle[] = {localTree, localList, archiveTree, archiveList};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(views::tabTarget(cycle[i], false), cycle[(i + 1) % 4]) << i;
        EXPECT_EQ(views::tabTarget(cycle[i], true), cycle[(i + 3) % 4]) << i;
    }
}

TEST(PaneRulesTest, RenameIsOfferedOnLocalRowsAndLocalFoldersOnly) {
    const struct {
        PanePlace place;
        bool onItem;
        bool folderItem;
        bool offered;
    } cases[] = {
        {{0, 1}, true, false, true},   // a file row of the local list
        {{0, 1}, true, true, true},    // a folder row
        {{0, 1}, false, false, false}, // the list's empty space
        {{1, 1}, true, false, false},  // the archive list
        {{0, 0}, true, true, true},    // a folder of the local tree
        {{0, 0}, true, false, false},  // a drive or the computer
        {{1, 0}, true, true, false},   // an archive folder
    };
    for (const auto& c : cases) {
        EXPECT_EQ(views::offersRename(c.place, c.onItem, c.folderItem), c.offered)
            << c.place.row << "," << c.place.column << " " << c.onItem << c.folderItem;
    }
}

TEST(PaneRulesTest, WhatTakesADropAndWhatTheDropDoes) {
    const struct {
        Role role;
        int kind;
        bool folderRowTakes;
        bool fileRowTakes;
        bool folderItemTakes;
        DropAction action;
        bool extracts;
    } cases[] = {
        {Role::Local, kLocalList, true, false, true, DropAction::CopyRows, false},
        {Role::Local, kLocalTree, true, false, true, DropAction::CopyFolder, false},
        {Role::Local, kArchiveList, true, false, true, DropAction::ExtractRows, true},
        {Role::Local, kArchiveTree, true, false, true, DropAction::ExtractFolder, true},
        {Role::Archive, kLocalList, true, false, true, DropAction::ZipCommand, false},
        {Role::Archive, kLocalTree, true, false, true, DropAction::ZipCommand, false},
        // The archive's own rows and folders take nothing over the archive.
        {Role::Archive, kArchiveList, false, false, false, DropAction::ZipCommand, false},
        {Role::Archive, kArchiveTree, false, false, false, DropAction::ZipCommand, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(views::listTakesDrop(c.role, true, c.kind), c.folderRowTakes) << c.kind;
        EXPECT_EQ(views::listTakesDrop(c.role, false, c.kind), c.fileRowTakes) << c.kind;
        const int folderKind = c.role == Role::Local ? views::kNodeLocalFolder : views::kNodeArchiveFolder;
        EXPECT_EQ(views::treeTakesDrop(c.role, folderKind, c.kind), c.folderItemTakes) << c.kind;
        EXPECT_EQ(views::dropAction(c.role, c.kind), c.action) << c.kind;
        EXPECT_EQ(views::isExtraction(c.action), c.extracts) << c.kind;
    }
    EXPECT_FALSE(views::treeTakesDrop(Role::Local, views::kNodeComputer, kLocalList));
    EXPECT_TRUE(views::treeTakesDrop(Role::Local, views::kNodeDrive, kArchiveTree));
    EXPECT_TRUE(views::treeTakesDrop(Role::Archive, views::kNodeArchiveRoot, kLocalTree));
}

TEST(TransferRulesTest, EachRowsStepAndTheOperationAfter) {
    const struct {
        bool deleteRequest;
        int kind;
        bool add;
        RowStep file;
        RowStep folder;
        bool runs;
    } cases[] = {
        {false, kLocalList, true, RowStep::AddItem, RowStep::AddLocalFolder, true},      // the Zip command
        {false, kLocalList, false, RowStep::CopyFile, RowStep::CopyFolder, false},       // a local copy
        {false, kArchiveList, false, RowStep::AddItem, RowStep::AddArchiveFolder, true}, // an extraction
        {true, kArchiveList, false, RowStep::AddItem, RowStep::AddArchiveFolder, true},  // a delete
        {true, kLocalList, false, RowStep::AddItem, RowStep::AddArchiveFolder, true},    // a delete
        {false, kLocalTree, false, RowStep::Nothing, RowStep::Nothing, false},
        {false, kArchiveList, true, RowStep::Nothing, RowStep::Nothing, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(views::transferStep(c.deleteRequest, c.kind, c.add, false), c.file) << c.kind << c.add;
        EXPECT_EQ(views::transferStep(c.deleteRequest, c.kind, c.add, true), c.folder) << c.kind << c.add;
        EXPECT_EQ(views::runsArchiveOperation(c.add, c.kind, c.deleteRequest), c.runs) << c.kind << c.add;
    }
    // The archiver is given a drive root as C:/ and any other folder without its separator.
    EXPECT_EQ(views::extractFolderOf("C:\\"), "C:/");
    EXPECT_EQ(views::extractFolderOf("C:\\out\\here\\"), "C:\\out\\here");
    EXPECT_EQ(views::extractFolderOf(""), "");
}

TEST(TransfersTest, RowsBecomeItemsFromTheirRecords) {
    testsupport::Sandbox sandbox;
    testsupport::FakeWindow window;
    archive::JobFiles files;
    std::string lastFolder;
    std::int32_t includePathInfo = 0;
    archive::RecentFileList recent;
    archive::ArchiveEngine engine(files, window, lastFolder, includePathInfo, recent);
    engine.state().entries = {{"a.txt", "docs", 12, 10, 1'000'000'000, " 0.0%", 0},
                              {"b.txt", "docs/old", 7, 7, 1'100'000'000, " 0.0%", 0}};
    engine.dragState().sourceKind = kArchiveList;

    // A member row with a time, one without, and a folder row: their name, size and date come
    // from the record, whatever the row's columns show.
    views::TransferSource source;
    source.role = Role::Archive;
    source.folder = "C:\\a.zip/docs/";
    views::ListRecord member;
    member.name = "a.txt";
    member.size = 12;
    member.time = 1'000'000'000;
    views::ListRecord undated = member;
    undated.name = "z.txt";
    undated.time = 0;
    views::ListRecord folder;
    folder.name = "old";
    folder.attributes = platform::kAttrDirectory;
    source.rows = {member, undated, folder};

    views::Transfers(engine, window, platform::DriveMap::current())
        .TransferSelection("C:\\out\\", false, source);

    std::vector<std::string> items;
    for (const archive::OperationItem& item : engine.state().operationItems) {
        items.push_back(item.name + "|" + std::to_string(item.size) + "|" + item.dateText);
    }
    EXPECT_EQ(items,
              (std::vector<std::string>{"C:\\a.zip/docs/a.txt|12|" + archive::FormatDateText(1'000'000'000),
                                        "C:\\a.zip/docs/z.txt|12|",
                                        "docs\\old\\b.txt|7|" + archive::FormatDateText(1'100'000'000)}));
    EXPECT_EQ(engine.state().extractDestination, "C:\\out");
    EXPECT_EQ(window.callsStartingWith("progress UnZipping").size(), 1u) << "the extraction ran";
}
