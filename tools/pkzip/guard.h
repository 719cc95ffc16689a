#pragma once

#include "fileio.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// What undoes an in-place change of an archive: saved bytes put back where they lay, a stretch
// made zeros again (what the change wrote into free space), and the archive cut to its old length.
// It is applied only to the archive it was made for, found unchanged where the change does not
// write: the member data just before guardEnd and, when given, the stretch keptFrom..keptTo.
struct JournalPlan {
    struct Piece {
        uint64_t offset = 0;
        std::string_view bytes; // must stay readable until the journal is sealed
    };
    uint64_t oldSize = 0;
    std::vector<Piece> pieces;
    uint64_t clearFrom = 0;
    uint64_t clearTo = 0;
    uint64_t guardEnd = 0;
    uint64_t keptFrom = 0;
    uint64_t keptTo = 0;
};

// The record that makes an in-place change undoable (see JournalPlan), flushed to disk before
// the first byte the archive still needs is overwritten.
class AppendJournal {
public:
    // tail: the archive's bytes from centralOffset to oldSize, as the caller read them; it must stay
    // readable until seal() (later steps read the journal file). Undoes a change that writes from
    // centralOffset on.
    [[nodiscard]] static Result<AppendJournal> start(const ArchivePaths& paths, int archiveFd,
                                                     uint64_t oldSize, uint64_t centralOffset,
                                                     std::string_view tail);
    [[nodiscard]] static Result<AppendJournal> start(const ArchivePaths& paths, int archiveFd,
                                                     const JournalPlan& plan);
    // Makes the sealed record undo a larger change instead, flushed before this returns. Only for
    // a change that has so far written nothing the old record would have to put back: a run
    // killed while the record is being replaced leaves one cut short, which recovery drops.
    [[nodiscard]] Status replace(int archiveFd, const JournalPlan& plan);
    // Completes the record and makes it durable: the archive may be written from then on. On a
    // failure the record is removed and the archive must not be touched.
    [[nodiscard]] Status seal();
    // Copies length bytes of a saved piece, from skip bytes into it, into the archive at offset,
    // from the journal file: the archive's own copy may be overwritten by then.
    [[nodiscard]] Status copySaved(size_t piece, uint64_t skip, uint64_t length, int archiveFd,
                                   uint64_t offset) const;
    // Undoes the change (see JournalPlan).
    [[nodiscard]] Status rollback(int archiveFd);
    // The change is durable: the journal goes, and its removal is flushed, so that a power cut
    // after a reported change can never undo it.
    [[nodiscard]] Status commit();
    // Ends a change whose writing went as `written` says: on success the archive is cut to length,
    // flushed and the change committed; on any failure it is rolled back, and if even that fails
    // the error says that `restoredLater` (what the next run's recovery puts back).
    [[nodiscard]] Status finish(int archiveFd, Status written, uint64_t length,
                                const std::string& archivePath, const std::string& restoredLater);

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

    [[nodiscard]] Status write(int archiveFd, const JournalPlan& plan);
    [[nodiscard]] Status writeTrailer();

    ArchivePaths m_paths;
    FileHandle m_journal;
    Unsealed m_unsealed;
    std::string m_header;
    std::vector<std::string_view> m_pieceBytes; // until sealed
    std::vector<uint64_t> m_pieceStarts;        // where each piece's bytes start in the journal
    uint64_t m_end = 0;                         // where the closing CRC goes
    JournalPlan m_plan;                         // its pieces' bytes are not used after sealing
};

} // namespace pkzip
