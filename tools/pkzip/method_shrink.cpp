// Method 1, Shrink (PKZIP 1.x): LZW with codes of 9 to 13 bits. Code 256 is followed by 1 (the codes
// grow by a bit) or 2 (a partial clear: every code that is no other code's prefix is freed, and
// freed codes are reused from the lowest up). The data end with the member's size.

#include "bitinput.h"

#include <algorithm>
#include <vector>

namespace pkzip {

namespace {

constexpr unsigned kCodes = 8192;
constexpr uint16_t kFree = 0xffff;
constexpr unsigned kControl = 256;

} // namespace

Status decodeShrink(const DecoderInput& member, ByteSource& source, ByteSink& sink) {
    if (member.size == 0) {
        return Status::success();
    }
    BitInput in(source);
    std::vector<uint16_t> parent(kCodes, kFree);
    std::vector<unsigned char> last(kCodes, 0); // the code's last byte
    std::vector<uint16_t> length(kCodes, 0);    // the length of the code's string
    for (unsigned c = 0; c < 256; ++c) {
        last[c] = static_cast<unsigned char>(c);
        length[c] = 1;
    }
    std::vector<char> output(kScratchSize);
    size_t held = 0;
    uint64_t produced = 0;
    unsigned size = 9;
    unsigned nextFree = 257;
    int previous = -1;
    char string[kCodes];
    while (produced < member.size) {
        in.refill();
        if (in.ranOut()) {
            return in.status().ok() ? dataEndEarly() : in.status();
        }
        unsigned code = in.take(size);
        if (code == kControl) {
            const unsigned command = in.take(size);
            if (command == 1 && size < 13) {
                ++size;
            } else if (command == 2) {
                std::vector<bool> isParent(kCodes, false);
                for (unsigned c = 257; c < kCodes; ++c) {
                    if (parent[c] != kFree) {
                        isParent[parent[c]] = true;
                    }
                }
                for (unsigned c = 257; c < kCodes; ++c) {
                    if (!isParent[c]) {
                        parent[c] = kFree;
                        length[c] = 0;
                    }
                }
                nextFree = 257;
            } else {
                return damagedData();
            }
            continue;
        }
        // The string of the code; a code not yet defined is the one being made (the previous string
        // and its own first byte).
        const bool undefined = code > kControl && parent[code] == kFree;
        const unsigned walk = undefined ? static_cast<unsigned>(previous) : code;
        if (code == kControl || (undefined && previous < 0) || length[walk] == 0) {
            return damagedData();
        }
        unsigned n = length[walk];
        for (unsigned at = n, c = walk; at-- > 0; c = parent[c]) {
            if (c >= kCodes) {
                return damagedData();
            }
            string[at] = static_cast<char>(last[c]);
        }
        if (undefined) {
            string[n++] = string[0];
        }
        // The new code: the previous string and this string's first byte.
        if (previous >= 0) {
            while (nextFree < kCodes && parent[nextFree] != kFree) {
                ++nextFree;
            }
            if (nextFree < kCodes) {
                if (length[previous] == 0 || length[previous] + 1u >= kCodes) {
                    return damagedData();
                }
                parent[nextFree] = static_cast<uint16_t>(previous);
                last[nextFree] = static_cast<unsigned char>(string[0]);
                length[nextFree] = static_cast<uint16_t>(length[previous] + 1);
                ++nextFree;
            }
        }
        previous = static_cast<int>(code);
        const size_t take = static_cast<size_t>(std::min<uint64_t>(n, member.size - produced));
        if (held + take > output.size()) {
            if (Status put = sink.put(output.data(), held); !put.ok()) {
                return put;
            }
            held = 0;
        }
        std::memcpy(output.data() + held, string, take);
        held += take;
        produced += take;
    }
    return sink.put(output.data(), held);
}

} // namespace pkzip
