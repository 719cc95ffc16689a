#include "cryptolib.h"

#include "runtimelib.h"

#include <cerrno>

namespace pkzip {

CryptoLibrary::CryptoLibrary() {
    // Kept loaded for the rest of the run.
    static RuntimeLibrary library("libcrypto", PELLIX_LIBCRYPTO_SONAME);
    library.bind(cipherNew, "EVP_CIPHER_CTX_new");
    library.bind(cipherFree, "EVP_CIPHER_CTX_free");
    library.bind(encryptInit, "EVP_EncryptInit_ex");
    library.bind(encryptUpdate, "EVP_EncryptUpdate");
    library.bind(setPadding, "EVP_CIPHER_CTX_set_padding");
    library.bind(aes128, "EVP_aes_128_ecb");
    library.bind(aes192, "EVP_aes_192_ecb");
    library.bind(aes256, "EVP_aes_256_ecb");
    library.bind(sha1, "EVP_sha1");
    library.bind(pbkdf2, "PKCS5_PBKDF2_HMAC");
    library.bind(macNew, "EVP_MAC_CTX_new");
    library.bind(macFree, "EVP_MAC_CTX_free");
    library.bind(macInit, "EVP_MAC_init");
    library.bind(macUpdate, "EVP_MAC_update");
    library.bind(macFinal, "EVP_MAC_final");
    library.bind(paramString, "OSSL_PARAM_construct_utf8_string");
    library.bind(paramEnd, "OSSL_PARAM_construct_end");
    decltype(&EVP_MAC_fetch) fetch = nullptr;
    library.bind(fetch, "EVP_MAC_fetch");
    m_problem = library.problem();
    if (m_problem.empty()) {
        hmac = fetch(nullptr, "HMAC", nullptr);
        if (hmac == nullptr) {
            m_problem = "libcrypto offers no HMAC";
        }
    }
}

Result<const CryptoLibrary*> CryptoLibrary::get() {
    static const CryptoLibrary library;
    if (!library.m_problem.empty()) {
        return platform::makeError(ENOTSUP, library.m_problem);
    }
    return &library;
}

} // namespace pkzip
