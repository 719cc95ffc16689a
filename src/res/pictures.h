#pragma once

#include <QIcon>
#include <QPixmap>

namespace res {

// The row and node pictures of all four panes, 16 by 16, by index:
// 0 drive, 1 closed folder, 2 local file, 3 open folder, 4 closed archive folder, 5 archive file,
// 6 open archive folder, 7 computer, 8 archive.
inline constexpr int kSmallImageCount = 9;
QIcon smallImage(int index);

// The drag pictures, 32 by 32: 0 computer (a drag from the local side), 1 archive.
QPixmap largeImage(int index);

// The same picture with a small padlock in its lower right corner (each of its modes): an encrypted
// member, or a folder that holds one.
QIcon withLock(const QIcon& icon);

// The program's icon.
QIcon programIcon();

} // namespace res
