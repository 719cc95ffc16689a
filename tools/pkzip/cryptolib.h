#pragma once

#include "fileio.h"

#include <openssl/evp.h>
#include <openssl/params.h>

namespace pkzip {

// OpenSSL's libcrypto (see runtimelib.h), bound the first time an encrypted member is read or
// written. Holds the few functions that
// WinZip AES needs (AES, HMAC-SHA1, PBKDF2); the contexts made from them belong to their callers.
class CryptoLibrary {
public:
    // The library, or the reason it cannot be had.
    [[nodiscard]] static Result<const CryptoLibrary*> get();

    decltype(&EVP_CIPHER_CTX_new) cipherNew = nullptr;
    decltype(&EVP_CIPHER_CTX_free) cipherFree = nullptr;
    decltype(&EVP_EncryptInit_ex) encryptInit = nullptr;
    decltype(&EVP_EncryptUpdate) encryptUpdate = nullptr;
    decltype(&EVP_CIPHER_CTX_set_padding) setPadding = nullptr;
    decltype(&EVP_aes_128_ecb) aes128 = nullptr;
    decltype(&EVP_aes_192_ecb) aes192 = nullptr;
    decltype(&EVP_aes_256_ecb) aes256 = nullptr;
    decltype(&EVP_sha1) sha1 = nullptr;
    decltype(&PKCS5_PBKDF2_HMAC) pbkdf2 = nullptr;
    decltype(&EVP_MAC_CTX_new) macNew = nullptr;
    decltype(&EVP_MAC_CTX_free) macFree = nullptr;
    decltype(&EVP_MAC_init) macInit = nullptr;
    decltype(&EVP_MAC_update) macUpdate = nullptr;
    decltype(&EVP_MAC_final) macFinal = nullptr;
    decltype(&OSSL_PARAM_construct_utf8_string) paramString = nullptr;
    decltype(&OSSL_PARAM_construct_end) paramEnd = nullptr;
    EVP_MAC* hmac = nullptr; // fetched once, kept for the run

private:
    CryptoLibrary();

    std::string m_problem;
};

} // namespace pkzip
