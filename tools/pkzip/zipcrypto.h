#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pkzip {

// The 12 bytes in front of a member's data under PKWARE's traditional encryption.
constexpr size_t kZipCryptoHeaderSize = 12;

// PKWARE's traditional encryption ("ZipCrypto"): a stream cipher of three keys that every plain
// byte stirs, started from the password's bytes. Weak, but what most encrypted archives still use.
class ZipCrypto {
public:
    explicit ZipCrypto(std::string_view password);

    void decrypt(unsigned char* data, size_t size);
    void encrypt(unsigned char* data, size_t size);

private:
    uint32_t m_keys[3];
};

// The value the decrypted header's last byte must have: the CRC's high byte, or, for a member whose sizes and
// CRC follow its data (flag bit 3), the high byte of its DOS time. A wrong password passes this check one
// time in 256.
unsigned char zipCryptoCheckByte(uint16_t flags, uint32_t crc, uint16_t dosTime);

} // namespace pkzip
