// The key derivation against the published vectors of PBKDF2-HMAC-SHA1 (RFC 6070), through the
// crypto library as the archiver loads it; and the wrong passwords that traditional encryption's
// one check byte lets through.

#include "pkzip_fixture.h"
#include "winzipaes.h"
#include "zipcrypto.h"
#include "zipformat.h"

#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace pkzip {
namespace {

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out += digits[static_cast<unsigned char>(c) >> 4];
        out += digits[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

TEST(KeyDerivation, GivesThePublishedPbkdf2HmacSha1Vectors) {
    struct Vector {
        std::string password;
        std::string salt;
        int iterations;
        size_t length;
        const char* expected;
    };
    const Vector vectors[] = {
        {"password", "salt", 1, 20, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"password", "salt", 2, 20, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"password", "salt", 4096, 20, "4b007901b765489abead49d926f721d065a429c1"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, 16,
         "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const Vector& vector : vectors) {
        Result<std::string> key =
            deriveKeyBytes(vector.password, vector.salt, vector.iterations, vector.length);
        ASSERT_TRUE(key.ok()) << key.error().message;
        EXPECT_EQ(hex(*key), vector.expected) << vector.password << " " << vector.iterations;
    }
}

// One time in 256 a wrong password passes the check byte; the data it decrypts then fail the CRC
// (stored) or do not even inflate (deflated), and the member is reported as having the wrong
// password, with nothing left on disk.
class ZipCryptoFalsePass : public pkziptest::PkzipTest {};

TEST_F(ZipCryptoFalsePass, IsReportedAsTheWrongPasswordAndLeavesNothing) {
    std::mt19937 random(3);
    std::string noise(5000, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    write("src/noise.bin", noise);
    write("src/text.txt", std::string(20000, 'x') + "the end\n");
    shell("cd src && 7z a -tzip -bd -pright -mem=ZipCrypto ../zc.zip noise.bin text.txt >/dev/null");
    const int fd = ::open(host("zc.zip").c_str(), O_RDONLY);
    Result<ArchiveIndex> index = readIndex(fd, host("zc.zip"));
    ASSERT_TRUE(index.ok());
    ASSERT_EQ(index->entries.size(), 2u);
    for (const Entry& entry : index->entries) {
        SCOPED_TRACE(entry.name);
        unsigned char local[kLocalHeaderSize];
        ASSERT_TRUE(readAt(fd, local, sizeof local, entry.localOffset, host("zc.zip")).ok());
        unsigned char header[kZipCryptoHeaderSize];
        ASSERT_TRUE(readAt(fd, header, sizeof header,
                           entry.localOffset + kLocalHeaderSize + get16(local + 26) + get16(local + 28),
                           host("zc.zip"))
                        .ok());
        std::string wrong;
        for (int guess = 0; wrong.empty(); ++guess) {
            const std::string candidate = "guess" + std::to_string(guess);
            unsigned char copy[kZipCryptoHeaderSize];
            std::copy(header, header + sizeof header, copy);
            ZipCrypto(candidate).decrypt(copy, sizeof copy);
            if (copy[11] == zipCryptoCheckByte(get16(local + 6), get32(local + 14), get16(local + 10))) {
                wrong = candidate;
            }
        }
        pkziptest::writeList(host("temp.lst"), {entry.name});
        write("temp.pwd", wrong);
        const pkziptest::ToolRun run =
            pkziptest::runTool({"-extract", "-overwrite=all", win("zc.zip"), "@" + win("temp.lst"),
                                win("out"), "-password=@" + win("temp.pwd")});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "PKZIP25.EXE: " + entry.name + ": not extracted: the password is wrong\n");
        EXPECT_EQ(shell("ls -A out"), "");
    }
    ::close(fd);
}

} // namespace
} // namespace pkzip
