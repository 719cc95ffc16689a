#pragma once

#include "fileio.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

typedef struct evp_cipher_ctx_st EVP_CIPHER_CTX;
typedef struct evp_mac_ctx_st EVP_MAC_CTX;

namespace pkzip {

class CryptoLibrary;

// WinZip AES: the member's method is 99 and its 0x9901 extra field names the real one. The data
// are the salt, a 2-byte password verifier, the data encrypted with AES in counter mode, and a
// 10-byte HMAC-SHA1 of the encrypted data.
constexpr uint16_t kMethodAes = 99;
constexpr uint16_t kAesFieldId = 0x9901;
constexpr size_t kAesVerifierSize = 2;
constexpr size_t kAesCodeSize = 10;

// The 0x9901 extra field.
struct AesField {
    uint16_t vendorVersion = 2; // 1: AE-1, CRC kept; 2: AE-2, CRC 0 (the code alone checks the data)
    uint8_t strength = 3;       // 1, 2, 3: AES-128, -192, -256
    uint16_t method = 0;        // the compression method under the encryption
};

// The field in a member's extra data; nothing when it has none or one that is not well formed.
std::optional<AesField> findAesField(std::string_view extra);
// The field's 11 bytes, as the writer stores them in the local and central headers.
std::string aesFieldBytes(const AesField& field);
// The salt's length for a strength: 8, 12 or 16 bytes; 0 for a strength there is none of.
size_t aesSaltSize(uint8_t strength);
// What the encryption adds to a member's data: salt, verifier and code.
inline size_t aesOverhead(uint8_t strength) {
    return aesSaltSize(strength) + kAesVerifierSize + kAesCodeSize;
}

// PBKDF2-HMAC-SHA1 through the crypto library: length bytes from the password and salt.
[[nodiscard]] Result<std::string> deriveKeyBytes(std::string_view password, std::string_view salt,
                                                 int iterations, size_t length);

using AesCode = std::array<unsigned char, kAesCodeSize>;

// The keys of one member, derived from the password and its salt (PBKDF2-HMAC-SHA1, 1000
// iterations), and the running cipher and authentication code over its data.
class WinZipAes {
public:
    // Fails only when the crypto library cannot be had or refuses the keys.
    [[nodiscard]] static Result<WinZipAes> start(std::string_view password, uint8_t strength,
                                                 std::string_view salt);
    WinZipAes(WinZipAes&& other) noexcept;
    WinZipAes& operator=(WinZipAes&& other) noexcept;
    WinZipAes(const WinZipAes&) = delete;
    WinZipAes& operator=(const WinZipAes&) = delete;
    ~WinZipAes();

    // The 2 bytes that the password gives and the archive stores after the salt.
    const std::array<unsigned char, kAesVerifierSize>& verifier() const { return m_verifier; }
    // Authenticates encrypted bytes, then decrypts them in place.
    void decrypt(char* data, size_t size);
    // Encrypts bytes in place and authenticates what they became.
    void encrypt(char* data, size_t size);
    // The two halves of decrypt, for a caller that authenticates on another thread: the data in
    // their order through each, the two never called at once on the same bytes being written.
    // applyKeystream writes in XOR the keystream to out (which may be in).
    void authenticate(const char* data, size_t size);
    void applyKeystream(const char* in, char* out, size_t size);
    // The code of everything authenticated so far; once only.
    [[nodiscard]] Result<AesCode> finish();

private:
    WinZipAes() = default;
    void release();
    void refillKeystream();

    static constexpr size_t kKeystreamBlocks = 256;
    const CryptoLibrary* m_library = nullptr;
    EVP_CIPHER_CTX* m_cipher = nullptr;
    EVP_MAC_CTX* m_mac = nullptr;
    uint64_t m_counter = 0;
    size_t m_used = 0;
    std::array<unsigned char, kKeystreamBlocks * 16> m_counters{}; // the next blocks' counters
    std::array<unsigned char, kKeystreamBlocks * 16> m_keystream{};
    std::array<unsigned char, kAesVerifierSize> m_verifier{};
    bool m_cipherFailed = false; // the two are set apart: authenticate may run on a thread of its own
    bool m_macFailed = false;
};

// Fills buffer with random bytes from the kernel, for salts.
[[nodiscard]] Status randomBytes(void* buffer, size_t size);

} // namespace pkzip
