#pragma once

namespace views {

// The key that orders both lists; None when the stored SortType named no key.
enum class SortKey { None, Name, Extension, FileSize, ZippedSize, Ratio, Date };

// 0 = the local file list or the local tree, 1 = the archive list or the archive folder tree.
enum class Role { Local = 0, Archive = 1 };

} // namespace views
