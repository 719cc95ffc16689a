#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pkziptest {

// What one run of the archiver did.
struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs PKZIP25.EXE from the build's program folder with the given arguments, standard input
// closed, and waits for it.
ToolRun runTool(const std::vector<std::string>& arguments);
// Starts it without waiting; returns the process id.
int startTool(const std::vector<std::string>& arguments);

// Little-endian fields for hand-made archive bytes.
void put16(std::string& out, uint32_t v);
void put32(std::string& out, uint32_t v);
void put64(std::string& out, uint64_t v);

// Writes a list file with CR LF line ends.
void writeList(const std::string& hostPath, const std::vector<std::string>& lines);

// One member line of a listing, read by the columns the listing's underline gives.
struct ListedMember {
    std::string sizeText;
    uint64_t size = 0;
    uint64_t packedSize = 0;
    std::string ratio;
    int month = 0, day = 0, year = 0, hour12 = 0, minute = 0;
    char ampm = ' ';
    std::string path;
    std::string line;
};

struct Listing {
    std::vector<std::string> header; // the eight header lines
    std::vector<ListedMember> members;
    bool hasSeparator = false;
    std::string totals;
    // Column starts from the underline: size, method, packed, ratio, date, time, crc, path.
    std::vector<size_t> starts;
    std::vector<size_t> widths;
};

// Parses listing text the way the program's reader does (lines end in CR LF).
Listing parseListing(const std::string& text);

// A member for a hand-made archive: every field can lie.
struct FakeMember {
    std::string name; // raw bytes
    std::string data; // the uncompressed bytes
    bool deflate = false;
    uint16_t flags = 0;
    uint16_t dosTime = 0x4b00;   // 09:24
    uint16_t dosDate = 0x5a2f;   // 2025-01-15
    uint32_t unixMode = 0;       // when set, the member is marked as made on Unix with this mode
    uint8_t dosAttributes = 0;   // MS-DOS attributes (0x10: folder) in the low byte
    int64_t declaredSize = -1;   // -1: the true size
    int64_t declaredPacked = -1; // -1: the true packed size
    int64_t declaredCrc = -1;    // -1: the true CRC
    int64_t offsetOf = -1;       // >= 0: the central record points at that member's local header
    std::string extra;
    int method = -1;    // >= 0: this method id, with packed as the stored bytes
    std::string packed; // the member's compressed bytes for method
};

// One record of an archive's central directory, read here without the tool.
struct StoredRecord {
    uint16_t versionMadeBy = 0;
    uint16_t flags = 0;
    uint32_t externalAttributes = 0;
    std::string rawName;
    std::string extra;
};

// The records of the last central directory in the archive's bytes (no ZIP64 support).
std::vector<StoredRecord> storedRecords(const std::string& archive);

// Builds a ZIP archive from the members, exactly as described (no checks).
std::string buildArchive(const std::vector<FakeMember>& members);

std::string deflateRaw(const std::string& data);

} // namespace pkziptest
