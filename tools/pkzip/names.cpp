#include "names.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <zlib.h>

namespace pkzip {

namespace {

// Unicode code points of CP437 bytes 0x80 to 0xFF.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

} // namespace

std::string decodeCp437(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        appendUtf8(out, byte < 0x80 ? byte : kCp437High[byte - 0x80]);
    }
    return out;
}

bool isAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        const uint32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string decodeMemberName(std::string_view raw, bool utf8Flag, std::string_view extra) {
    std::string name;
    decodeMemberNameInto(name, raw, utf8Flag, extra);
    return name;
}

void decodeMemberNameInto(std::string& out, std::string_view raw, bool utf8Flag, std::string_view extra) {
    if (utf8Flag && isValidUtf8(raw)) {
        out.assign(raw);
        return;
    }
    size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + pos);
        const uint16_t id = static_cast<uint16_t>(p[0] | (p[1] << 8));
        const uint16_t size = static_cast<uint16_t>(p[2] | (p[3] << 8));
        if (pos + 4 + size > extra.size()) {
            break;
        }
        if (id == 0x7075 && size >= 5 && p[4] == 1) {
            const uint32_t storedCrc = static_cast<uint32_t>(p[5]) | (static_cast<uint32_t>(p[6]) << 8) |
                                       (static_cast<uint32_t>(p[7]) << 16) |
                                       (static_cast<uint32_t>(p[8]) << 24);
            const uint32_t nameCrc = static_cast<uint32_t>(
                crc32(0, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uInt>(raw.size())));
            const std::string_view unicode = extra.substr(pos + 9, size - 5);
            if (storedCrc == nameCrc && isValidUtf8(unicode)) {
                out.assign(unicode);
                return;
            }
        }
        pos += 4 + size;
    }
    // Tools on Linux store their UTF-8 names as they are, without the flag; CP437 names almost
    // never form valid UTF-8 by chance.
    if (isValidUtf8(raw)) {
        out.assign(raw);
        return;
    }
    out = decodeCp437(raw);
}

namespace {

void appendVisible(std::string& out, std::string_view text, bool backslashAsSlash) {
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20) {
            appendUtf8(out, 0x2400 + byte);
        } else if (byte == 0x7F) {
            appendUtf8(out, 0x2421);
        } else if (backslashAsSlash && c == '\\') {
            out += '/';
        } else {
            out += c;
        }
    }
}

} // namespace

std::string listedName(std::string_view utf8Name) {
    std::string out;
    out.reserve(utf8Name.size());
    appendVisible(out, utf8Name, true);
    return out;
}

void appendListedName(std::string& out, std::string_view utf8Name) {
    appendVisible(out, utf8Name, true);
}

std::string escapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendVisible(out, text, false);
    return out;
}

std::string matchKey(std::string_view name) {
    std::string key(name);
    toMatchKey(key);
    return key;
}

void toMatchKey(std::string& name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    name.erase(0, std::min(name.find_first_not_of('/'), name.size()));
}

SafePath safeRelativePath(std::string_view listed, bool colonIsName) {
    SafePath result;
    if (!listed.empty() && isSeparator(listed.front())) {
        result.problem = "it is an absolute path";
        return result;
    }
    size_t start = 0;
    for (size_t i = 0; i <= listed.size(); ++i) {
        if (i < listed.size() && !isSeparator(listed[i])) {
            continue;
        }
        const std::string_view part = listed.substr(start, i - start);
        start = i + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            result.problem = "it climbs out of the destination folder with \"..\"";
            return result;
        }
        // "C:" at a name's start names a drive, except in a name made on Unix, where it is a name
        // like any other; a ":" anywhere else is an ordinary character.
        if (!colonIsName && result.parts.empty() && part.size() >= 2 && part[1] == ':' &&
            std::isalpha(static_cast<unsigned char>(part[0]))) {
            result.problem = "it names a drive";
            return result;
        }
        result.parts.emplace_back(part);
    }
    if (result.parts.empty()) {
        result.problem = "it has no file name";
    }
    return result;
}

} // namespace pkzip
