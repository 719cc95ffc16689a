#include "decryption.h"

#include "zipcrypto.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

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

// Computes a member's authentication code on a thread of its own, over blocks handed to it in
// order. The HMAC-SHA1 costs more than the AES and the write together: beside them it no longer
// adds to the time of a large member.
class AsideAuthenticator {
public:
    explicit AsideAuthenticator(WinZipAes& cipher) : m_cipher(cipher), m_thread([this] { work(); }) {}
    AsideAuthenticator(const AsideAuthenticator&) = delete;
    AsideAuthenticator& operator=(const AsideAuthenticator&) = delete;

    ~AsideAuthenticator() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    // Queues a block; its bytes stay untouched until waitFor says the queue is short enough.
    void submit(const char* data, size_t size) {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back({data, size});
            ++m_outstanding;
        }
        m_changed.notify_all();
    }

    // Waits until at most `blocks` of those submitted are still being read.
    void waitFor(size_t blocks) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_outstanding <= blocks; });
    }

private:
    void work() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [&] { return m_stop || !m_queue.empty(); });
            if (m_stop) {
                return;
            }
            const auto [data, size] = m_queue.front();
            m_queue.pop_front();
            lock.unlock();
            m_cipher.authenticate(data, size);
            lock.lock();
            --m_outstanding;
            m_changed.notify_all();
        }
    }

    WinZipAes& m_cipher;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<const char*, size_t>> m_queue;
    size_t m_outstanding = 0;
    bool m_stop = false;
    std::thread m_thread; // last: started once everything it uses is made
};

// WinZip AES: the data between the verifier and the authentication code, authenticated and
// decrypted as they are read; the code is read and compared after the last of them. Members of
// kAsideSize bytes or more are authenticated on a second thread: their encrypted bytes are read
// into one of two blocks of the stage's own, decrypted from there into the caller's buffer while
// the other thread reads the same block for the code, and a block is read into again only once
// the code has taken it.
class AesSource : public ByteSource {
public:
    static constexpr uint64_t kAsideSize = uint64_t{1} << 20;
    static constexpr size_t kAsideBlock = 256u << 10;

    AesSource(ByteSource& packed, WinZipAes cipher, uint64_t dataSize)
        : m_packed(packed), m_cipher(std::move(cipher)), m_remaining(dataSize) {
        if (dataSize >= kAsideSize) {
            try {
                m_blocks = std::make_unique<char[]>(2 * kAsideBlock);
                m_aside = std::make_unique<AsideAuthenticator>(m_cipher);
            } catch (const std::exception&) {
                // Without the memory or the thread, the code is made here as the data pass.
                m_aside.reset();
            }
        }
    }

    Result<size_t> read(char* buffer, size_t size) override {
        size_t wanted = static_cast<size_t>(std::min<uint64_t>(size, m_remaining));
        if (wanted == 0) {
            return size_t{0};
        }
        if (!m_aside) {
            if (Status read = readExactly(m_packed, buffer, wanted); !read.ok()) {
                return read.error();
            }
            m_cipher.decrypt(buffer, wanted);
        } else {
            wanted = std::min(wanted, kAsideBlock);
            char* block = m_blocks.get() + m_nextBlock * kAsideBlock;
            m_nextBlock ^= 1;
            m_aside->waitFor(1); // the block read two calls ago is done with
            if (Status read = readExactly(m_packed, block, wanted); !read.ok()) {
                return read.error();
            }
            m_aside->submit(block, wanted);
            m_cipher.applyKeystream(block, buffer, wanted);
        }
        m_remaining -= wanted;
        return wanted;
    }

    Status finish() {
        if (m_remaining != 0) {
            return damaged("its encrypted data were not read to their end");
        }
        if (m_aside) {
            m_aside->waitFor(0);
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
    std::unique_ptr<char[]> m_blocks;
    size_t m_nextBlock = 0;
    std::unique_ptr<AsideAuthenticator> m_aside; // last: stopped before the blocks and the cipher go
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
