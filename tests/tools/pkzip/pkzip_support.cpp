#include "pkzip_support.h"

#include "sandbox.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace pkziptest {

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

pid_t spawnTool(const std::vector<std::string>& arguments, const std::string& outPath,
                const std::string& errPath) {
    const std::string program = testsupport::programDir() + "/PKZIP25.EXE";
    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return child;
}

} // namespace

void put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>((v >> 8) & 0xff);
}

void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

void put64(std::string& out, uint64_t v) {
    put32(out, static_cast<uint32_t>(v));
    put32(out, static_cast<uint32_t>(v >> 32));
}

ToolRun runTool(const std::vector<std::string>& arguments) {
    char outPattern[] = "/tmp/pkzip-out-XXXXXX";
    char errPattern[] = "/tmp/pkzip-err-XXXXXX";
    ::close(::mkstemp(outPattern));
    ::close(::mkstemp(errPattern));
    const pid_t child = spawnTool(arguments, outPattern, errPattern);
    int status = 0;
    ::waitpid(child, &status, 0);
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = readAll(outPattern);
    run.err = readAll(errPattern);
    ::unlink(outPattern);
    ::unlink(errPattern);
    return run;
}

int startTool(const std::vector<std::string>& arguments) {
    return spawnTool(arguments, "/dev/null", "/dev/null");
}

void writeList(const std::string& hostPath, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    testsupport::writeFile(hostPath, text);
}

Listing parseListing(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    Listing listing;
    if (lines.size() < 8) {
        return listing;
    }
    listing.header.assign(lines.begin(), lines.begin() + 8);
    const std::string& underline = lines[7];
    for (size_t i = 0; i < underline.size();) {
        if (underline[i] != '-') {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < underline.size() && underline[end] == '-') {
            ++end;
        }
        listing.starts.push_back(i);
        listing.widths.push_back(end - i);
        i = end;
    }
    if (listing.starts.size() != 8) {
        return listing;
    }
    auto field = [](const std::string& line, size_t start, size_t width) {
        return start < line.size() ? line.substr(start, width) : std::string();
    };
    auto number = [&](const std::string& line, size_t start, size_t width) {
        return std::strtoull(field(line, start, width).c_str(), nullptr, 10);
    };
    for (size_t k = 8; k < lines.size(); ++k) {
        const std::string& line = lines[k];
        if (line.size() > 2 && line[2] == '-') {
            listing.hasSeparator = true;
            if (k + 1 < lines.size()) {
                listing.totals = lines[k + 1];
            }
            break;
        }
        ListedMember member;
        member.line = line;
        member.sizeText = field(line, listing.starts[0], listing.widths[0]);
        member.size = number(line, listing.starts[0], listing.widths[0]);
        member.packedSize = number(line, listing.starts[2], listing.widths[2]);
        member.ratio = field(line, listing.starts[3], 5);
        const size_t date = listing.starts[4];
        member.month = static_cast<int>(number(line, date, 2));
        member.day = static_cast<int>(number(line, date + 3, 2));
        member.year = static_cast<int>(number(line, date + 6, 4));
        const size_t time = listing.starts[5];
        member.hour12 = static_cast<int>(number(line, time, 2));
        member.minute = static_cast<int>(number(line, time + 3, 2));
        member.ampm = time + 5 < line.size() ? line[time + 5] : ' ';
        member.path = listing.starts[7] < line.size() ? line.substr(listing.starts[7]) : std::string();
        listing.members.push_back(member);
    }
    return listing;
}

std::string deflateRaw(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, data.size()) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::vector<StoredRecord> storedRecords(const std::string& archive) {
    auto get16 = [&](size_t at) {
        return static_cast<uint16_t>(static_cast<unsigned char>(archive[at]) |
                                     (static_cast<unsigned char>(archive[at + 1]) << 8));
    };
    auto get32 = [&](size_t at) { return get16(at) | (static_cast<uint32_t>(get16(at + 2)) << 16); };
    std::vector<StoredRecord> records;
    const size_t end = archive.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos || end + 22 > archive.size()) {
        return records;
    }
    size_t at = get32(end + 16);
    for (uint32_t i = 0; i < get16(end + 10) && at + 46 <= archive.size(); ++i) {
        StoredRecord record;
        record.versionMadeBy = get16(at + 4);
        record.flags = get16(at + 8);
        record.externalAttributes = get32(at + 38);
        const size_t nameLength = get16(at + 28);
        const size_t extraLength = get16(at + 30);
        record.rawName = archive.substr(at + 46, nameLength);
        record.extra = archive.substr(at + 46 + nameLength, extraLength);
        records.push_back(record);
        at += 46 + nameLength + extraLength + get16(at + 32);
    }
    return records;
}

std::string buildArchive(const std::vector<FakeMember>& members) {
    std::string body;
    std::string central;
    std::vector<uint32_t> offsets;
    for (const FakeMember& member : members) {
        const std::string packed = member.method >= 0 ? member.packed
                                   : member.deflate   ? deflateRaw(member.data)
                                                      : member.data;
        const auto method = static_cast<uint32_t>(member.method >= 0 ? member.method
                                                  : member.deflate   ? 8
                                                                     : 0);
        const auto crc = static_cast<uint32_t>(
            member.declaredCrc >= 0 ? static_cast<uint32_t>(member.declaredCrc)
                                    : crc32(0, reinterpret_cast<const Bytef*>(member.data.data()),
                                            static_cast<uInt>(member.data.size())));
        const auto size =
            static_cast<uint32_t>(member.declaredSize >= 0 ? member.declaredSize : member.data.size());
        const auto packedSize =
            static_cast<uint32_t>(member.declaredPacked >= 0 ? member.declaredPacked : packed.size());
        offsets.push_back(static_cast<uint32_t>(body.size()));
        const uint32_t offset = member.offsetOf >= 0 ? offsets[static_cast<size_t>(member.offsetOf)]
                                                     : static_cast<uint32_t>(body.size());
        if (member.offsetOf < 0) {
            put32(body, 0x04034b50);
            put16(body, 20);
            put16(body, member.flags);
            put16(body, method);
            put16(body, member.dosTime);
            put16(body, member.dosDate);
            put32(body, crc);
            put32(body, packedSize);
            put32(body, size);
            put16(body, static_cast<uint32_t>(member.name.size()));
            put16(body, static_cast<uint32_t>(member.extra.size()));
            body += member.name;
            body += member.extra;
            body += packed;
        }
        put32(central, 0x02014b50);
        put16(central, member.unixMode != 0 ? (3 << 8) | 30 : 20);
        put16(central, 20);
        put16(central, member.flags);
        put16(central, method);
        put16(central, member.dosTime);
        put16(central, member.dosDate);
        put32(central, crc);
        put32(central, packedSize);
        put32(central, size);
        put16(central, static_cast<uint32_t>(member.name.size()));
        put16(central, static_cast<uint32_t>(member.extra.size()));
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put32(central, (member.unixMode << 16) | member.dosAttributes);
        put32(central, offset);
        central += member.name;
        central += member.extra;
    }
    std::string archive = body + central;
    put32(archive, 0x06054b50);
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, static_cast<uint32_t>(members.size()));
    put16(archive, static_cast<uint32_t>(members.size()));
    put32(archive, static_cast<uint32_t>(central.size()));
    put32(archive, static_cast<uint32_t>(body.size()));
    put16(archive, 0);
    return archive;
}

} // namespace pkziptest
