#include "zipcrypto.h"

#include "zipformat.h"

#include <zlib.h>

namespace pkzip {

namespace {

const z_crc_t* crcTable() {
    static const z_crc_t* table = get_crc_table();
    return table;
}

// The three keys, copied into locals by the loops below so that the compiler holds them in
// registers: kept in the object and stored back after every byte they cost about a fifth of the
// speed.
struct Keys {
    uint32_t k0, k1, k2;

    unsigned char keyByte() const {
        const uint32_t temp = (k2 | 2) & 0xffff;
        return static_cast<unsigned char>((temp * (temp ^ 1)) >> 8);
    }

    void update(const z_crc_t* table, unsigned char plain) {
        k0 = table[(k0 ^ plain) & 0xff] ^ (k0 >> 8);
        k1 = (k1 + (k0 & 0xff)) * 134775813u + 1;
        k2 = table[(k2 ^ (k1 >> 24)) & 0xff] ^ (k2 >> 8);
    }
};

} // namespace

ZipCrypto::ZipCrypto(std::string_view password) : m_keys{0x12345678u, 0x23456789u, 0x34567890u} {
    Keys keys{m_keys[0], m_keys[1], m_keys[2]};
    for (const char c : password) {
        keys.update(crcTable(), static_cast<unsigned char>(c));
    }
    m_keys[0] = keys.k0;
    m_keys[1] = keys.k1;
    m_keys[2] = keys.k2;
}

void ZipCrypto::decrypt(unsigned char* data, size_t size) {
    const z_crc_t* table = crcTable();
    Keys keys{m_keys[0], m_keys[1], m_keys[2]};
    for (size_t i = 0; i < size; ++i) {
        data[i] = static_cast<unsigned char>(data[i] ^ keys.keyByte());
        keys.update(table, data[i]);
    }
    m_keys[0] = keys.k0;
    m_keys[1] = keys.k1;
    m_keys[2] = keys.k2;
}

void ZipCrypto::encrypt(unsigned char* data, size_t size) {
    const z_crc_t* table = crcTable();
    Keys keys{m_keys[0], m_keys[1], m_keys[2]};
    for (size_t i = 0; i < size; ++i) {
        const unsigned char plain = data[i];
        data[i] = static_cast<unsigned char>(plain ^ keys.keyByte());
        keys.update(table, plain);
    }
    m_keys[0] = keys.k0;
    m_keys[1] = keys.k1;
    m_keys[2] = keys.k2;
}

unsigned char zipCryptoCheckByte(uint16_t flags, uint32_t crc, uint16_t dosTime) {
    return static_cast<unsigned char>((flags & kFlagDataDescriptor) != 0 ? dosTime >> 8 : crc >> 24);
}

} // namespace pkzip
