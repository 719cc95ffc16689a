#pragma once

#include "encryptedmember.h"
#include "guard.h"
#include "zipformat.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pkzip {

// A local file to store and the member name it gets.
struct NewMember {
    std::string hostPath;
    std::string storedName; // UTF-8, "/" between folders
};

// Problems with single files that did not stop the rest of the run.
using Problems = std::vector<std::string>;

// The files of one add, read and compressed on a few worker threads ahead of the writer and in its
// order, from the moment it is made: the compression runs while the archive is locked, its
// directory read and the journal flushed. The threads are made once, for the whole run. With an
// encryption, every file is encrypted after it is compressed.
class MemberPipeline {
public:
    explicit MemberPipeline(std::vector<NewMember> members,
                            std::optional<AddEncryption> encryption = std::nullopt);
    ~MemberPipeline();
    MemberPipeline(const MemberPipeline&) = delete;
    MemberPipeline& operator=(const MemberPipeline&) = delete;

    struct State;
    State& state() { return *m_state; }

private:
    std::unique_ptr<State> m_state;
};

// Adds members at the end of an existing archive in place: the old tail (the central directory and
// the end records, from place.centralOffset to the file's end) is saved in the journal, which the
// caller started and this seals before the archive is touched; the new members are written where
// the tail stood, then the old directory's records unchanged (copied from the journal) and the new
// ones. Time and space are in proportion to the new data and the directory's bytes, with no work
// per old member; oldRecords is how many records the old directory holds.
[[nodiscard]] Status appendToArchive(const ArchivePaths& paths, int archiveFd, const DirectoryPlace& place,
                                     uint64_t oldRecords, AppendJournal journal, MemberPipeline& members,
                                     Problems& problems);

// Builds a whole new archive beside the old one (the kept old members copied as they are, then
// the new members, if any), flushes it and renames it over the old one. Creates the archive when
// oldFd is -1. The old archive is untouched until the rename.
[[nodiscard]] Status rewriteArchive(const ArchivePaths& paths, int oldFd, const ArchiveIndex& old,
                                    const std::vector<bool>& keep, MemberPipeline* members,
                                    Problems& problems);

} // namespace pkzip
