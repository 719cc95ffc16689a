#include "hostnames.h"

#include <algorithm>
#include <cstdint>

namespace platform {

namespace {

constexpr std::uint32_t kCarrierBase = 0xF000;
constexpr std::uint32_t kPictureBase = 0x2400;
constexpr std::uint32_t kDeletePicture = 0x2421;
constexpr std::uint32_t kReplacement = 0xFFFD;

// The length of the valid UTF-8 character at text[at] and its code point; 0 when the bytes there
// are not one (a stray continuation byte, an overlong form, a surrogate, a cut-off character).
size_t utf8CharacterAt(std::string_view text, size_t at, std::uint32_t& code) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3F);
    }
    const std::uint32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool isCarrier(std::uint32_t code) {
    return code >= kCarrierBase && code <= kCarrierBase + 0xFF &&
           isCarriedByte(static_cast<unsigned char>(code));
}

bool isControl(std::uint32_t code) {
    return code < 0x20 || code == 0x7F;
}

std::uint32_t pictureOf(std::uint32_t control) {
    return control == 0x7F ? kDeletePicture : kPictureBase + control;
}

// The control character a picture stands for, or 0 for any other code point.
std::uint32_t controlOfPicture(std::uint32_t code) {
    if (code > kPictureBase && code < kPictureBase + 0x20) {
        return code - kPictureBase;
    }
    return code == kDeletePicture ? 0x7F : 0;
}

// Host bytes with some characters carried byte by byte as U+F000 plus the byte: those isCarried
// picks, and always a byte that is not UTF-8 and a character U+F000-U+F0FF, so that what comes
// out is UTF-8 and reads back as the same bytes.
template <class IsCarried> std::string carryBytes(std::string_view hostName, IsCarried isCarried) {
    std::string out;
    out.reserve(hostName.size());
    size_t at = 0;
    while (at < hostName.size()) {
        std::uint32_t code = 0;
        const size_t length = utf8CharacterAt(hostName, at, code);
        const bool carried =
            length == 0 || (code >= kCarrierBase && code <= kCarrierBase + 0xFF) || isCarried(code, length);
        if (!carried) {
            out.append(hostName.substr(at, length));
            at += length;
            continue;
        }
        const size_t bytes = length == 0 ? 1 : length;
        for (size_t k = 0; k < bytes; ++k) {
            appendUtf8(out, kCarrierBase + static_cast<unsigned char>(hostName[at + k]));
        }
        at += bytes;
    }
    return out;
}

} // namespace

bool isCarriedByte(unsigned char byte) {
    if (byte >= 0x80) {
        return true;
    }
    switch (byte) {
    case '"':
    case '*':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|':
    case 0x7F:
        return true;
    default:
        return byte != 0 && byte < 0x20;
    }
}

std::string windowsNameOf(std::string_view hostName) {
    return carryBytes(hostName, [](std::uint32_t code, size_t length) {
        return length == 1 && isCarriedByte(static_cast<unsigned char>(code));
    });
}

std::string memberNameOf(std::string_view hostName) {
    return carryBytes(hostName, [](std::uint32_t code, size_t length) {
        return code == '\\' || (length == 3 && controlOfPicture(code) != 0);
    });
}

std::string hostNameOf(std::string_view windowsName) {
    std::string out;
    out.reserve(windowsName.size());
    size_t at = 0;
    while (at < windowsName.size()) {
        std::uint32_t code = 0;
        const size_t length = utf8CharacterAt(windowsName, at, code);
        if (length == 3 && isCarrier(code)) {
            out += static_cast<char>(code - kCarrierBase);
            at += 3;
            continue;
        }
        const size_t bytes = length == 0 ? 1 : length;
        out.append(windowsName.substr(at, bytes));
        at += bytes;
    }
    return out;
}

std::string hostNameOfListed(std::string_view listedName) {
    std::string withControls;
    withControls.reserve(listedName.size());
    size_t at = 0;
    while (at < listedName.size()) {
        std::uint32_t code = 0;
        const size_t length = utf8CharacterAt(listedName, at, code);
        const std::uint32_t control = length == 3 ? controlOfPicture(code) : 0;
        if (control != 0) {
            withControls += static_cast<char>(control);
            at += 3;
            continue;
        }
        const size_t bytes = length == 0 ? 1 : length;
        withControls.append(listedName.substr(at, bytes));
        at += bytes;
    }
    return hostNameOf(withControls);
}

std::string shownNameOf(std::string_view name) {
    const std::string host = hostNameOf(name);
    std::string out;
    out.reserve(host.size());
    size_t at = 0;
    while (at < host.size()) {
        std::uint32_t code = 0;
        const size_t length = utf8CharacterAt(host, at, code);
        if (length == 0) {
            appendUtf8(out, kReplacement);
            ++at;
        } else if (isControl(code)) {
            appendUtf8(out, pictureOf(code));
            ++at;
        } else {
            out.append(host, at, length);
            at += length;
        }
    }
    return out;
}

std::string shownTextOf(std::string_view text) {
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        out += shownNameOf(text.substr(start, end - start));
        if (end < text.size()) {
            out += '\n';
        }
        start = end + 1;
    }
    return out;
}

std::string windowsNameFromTyped(std::string_view typed) {
    std::string out;
    out.reserve(typed.size());
    size_t at = 0;
    while (at < typed.size()) {
        std::uint32_t code = 0;
        const size_t length = utf8CharacterAt(typed, at, code);
        if (length == 0) {
            appendUtf8(out, kCarrierBase + static_cast<unsigned char>(typed[at]));
            ++at;
            continue;
        }
        std::uint32_t carried = length == 3 ? controlOfPicture(code) : 0;
        if (carried == 0 && length == 1 && isCarriedByte(static_cast<unsigned char>(code))) {
            carried = code;
        }
        if (carried != 0) {
            appendUtf8(out, kCarrierBase + carried);
        } else {
            out.append(typed.substr(at, length));
        }
        at += length;
    }
    return out;
}

size_t unsafeJobCharacter(std::string_view path) {
    size_t at = 0;
    while (at < path.size()) {
        std::uint32_t code = 0;
        const size_t length = utf8CharacterAt(path, at, code);
        if (length == 0 || code == '"' || isControl(code)) {
            return at;
        }
        at += length;
    }
    return std::string_view::npos;
}

} // namespace platform
