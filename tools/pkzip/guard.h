#pragma once

#include "fileio.h"

#include <string>
#include <string_view>
#include <utility>

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
//
// It is made in two steps so that the disk writes the large part while the directory is checked:
// start() writes everything but the closing CRC and sets the disk writing; seal() adds the CRC and
// waits for the flush. A record without its CRC is dropped by recovery as cut short, so one left by
// a run that died in between, or that never sealed it, does no harm; an unsealed record is removed
// when the object goes.
class AppendJournal {
public:
    // tail: the archive's bytes from centralOffset to oldSize, as the caller read them; it must stay
    // readable until seal() (later steps read the journal file).
    [[nodiscard]] static Result<AppendJournal> start(const ArchivePaths& paths, int archiveFd,
                                                     uint64_t oldSize, uint64_t centralOffset,
                                                     std::string_view tail);
    // Completes the record and makes it durable: the archive may be written from then on. On a
    // failure the record is removed and the archive must not be touched.
    [[nodiscard]] Status seal();
    // Copies the first length bytes of the saved tail (the old directory's records) into the
    // archive at offset, from the journal file: the archive's own copy is overwritten by then.
    [[nodiscard]] Status copySavedTail(int archiveFd, uint64_t length, uint64_t offset) const;
    // Puts the old tail back and cuts the archive to its old length.
    [[nodiscard]] Status rollback(int archiveFd);
    // The append is durable: the journal goes.
    [[nodiscard]] Status commit();

private:
    // The path of a file that is removed when its owner goes, unless kept: the record until it is
    // sealed. Moving hands the duty over.
    class Unsealed {
    public:
        Unsealed() = default;
        explicit Unsealed(std::string path) : m_path(std::move(path)) {}
        Unsealed(Unsealed&& other) noexcept : m_path(std::exchange(other.m_path, {})) {}
        Unsealed& operator=(Unsealed&& other) noexcept {
            if (this != &other) {
                remove();
                m_path = std::exchange(other.m_path, {});
            }
            return *this;
        }
        ~Unsealed() { remove(); }
        void remove();
        void keep() { m_path.clear(); }

    private:
        std::string m_path;
    };

    ArchivePaths m_paths;
    FileHandle m_journal;
    Unsealed m_unsealed;
    std::string m_header;
    std::string_view m_tail;
    uint64_t m_tailOffset = 0; // where the tail starts in the journal
    uint64_t m_oldSize = 0;
    uint64_t m_centralOffset = 0;
};

} // namespace pkzip
