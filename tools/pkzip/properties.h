#pragma once

#include "guard.h"
#include "writer.h"
#include "zipformat.h"

#include <string>
#include <string_view>
#include <vector>

namespace pkzip {

// The archive comment a ZIP end record can hold, in bytes.
constexpr size_t kMaximumCommentBytes = 0xffff;

// A value of the information text on one line: control characters and "\" written as C escapes
// ("\n", "\r", "\t", "\\", "\xHH"), every other byte as it is.
std::string escapeInfoValue(std::string_view text);

// Text that is not valid UTF-8 (an archive comment made on DOS) read as code page 437.
std::string textAsUtf8(std::string_view raw);

// The information text of docs/info-format.md for the archive open as fd and named archiveLabel:
// the archive's own section, then a section for each of memberNames (a name that matches no
// member gets a section with its error, and a line in problems). The directory is read once, a
// window at a time, so a summary of a million members costs little memory.
[[nodiscard]] Result<std::string> describeArchive(const std::string& archiveLabel, int fd,
                                                  const std::string& path,
                                                  const std::vector<std::string>& memberNames,
                                                  Problems& problems);

// Why a comment cannot be stored ("" when it can): longer than an end record holds, or holding
// the end record's signature, which would make readers take the comment for the end record.
std::string commentProblem(std::string_view comment);

// Replaces the archive comment. When the end record ends the file (as it does in archives this
// tool and its peers write), the end record is rewritten in place behind the append journal, so a
// kill in between rolls the archive back; otherwise a new archive is built beside the old one and
// renamed over it. Needs the exclusive lock.
[[nodiscard]] Status replaceComment(const ArchivePaths& paths, int fd, const std::string& comment,
                                    Problems& problems);

} // namespace pkzip
