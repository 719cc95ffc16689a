#include "decryption.h"

namespace pkzip {

Result<Decryption> openDecryption(const Entry& entry, ByteSource& packed, const Secrets&) {
    if ((entry.flags & kFlagEncrypted) != 0) {
        return platform::makeError(ENOTSUP, "it is encrypted");
    }
    Decryption stage;
    stage.source = &packed;
    stage.method = entry.method;
    return stage;
}

} // namespace pkzip
