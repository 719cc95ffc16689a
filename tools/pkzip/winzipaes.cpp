#include "winzipaes.h"

#include "cryptolib.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <openssl/core_names.h>
#include <sys/random.h>
#include <utility>

namespace pkzip {

namespace {

constexpr int kIterations = 1000;

// One AES block as a vector of the compiler's (GCC and Clang), for the XOR of the keystream.
typedef uint64_t Block __attribute__((vector_size(16)));

size_t keySize(uint8_t strength) {
    return strength >= 1 && strength <= 3 ? 8u + 8u * strength : 0;
}

} // namespace

std::optional<AesField> findAesField(std::string_view extra) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(extra.data());
    for (size_t at = 0; at + 4 <= extra.size();) {
        const uint16_t id = get16(bytes + at);
        const size_t length = get16(bytes + at + 2);
        if (at + 4 + length > extra.size()) {
            return std::nullopt;
        }
        if (id == kAesFieldId) {
            const unsigned char* data = bytes + at + 4;
            // The vendor id is "AE", its versions AE-1 and AE-2.
            if (length < 7 || data[2] != 'A' || data[3] != 'E' || get16(data) < 1 || get16(data) > 2) {
                return std::nullopt;
            }
            AesField field;
            field.vendorVersion = get16(data);
            field.strength = data[4];
            field.method = get16(data + 5);
            return field;
        }
        at += 4 + length;
    }
    return std::nullopt;
}

std::string aesFieldBytes(const AesField& field) {
    std::string out;
    put16(out, kAesFieldId);
    put16(out, 7);
    put16(out, field.vendorVersion);
    out += "AE";
    out += static_cast<char>(field.strength);
    put16(out, field.method);
    return out;
}

size_t aesSaltSize(uint8_t strength) {
    return keySize(strength) / 2;
}

Result<std::string> deriveKeyBytes(std::string_view password, std::string_view salt, int iterations,
                                   size_t length) {
    Result<const CryptoLibrary*> library = CryptoLibrary::get();
    if (!library.ok()) {
        return library.error();
    }
    const CryptoLibrary& crypto = **library;
    std::string key(length, '\0');
    if (crypto.pbkdf2(password.data(), static_cast<int>(password.size()),
                      reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                      iterations, crypto.sha1(), static_cast<int>(length),
                      reinterpret_cast<unsigned char*>(key.data())) != 1) {
        return platform::makeError(EIO, "the AES keys cannot be derived");
    }
    return key;
}

Result<WinZipAes> WinZipAes::start(std::string_view password, uint8_t strength, std::string_view salt) {
    const size_t keyLength = keySize(strength);
    if (keyLength == 0 || salt.size() != aesSaltSize(strength)) {
        return platform::makeError(ENOTSUP, "its AES key strength " + std::to_string(strength) +
                                                " is not one of 128, 192 and 256 bits");
    }
    Result<const CryptoLibrary*> library = CryptoLibrary::get();
    if (!library.ok()) {
        return library.error();
    }
    const CryptoLibrary& crypto = **library;
    WinZipAes aes;
    aes.m_library = &crypto;
    // The encryption key, the authentication key and the verifier, in this order.
    Result<std::string> derivedBytes =
        deriveKeyBytes(password, salt, kIterations, 2 * keyLength + kAesVerifierSize);
    if (!derivedBytes.ok()) {
        return derivedBytes.error();
    }
    const auto* derived = reinterpret_cast<const unsigned char*>(derivedBytes->data());
    std::memcpy(aes.m_verifier.data(), derived + 2 * keyLength, kAesVerifierSize);
    const EVP_CIPHER* cipher = strength == 1   ? crypto.aes128()
                               : strength == 2 ? crypto.aes192()
                                               : crypto.aes256();
    aes.m_cipher = crypto.cipherNew();
    aes.m_mac = crypto.macNew(crypto.hmac);
    char digest[] = "SHA1";
    const OSSL_PARAM parameters[] = {crypto.paramString(OSSL_MAC_PARAM_DIGEST, digest, 0), crypto.paramEnd()};
    const bool ready = aes.m_cipher != nullptr && aes.m_mac != nullptr &&
                       crypto.encryptInit(aes.m_cipher, cipher, nullptr, derived, nullptr) == 1 &&
                       crypto.setPadding(aes.m_cipher, 0) == 1 &&
                       crypto.macInit(aes.m_mac, derived + keyLength, keyLength, parameters) == 1;
    std::fill(derivedBytes->begin(), derivedBytes->end(), '\0');
    if (!ready) {
        return platform::makeError(EIO, "the AES cipher cannot be started");
    }
    aes.m_used = aes.m_keystream.size();
    return aes;
}

WinZipAes::WinZipAes(WinZipAes&& other) noexcept {
    *this = std::move(other);
}

WinZipAes& WinZipAes::operator=(WinZipAes&& other) noexcept {
    if (this != &other) {
        release();
        m_library = std::exchange(other.m_library, nullptr);
        m_cipher = std::exchange(other.m_cipher, nullptr);
        m_mac = std::exchange(other.m_mac, nullptr);
        m_counter = other.m_counter;
        m_used = other.m_used;
        m_counters = other.m_counters;
        m_keystream = other.m_keystream;
        m_verifier = other.m_verifier;
        m_cipherFailed = other.m_cipherFailed;
        m_macFailed = other.m_macFailed;
    }
    return *this;
}

WinZipAes::~WinZipAes() {
    release();
}

void WinZipAes::release() {
    if (m_library != nullptr) {
        if (m_cipher != nullptr) {
            m_library->cipherFree(m_cipher);
        }
        if (m_mac != nullptr) {
            m_library->macFree(m_mac);
        }
    }
    m_cipher = nullptr;
    m_mac = nullptr;
    m_keystream.fill(0);
}

// WinZip's counter is a little-endian number starting at 1, not the big-endian one of the usual
// counter mode, so the blocks of counters are made here and encrypted many at a time in one call
// (which keeps the processor's AES instructions busy). Only the low 8 bytes of each block ever
// change: the high ones stay zero.
void WinZipAes::refillKeystream() {
    for (size_t block = 0; block < kKeystreamBlocks; ++block) {
        unsigned char* counter = m_counters.data() + 16 * block;
        const uint64_t value = ++m_counter;
        counter[0] = static_cast<unsigned char>(value);
        counter[1] = static_cast<unsigned char>(value >> 8);
        counter[2] = static_cast<unsigned char>(value >> 16);
        counter[3] = static_cast<unsigned char>(value >> 24);
        counter[4] = static_cast<unsigned char>(value >> 32);
        counter[5] = static_cast<unsigned char>(value >> 40);
        counter[6] = static_cast<unsigned char>(value >> 48);
        counter[7] = static_cast<unsigned char>(value >> 56);
    }
    int written = 0;
    if (m_library->encryptUpdate(m_cipher, m_keystream.data(), &written, m_counters.data(),
                                 static_cast<int>(m_counters.size())) != 1 ||
        written != static_cast<int>(m_keystream.size())) {
        m_cipherFailed = true;
    }
    m_used = 0;
}

void WinZipAes::applyKeystream(const char* in, char* out, size_t size) {
    const auto* from = reinterpret_cast<const unsigned char*>(in);
    auto* to = reinterpret_cast<unsigned char*>(out);
    while (size > 0) {
        if (m_used == m_keystream.size()) {
            refillKeystream();
        }
        const size_t n = std::min(size, m_keystream.size() - m_used);
        const unsigned char* key = m_keystream.data() + m_used;
        // Sixteen bytes at a time (a vector register): a byte at a time the XOR took as long as
        // the AES itself.
        size_t i = 0;
        for (; i + sizeof(Block) <= n; i += sizeof(Block)) {
            Block word;
            Block mask;
            std::memcpy(&word, from + i, sizeof word);
            std::memcpy(&mask, key + i, sizeof mask);
            word ^= mask;
            std::memcpy(to + i, &word, sizeof word);
        }
        for (; i < n; ++i) {
            to[i] = static_cast<unsigned char>(from[i] ^ key[i]);
        }
        from += n;
        to += n;
        size -= n;
        m_used += n;
    }
}

void WinZipAes::authenticate(const char* data, size_t size) {
    if (m_library->macUpdate(m_mac, reinterpret_cast<const unsigned char*>(data), size) != 1) {
        m_macFailed = true;
    }
}

void WinZipAes::decrypt(char* data, size_t size) {
    authenticate(data, size);
    applyKeystream(data, data, size);
}

void WinZipAes::encrypt(char* data, size_t size) {
    applyKeystream(data, data, size);
    authenticate(data, size);
}

Result<AesCode> WinZipAes::finish() {
    unsigned char full[64];
    size_t length = 0;
    if (m_cipherFailed || m_macFailed || m_library->macFinal(m_mac, full, &length, sizeof full) != 1 ||
        length < kAesCodeSize) {
        return platform::makeError(EIO, "the AES cipher failed");
    }
    AesCode code;
    std::memcpy(code.data(), full, kAesCodeSize);
    return code;
}

Status randomBytes(void* buffer, size_t size) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::getrandom(bytes, size, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return platform::errnoError("cannot get random bytes for the encryption");
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return Status::success();
}

} // namespace pkzip
