#include "encryptedmember.h"

namespace pkzip {

namespace {

constexpr uint8_t kStrength256 = 3;
// The version an extractor needs for WinZip AES.
constexpr uint16_t kVersionAes = 51;

// The extra data without an AES field of an earlier call.
std::string withoutAesField(const std::string& extra) {
    std::string kept;
    const auto* bytes = reinterpret_cast<const unsigned char*>(extra.data());
    size_t at = 0;
    while (at + 4 <= extra.size()) {
        const size_t length = get16(bytes + at + 2);
        const size_t end = std::min(extra.size(), at + 4 + length);
        if (get16(bytes + at) != kAesFieldId) {
            kept.append(extra, at, end - at);
        }
        at = end;
    }
    return kept;
}

} // namespace

Result<MemberEncryption> MemberEncryption::start(const AddEncryption& settings) {
    std::string salt(aesSaltSize(kStrength256), '\0');
    if (Status random = randomBytes(salt.data(), salt.size()); !random.ok()) {
        return random.error();
    }
    Result<WinZipAes> aes = WinZipAes::start(settings.password, kStrength256, salt);
    if (!aes.ok()) {
        return aes.error();
    }
    std::string prefix = salt;
    prefix.append(reinterpret_cast<const char*>(aes->verifier().data()), aes->verifier().size());
    return MemberEncryption(std::move(*aes), std::move(prefix));
}

void MemberEncryption::mark(Entry& entry, uint16_t realMethod, uint64_t compressedSize) {
    entry.extra = withoutAesField(entry.extra) + aesFieldBytes(AesField{2, kStrength256, realMethod});
    entry.method = kMethodAes;
    entry.flags |= kFlagEncrypted;
    entry.crc = 0;
    entry.versionNeeded = std::max(entry.versionNeeded, kVersionAes);
    entry.packedSize = compressedSize + kAes256Overhead;
}

Result<std::string> MemberEncryption::suffix() {
    Result<AesCode> code = m_aes.finish();
    if (!code.ok()) {
        return code.error();
    }
    return std::string(reinterpret_cast<const char*>(code->data()), code->size());
}

} // namespace pkzip
