#include "panerules.h"

#include "archivestate.h"
#include "treerules.h"

namespace views {

int ownerFlagOf(PanePlace place) {
    return place.isList() ? place.row : kOwnerLocalTree + place.row;
}

int siblingOwnerFlagOf(PanePlace place) {
    return ownerFlagOf(PanePlace{1 - place.row, place.column});
}

bool leavesPane(PanePlace place, const PaneSides& sides) {
    // The list's neighbour in its row is to its left, the tree's to its right; the other row is
    // below the local panes and above the archive panes.
    const bool awayFromRow = place.isList() ? sides.right : sides.left;
    const bool towardRow = place.isList() ? sides.left : sides.right;
    const bool towardOtherRow = place.row == 0 ? sides.below : sides.above;
    return !awayFromRow && (towardRow || towardOtherRow);
}

PanePlace tabTarget(PanePlace from, bool backwards) {
    const int order = from.row * 2 + from.column;
    const int next = (order + (backwards ? 3 : 1)) % 4;
    return PanePlace{next / 2, next % 2};
}

bool dragsFromArchive(int sourceKind) {
    return sourceKind == archive::kDragArchiveTree || sourceKind == archive::kDragArchiveList;
}

bool listTakesDrop(Role role, bool folderRow, int sourceKind) {
    return folderRow && !(role == Role::Archive && dragsFromArchive(sourceKind));
}

bool treeTakesDrop(Role role, int nodeKind, int sourceKind) {
    return nodeKind != kNodeComputer && (role == Role::Local || !dragsFromArchive(sourceKind));
}

bool offersRename(PanePlace place, bool onItem, bool folderItem) {
    return place.role() == Role::Local && onItem && (place.isList() || folderItem);
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos && name.find('/') == std::string::npos;
}

} // namespace views
