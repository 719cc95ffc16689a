#pragma once

#include "fileio.h"

#include <string>
#include <string_view>

namespace pkzip {

// An archive's host path and the side files kept beside it while it is being changed.
struct ArchivePaths {
    std::string archive;
    std::string folder;
    std::string journal; // the saved old tail of an archive being appended to
    std::string scratch; // the new archive being built by a rewrite
};

// Resolves symbolic links (a link is followed to the archive it names, never replaced by it).
ArchivePaths pathsFor(const std::string& hostArchive);

// A lock on the archive's folder: shared for readers, exclusive for writers. The folder rather
// than the archive file is locked because a rewrite renames a new file over the archive, and a
// lock on the old file would no longer guard the archive's name.
class ArchiveLock {
public:
    [[nodiscard]] static Result<ArchiveLock> acquire(const ArchivePaths& paths, bool exclusive);
    [[nodiscard]] Status makeExclusive();

private:
    FileHandle m_folder;
    std::string m_path;
    bool m_exclusive = false;
};

// True when an earlier run was interrupted and left a journal or a scratch file.
bool hasLeftovers(const ArchivePaths& paths);

// Finishes what an interrupted run left: a complete journal (of this version or the previous one)
// rolls the archive back to the state it records when the archive is still as the append left it;
// one that does not fit, or that this version cannot read, is set aside under a new name and the
// archive left alone; an incomplete one (the run died before touching the archive) is dropped; a
// scratch file is removed. Needs the exclusive lock.
[[nodiscard]] Status recoverInterrupted(const ArchivePaths& paths);

// The record that makes an in-place append undoable: the old archive's length, the bytes from
// the start of its central directory to its end and a CRC of the member data just before it,
// flushed to disk before the first byte of the archive is overwritten.
class AppendJournal {
public:
    // tail: the archive's bytes from centralOffset to oldSize, as the caller read them.
    [[nodiscard]] static Result<AppendJournal> begin(const ArchivePaths& paths, int archiveFd,
                                                     uint64_t oldSize, uint64_t centralOffset,
                                                     std::string_view tail);
    // Copies the first length bytes of the saved tail (the old directory's records) into the
    // archive at offset, from the journal file: the archive's own copy is overwritten by then.
    [[nodiscard]] Status copySavedTail(int archiveFd, uint64_t length, uint64_t offset) const;
    // Puts the old tail back and cuts the archive to its old length.
    [[nodiscard]] Status rollback(int archiveFd);
    // The append is durable: the journal goes.
    [[nodiscard]] Status commit();

private:
    ArchivePaths m_paths;
    FileHandle m_journal;
    uint64_t m_tailOffset = 0; // where the tail starts in the journal
    uint64_t m_oldSize = 0;
    uint64_t m_centralOffset = 0;
};

} // namespace pkzip
