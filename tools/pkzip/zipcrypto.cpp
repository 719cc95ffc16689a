#include "zipcrypto.h"

#include "zipformat.h"

#include <zlib.h>

namespace pkzip {

namespace {

const z_crc_t* crcTable() {
    static const z_crc_t* table = get_crc_table();
    return table;
}

uint32_t crcStep(uint32_t crc, unsigned char byte) {
    return crcTable()[(crc ^ byte) & 0xff] ^ (crc >> 8);
}

} // namespace

ZipCrypto::ZipCrypto(std::string_view password) : m_keys{0x12345678u, 0x23456789u, 0x34567890u} {
    for (const char c : password) {
        update(static_cast<unsigned char>(c));
    }
}

void ZipCrypto::update(unsigned char plain) {
    m_keys[0] = crcStep(m_keys[0], plain);
    m_keys[1] = (m_keys[1] + (m_keys[0] & 0xff)) * 134775813u + 1;
    m_keys[2] = crcStep(m_keys[2], static_cast<unsigned char>(m_keys[1] >> 24));
}

unsigned char ZipCrypto::keyByte() const {
    const uint32_t temp = (m_keys[2] | 2) & 0xffff;
    return static_cast<unsigned char>((temp * (temp ^ 1)) >> 8);
}

void ZipCrypto::decrypt(unsigned char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        data[i] = static_cast<unsigned char>(data[i] ^ keyByte());
        update(data[i]);
    }
}

void ZipCrypto::encrypt(unsigned char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const unsigned char plain = data[i];
        data[i] = static_cast<unsigned char>(plain ^ keyByte());
        update(plain);
    }
}

unsigned char zipCryptoCheckByte(uint16_t flags, uint32_t crc, uint16_t dosTime) {
    return static_cast<unsigned char>((flags & kFlagDataDescriptor) != 0 ? dosTime >> 8 : crc >> 24);
}

} // namespace pkzip
