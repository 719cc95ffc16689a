// The archiver's own build links libbz2, liblzma, libzstd and libcrypto in, with the C library,
// so that a run starts without the dynamic loader: a chunked add starts the tool once per 500,000
// bytes, and binding the shared C library alone cost about a millisecond a start. A library's
// "loading" is then a look-up of its functions in the table below. The tests and the fuzzer keep
// runtimelib.cpp, which loads the shared libraries; this file takes its place in the tool only.

#include "runtimelib.h"

#include <bzlib.h>
#include <lzma.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <cstring>

namespace pkzip {

namespace {

struct LinkedFunction {
    const char* name;
    void* address;
};

template <class Function> void* addressOf(Function* function) {
    return reinterpret_cast<void*>(function);
}

const LinkedFunction kLinked[] = {
    {"BZ2_bzDecompressInit", addressOf(&BZ2_bzDecompressInit)},
    {"BZ2_bzDecompress", addressOf(&BZ2_bzDecompress)},
    {"BZ2_bzDecompressEnd", addressOf(&BZ2_bzDecompressEnd)},
    {"lzma_alone_decoder", addressOf(&lzma_alone_decoder)},
    {"lzma_stream_decoder", addressOf(&lzma_stream_decoder)},
    {"lzma_code", addressOf(&lzma_code)},
    {"lzma_end", addressOf(&lzma_end)},
    {"ZSTD_createDCtx", addressOf(&ZSTD_createDCtx)},
    {"ZSTD_freeDCtx", addressOf(&ZSTD_freeDCtx)},
    {"ZSTD_DCtx_setParameter", addressOf(&ZSTD_DCtx_setParameter)},
    {"ZSTD_decompressStream", addressOf(&ZSTD_decompressStream)},
    {"ZSTD_isError", addressOf(&ZSTD_isError)},
    {"ZSTD_getErrorCode", addressOf(&ZSTD_getErrorCode)},
    {"EVP_CIPHER_CTX_new", addressOf(&EVP_CIPHER_CTX_new)},
    {"EVP_CIPHER_CTX_free", addressOf(&EVP_CIPHER_CTX_free)},
    {"EVP_EncryptInit_ex", addressOf(&EVP_EncryptInit_ex)},
    {"EVP_EncryptUpdate", addressOf(&EVP_EncryptUpdate)},
    {"EVP_CIPHER_CTX_set_padding", addressOf(&EVP_CIPHER_CTX_set_padding)},
    {"EVP_aes_128_ecb", addressOf(&EVP_aes_128_ecb)},
    {"EVP_aes_192_ecb", addressOf(&EVP_aes_192_ecb)},
    {"EVP_aes_256_ecb", addressOf(&EVP_aes_256_ecb)},
    {"EVP_sha1", addressOf(&EVP_sha1)},
    {"PKCS5_PBKDF2_HMAC", addressOf(&PKCS5_PBKDF2_HMAC)},
    {"EVP_MAC_CTX_new", addressOf(&EVP_MAC_CTX_new)},
    {"EVP_MAC_CTX_free", addressOf(&EVP_MAC_CTX_free)},
    {"EVP_MAC_init", addressOf(&EVP_MAC_init)},
    {"EVP_MAC_update", addressOf(&EVP_MAC_update)},
    {"EVP_MAC_final", addressOf(&EVP_MAC_final)},
    {"EVP_MAC_fetch", addressOf(&EVP_MAC_fetch)},
    {"OSSL_PARAM_construct_utf8_string", addressOf(&OSSL_PARAM_construct_utf8_string)},
    {"OSSL_PARAM_construct_end", addressOf(&OSSL_PARAM_construct_end)},
};

} // namespace

RuntimeLibrary::RuntimeLibrary(const char* what, const char*) : m_what(what) {}

void* RuntimeLibrary::address(const char* symbol) {
    for (const LinkedFunction& function : kLinked) {
        if (std::strcmp(function.name, symbol) == 0) {
            return function.address;
        }
    }
    if (m_problem.empty()) {
        m_problem = m_what + " has no " + symbol;
    }
    return nullptr;
}

} // namespace pkzip
