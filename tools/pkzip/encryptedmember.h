#pragma once

#include "winzipaes.h"
#include "zipformat.h"

#include <optional>
#include <string>

namespace pkzip {

// How the members of one add are encrypted: always AES-256 as WinZip writes it (AE-2), each
// member under its own random salt.
struct AddEncryption {
    std::string password;
};

// One member's encryption while the writer stores it: the bytes in front of its data (salt and
// password verifier), its data encrypted in place, and the authentication code after them.
class MemberEncryption {
public:
    [[nodiscard]] static Result<MemberEncryption> start(const AddEncryption& settings);

    // Marks a member as encrypted: method 99 with the real method in the AES extra field (local
    // and central headers), flag bit 0, no CRC (the code checks the data), and a packed size that
    // counts salt, verifier and code. Called once its method and packed size are known; called
    // again when they change, it only updates them.
    static void mark(Entry& entry, uint16_t realMethod, uint64_t compressedSize);

    const std::string& prefix() const { return m_prefix; }
    void encrypt(char* data, size_t size) { m_aes.encrypt(data, size); }
    // The authentication code, after the last byte.
    [[nodiscard]] Result<std::string> suffix();

private:
    MemberEncryption(WinZipAes aes, std::string prefix)
        : m_aes(std::move(aes)), m_prefix(std::move(prefix)) {}

    WinZipAes m_aes;
    std::string m_prefix;
};

// The size of what an encrypted member's data gain.
constexpr size_t kAes256Overhead = 16 + kAesVerifierSize + kAesCodeSize;

} // namespace pkzip
