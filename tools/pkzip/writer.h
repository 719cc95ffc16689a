#pragma once

#include "encryptedmember.h"
#include "freespace.h"
#include "guard.h"
#include "nameindex.h"
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

// Where an append writes: after the old members, into the free space before the directory when
// the archive has some (freeStart, checked against the directory), else where the directory
// starts. saved: the archive's bytes from savedFrom (the free space's name index or else its mark
// when there is some, else the directory's start) to its end, mapped; they must stay readable for
// the whole append. names: the free space's index of the member names, when it has one for this
// directory; the members then go below it.
struct AppendSite {
    const DirectoryPlace& place;
    std::optional<uint64_t> freeStart;
    uint64_t savedFrom = 0;
    std::string_view saved;
    std::optional<NameIndex> names;

    // Where the space new members may use ends.
    uint64_t roomEnd() const { return names ? names->start : place.centralOffset - kFreeSpaceMarkSize; }
    // The bytes a run into the free space writes over before the directory: the index's header (if
    // any) and the mark.
    uint64_t headerStart() const {
        return names ? names->headerStart() : place.centralOffset - kFreeSpaceMarkSize;
    }
    // The index's slots, as mapped.
    std::string_view nameSlots() const {
        return names ? saved.substr(0, static_cast<size_t>(8 * (names->sorted + names->capacity)))
                     : std::string_view();
    }
};

// The journal of an append: into free space only the mark and the end records are saved (the
// directory stays where it is); otherwise the whole tail, which the append writes over.
JournalPlan appendPlan(const AppendSite& site, bool intoFreeSpace);

// Adds members to an existing archive in place behind the journal the caller started with
// appendPlan(site, intoFreeSpace), which this seals before the archive is touched. Into free
// space the new members go where it starts and their records after the old ones; when a member
// does not fit (or its size is not known before it is written), the journal is widened to the
// whole tail and the directory moves. A moved directory (old records copied from the journal,
// then the new ones) lies past free space in proportion to its size, with a new name index at the
// space's top. Time is in proportion to the new data, with no work per old member but for the
// moves; oldRecords is how many records the old directory holds.
[[nodiscard]] Status appendToArchive(const ArchivePaths& paths, int archiveFd, const AppendSite& site,
                                     uint64_t oldRecords, AppendJournal journal, bool intoFreeSpace,
                                     MemberPipeline& members, Problems& problems);

// Builds a whole new archive beside the old one (the kept old members copied as they are, then
// the new members, if any), flushes it and renames it over the old one. Creates the archive when
// oldFd is -1. The old archive is untouched until the rename.
[[nodiscard]] Status rewriteArchive(const ArchivePaths& paths, int oldFd, const ArchiveIndex& old,
                                    const std::vector<bool>& keep, MemberPipeline* members,
                                    Problems& problems);

} // namespace pkzip
