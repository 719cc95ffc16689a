#pragma once

#include "decoder.h"
#include "winzipaes.h"
#include "zipformat.h"

#include <cerrno>
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
    // Traditional encryption checks the password on one byte, so a wrong password passes one time in
    // 256 and decrypts noise: data that then fail their checks mean the password is wrong.
    bool weakPasswordCheck = false;
};

// The secrets a run was given for its encrypted members.
struct Secrets {
    std::optional<std::string> password;
};

// What the member's local header says, which the check byte of traditional encryption may follow.
struct LocalFields {
    uint16_t flags = 0;
    uint16_t dosTime = 0;
    uint32_t crc = 0;
};

// The two refusals the program reads to ask for the password, with their messages.
constexpr int kNoPasswordCode = ENOKEY;
constexpr int kWrongPasswordCode = EKEYREJECTED;
inline constexpr const char* kNoPasswordText = "it is encrypted and no password was given";
inline constexpr const char* kWrongPasswordText = "the password is wrong";

// Whether a member's data are encrypted: PKWARE's flag, or WinZip AES's method.
inline bool isEncrypted(const Entry& entry) {
    return (entry.flags & kFlagEncrypted) != 0 || entry.method == kMethodAes;
}

// The stage for one member. A member that is not encrypted gets the identity stage: its packed bytes
// go to its own method's decoder as they are. An encrypted one has the header of its encryption read
// and the password checked against it before a byte is decoded: kNoPasswordCode without a password,
// kWrongPasswordCode when the check fails. WinZip AES's authentication code is checked by finish.
[[nodiscard]] Result<Decryption> openDecryption(const Entry& entry, ByteSource& packed,
                                                const Secrets& secrets, const LocalFields& local = {});

} // namespace pkzip
