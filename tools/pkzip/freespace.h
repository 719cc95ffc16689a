#pragma once

#include "guard.h"
#include "zipformat.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pkzip {

// An archive being added to in runs keeps free space between its last member's data and its
// central directory, so that most runs write their members into it and add their records after
// the old ones without moving the directory. The space is all zeros but for a mark in its last
// bytes, right before the directory, which says where it starts; every tool reads the archive as
// it is, and -compact takes the space out again.
constexpr uint64_t kFreeSpaceMarkSize = 32;

// The mark for free space from start up to centralOffset (the mark's own bytes included).
std::string freeSpaceMark(uint64_t start, uint64_t centralOffset);

// The start of the free space the bytes before centralOffset mark, when they hold a whole mark for
// this directory. Says nothing yet about whether the space is really free: see endOfMemberData.
std::optional<uint64_t> readFreeSpaceMark(int fd, const std::string& path, uint64_t centralOffset);

// Where the member's data end: after its local header, its data and nothing else. Nothing when
// that cannot be told from the header alone (a data descriptor follows) or the header is not there.
std::optional<uint64_t> endOfMemberData(int fd, const std::string& path, const Entry& entry);

// Whether from..to holds nothing but zeros, told from the file's holes and at most a block read at
// each end: so that space taken on the word of a mark and an index holds no member data. False
// when that cannot be told so cheaply (a file system without holes).
bool isClearStretch(int fd, const std::string& path, uint64_t from, uint64_t to);

// The free space to leave before a directory of this many bytes when it moves: enough that the
// directory moves only now and then, however large it grows.
uint64_t freeSpaceFor(uint64_t directoryBytes);

// The start of the archive's free space when it has some, checked against the directory: the
// mark must lie past the data of every member.
std::optional<uint64_t> freeSpaceOf(int fd, const std::string& path, const ArchiveIndex& index);

// Finds, among directory records seen one at a time, the member whose local header lies
// furthest into the file, and so where the archive's member data end.
class HighestMember {
public:
    // The record must stay readable until dataEnd (it points into the directory's bytes). Records
    // whose offset is in their ZIP64 field are read whole.
    [[nodiscard]] Status consider(const CentralRecord& record, uint64_t number, const std::string& path) {
        if (record.isMasked()) {
            return considerMasked(record, number, path);
        }
        note(record, get32(record.fields + 42), number);
        return Status::success();
    }
    // The same for a record already read, whose local header lies at offset.
    void note(const CentralRecord& record, uint64_t offset, uint64_t number) {
        if (!m_seen || offset >= m_offset) {
            m_record = record;
            m_offset = offset;
            m_number = number;
            m_seen = true;
        }
    }
    // Where the highest member's data end (0 without members); nothing when that cannot be told.
    std::optional<uint64_t> dataEnd(int fd, const std::string& path) const;

private:
    [[nodiscard]] Status considerMasked(const CentralRecord& record, uint64_t number,
                                        const std::string& path);

    CentralRecord m_record;
    bool m_seen = false;
    uint64_t m_offset = 0;
    uint64_t m_number = 0;
};

// Takes the free space out of an archive that has some: its directory moves down to where the
// member data end, behind a journal, and the archive becomes what it would be had it been written
// without the space. An archive without free space is left as it is.
[[nodiscard]] Status compactArchive(const ArchivePaths& paths, int fd);

} // namespace pkzip
