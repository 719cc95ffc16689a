#pragma once

#include "sortkey.h"

#include <string>

namespace views {

// Where a pane sits in the window: row 0 the local disk, row 1 the archive; column 0 the tree,
// column 1 the list.
struct PanePlace {
    int row = 0;
    int column = 0;

    Role role() const { return row == 0 ? Role::Local : Role::Archive; }
    bool isList() const { return column == 1; }
    bool operator==(const PanePlace& other) const { return row == other.row && column == other.column; }
};

// The drag owner flags of the drag state, by pane: the pane whose flag is set shows the drag
// image and holds the mouse. At most one is set.
enum DragOwner : int {
    kOwnerLocalList = 0,
    kOwnerArchiveList = 1,
    kOwnerLocalTree = 2,
    kOwnerArchiveTree = 3,
};
int ownerFlagOf(PanePlace place);
// The owner flag of the other pane of the same kind (the other list, the other tree).
int siblingOwnerFlagOf(PanePlace place);

// Which sides of a pane's client area a point lies beyond.
struct PaneSides {
    bool left = false;
    bool right = false;
    bool above = false;
    bool below = false;
};
// Whether a drag whose pointer lies beyond these sides leaves the pane for a neighbour that takes
// it over: the pane beside it in its row, or the pane of the same column in the other row. A
// point beyond the window's outer edge does not leave: the drag stays with the pane.
bool leavesPane(PanePlace place, const PaneSides& sides);

// The pane Tab (or Shift+Tab, backwards) moves to: local tree, local list, archive tree,
// archive list, and round again.
PanePlace tabTarget(PanePlace from, bool backwards);

// Whether a row of a list takes a drop while a drag of sourceKind passes over it: folder rows
// only, and the archive list never from the archive's own side.
bool listTakesDrop(Role role, bool folderRow, int sourceKind);
// Whether a tree item of nodeKind takes a drop: any item but the computer in the local tree;
// in the archive folder tree only what comes from the local side.
bool treeTakesDrop(Role role, int nodeKind, int sourceKind);
// Whether a drag of sourceKind started on the archive's side (its tree or its list).
bool dragsFromArchive(int sourceKind);

// Whether the context menu offers Rename for what a click hit, and so whether F2 and a slow second
// click start a rename there: a row of the local file list, or a folder of the local tree.
bool offersRename(PanePlace place, bool onItem, bool folderItem);

// A name that renames in place: not empty and without a separator, which would move the item
// elsewhere.
bool isPlainName(const std::string& name);

} // namespace views
