#pragma once

#include "decoder.h"
#include "zipformat.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pkzip {

// The decryption stage of the extraction pipeline, between a member's packed bytes as they lie in the
// archive and its decoder.
struct Decryption {
    std::unique_ptr<ByteSource> owned; // a stage of its own over the packed bytes, when there is one
    ByteSource* source = nullptr;      // what the decoder reads: owned, or the packed bytes themselves
    uint16_t method = 0;               // the method of those bytes (an AES member names it in a field)
    bool checkCrc = true;              // false where the cipher's own check of the data replaces the CRC
    std::function<Status()> finish;    // checks made once the decoder is done (may be empty)
};

// The secrets a run was given for its encrypted members.
struct Secrets {
    std::optional<std::string> password;
};

// The stage for one member. A member that is not encrypted gets the identity stage: its packed bytes
// go to its own method's decoder as they are.
[[nodiscard]] Result<Decryption> openDecryption(const Entry& entry, ByteSource& packed,
                                                const Secrets& secrets);

} // namespace pkzip
