#include "decryption.h"

#include "zipcrypto.h"

#include <cstring>

namespace pkzip {

namespace {

constexpr uint16_t kFlagStrongEncryption = 0x0040;

Error damaged(const std::string& why) {
    return platform::makeError(EILSEQ, why + " (damaged archive)");
}

// Fills the whole buffer, or says the data end too soon.
Status readExactly(ByteSource& source, char* buffer, size_t size) {
    for (size_t done = 0; done < size;) {
        Result<size_t> n = source.read(buffer + done, size - done);
        if (!n.ok()) {
            return n.error();
        }
        if (*n == 0) {
            return damaged("its encrypted data are cut short");
        }
        done += *n;
    }
    return Status::success();
}

// Traditional encryption: every byte read is decrypted, the keys stirred by the plain bytes.
class ZipCryptoSource : public ByteSource {
public:
    ZipCryptoSource(ByteSource& packed, ZipCrypto keys) : m_packed(packed), m_keys(keys) {}

    Result<size_t> read(char* buffer, size_t size) override {
        Result<size_t> n = m_packed.read(buffer, size);
        if (n.ok()) {
            m_keys.decrypt(reinterpret_cast<unsigned char*>(buffer), *n);
        }
        return n;
    }

private:
    ByteSource& m_packed;
    ZipCrypto m_keys;
};

// WinZip AES: the data between the verifier and the authentication code, authenticated and
// decrypted as they are read; the code is read and compared after the last of them.
class AesSource : public ByteSource {
public:
    AesSource(ByteSource& packed, WinZipAes cipher, uint64_t dataSize)
        : m_packed(packed), m_cipher(std::move(cipher)), m_remaining(dataSize) {}

    Result<size_t> read(char* buffer, size_t size) override {
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(size, m_remaining));
        if (wanted == 0) {
            return size_t{0};
        }
        if (Status read = readExactly(m_packed, buffer, wanted); !read.ok()) {
            return read.error();
        }
        m_cipher.decrypt(buffer, wanted);
        m_remaining -= wanted;
        return wanted;
    }

    Status finish() {
        if (m_remaining != 0) {
            return damaged("its encrypted data were not read to their end");
        }
        AesCode stored{};
        if (Status read = readExactly(m_packed, reinterpret_cast<char*>(stored.data()), stored.size());
            !read.ok()) {
            return read;
        }
        Result<AesCode> computed = m_cipher.finish();
        if (!computed.ok()) {
            return computed.error();
        }
        if (*computed != stored) {
            return damaged("its encrypted data fail their authentication check");
        }
        return Status::success();
    }

private:
    ByteSource& m_packed;
    WinZipAes m_cipher;
    uint64_t m_remaining;
};

Result<Decryption> openTraditional(const Entry& entry, ByteSource& packed, const std::string& password,
                                   const LocalFields& local) {
    if (entry.packedSize < kZipCryptoHeaderSize) {
        return damaged("its encrypted data are cut short");
    }
    unsigned char header[kZipCryptoHeaderSize];
    if (Status read = readExactly(packed, reinterpret_cast<char*>(header), sizeof header); !read.ok()) {
        return read.error();
    }
    ZipCrypto keys(password);
    keys.decrypt(header, sizeof header);
    // Readers differ on whether the local header or the directory says which check byte was written;
    // where the two disagree either is taken (the data's checks still follow).
    const unsigned char check = header[kZipCryptoHeaderSize - 1];
    if (check != zipCryptoCheckByte(entry.flags, entry.crc, entry.dosTime) &&
        check != zipCryptoCheckByte(local.flags, local.crc, local.dosTime)) {
        return platform::makeError(kWrongPasswordCode, kWrongPasswordText);
    }
    Decryption stage;
    stage.owned = std::make_unique<ZipCryptoSource>(packed, keys);
    stage.source = stage.owned.get();
    stage.method = entry.method;
    stage.weakPasswordCheck = true;
    return stage;
}

Result<Decryption> openAes(const Entry& entry, const AesField& field, ByteSource& packed,
                           const std::string& password) {
    const size_t saltSize = aesSaltSize(field.strength);
    if (entry.packedSize < aesOverhead(field.strength)) {
        return damaged("its encrypted data are cut short");
    }
    std::string header(saltSize + kAesVerifierSize, '\0');
    if (Status read = readExactly(packed, header.data(), header.size()); !read.ok()) {
        return read.error();
    }
    Result<WinZipAes> cipher =
        WinZipAes::start(password, field.strength, std::string_view(header).substr(0, saltSize));
    if (!cipher.ok()) {
        return cipher.error();
    }
    if (std::memcmp(cipher->verifier().data(), header.data() + saltSize, kAesVerifierSize) != 0) {
        return platform::makeError(kWrongPasswordCode, kWrongPasswordText);
    }
    auto source = std::make_unique<AesSource>(packed, std::move(*cipher),
                                              entry.packedSize - aesOverhead(field.strength));
    Decryption stage;
    AesSource* aes = source.get();
    stage.owned = std::move(source);
    stage.source = aes;
    stage.method = field.method;
    // AE-1 keeps the CRC; AE-2 stores 0 in its place and leaves the check to the code.
    stage.checkCrc = field.vendorVersion != 2;
    stage.finish = [aes] { return aes->finish(); };
    return stage;
}

} // namespace

Result<Decryption> openDecryption(const Entry& entry, ByteSource& packed, const Secrets& secrets,
                                  const LocalFields& local) {
    if (!isEncrypted(entry)) {
        Decryption stage;
        stage.source = &packed;
        stage.method = entry.method;
        return stage;
    }
    if ((entry.flags & kFlagStrongEncryption) != 0) {
        return platform::makeError(ENOTSUP, "it uses PKWARE's strong encryption, which is not supported");
    }
    std::optional<AesField> aes;
    if (entry.method == kMethodAes) {
        aes = findAesField(entry.extra);
        if (!aes) {
            return damaged("its WinZip AES field is missing or damaged");
        }
        if (aesSaltSize(aes->strength) == 0) {
            return platform::makeError(ENOTSUP, "its AES key strength is not one of 128, 192 and 256 bits");
        }
    }
    if (!secrets.password) {
        return platform::makeError(kNoPasswordCode, kNoPasswordText);
    }
    return aes ? openAes(entry, *aes, packed, *secrets.password)
               : openTraditional(entry, packed, *secrets.password, local);
}

} // namespace pkzip
