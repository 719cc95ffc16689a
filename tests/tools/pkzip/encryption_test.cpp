// Encrypted archives as the peers write them (7z, zip -P, bsdtar: traditional encryption and WinZip
// AES of every strength, AE-1 and AE-2), read by the tool with the password handed over in a file;
// and the tool's own encrypted adds, read back by the peers.

#include "pkzip_fixture.h"

#include <random>
#include <sys/stat.h>

namespace pkziptest {
namespace {

// ASCII: 7z refuses other characters in a ZIP password.
const char* const kPassword = "s3cret pass!";

class EncryptionTest : public PkzipTest {
protected:
    void SetUp() override {
        std::mt19937 random(19);
        std::string noise(70000, '\0');
        for (char& c : noise) {
            c = static_cast<char>(random());
        }
        std::string text;
        while (text.size() < 300000) {
            text += "line " + std::to_string(text.size()) + " of a letter nobody else may read\n";
        }
        m_files = {{"letter.txt", text}, {"noise.bin", noise}, {"tiny.txt", "hi"}};
        for (const auto& [name, contents] : m_files) {
            write("src/" + name, contents);
        }
    }

    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (const auto& file : m_files) {
            all.push_back(file.first);
        }
        return all;
    }

    // An extract with the password in a file of mode 0600, as the program hands it over; none:
    // without the switch.
    ToolRun extractWith(const std::string& archive, const std::vector<std::string>& members,
                        const std::optional<std::string>& password) const {
        writeList(host("temp.lst"), members);
        std::vector<std::string> arguments = {"-extract", "-overwrite=all", win(archive),
                                              "@" + win("temp.lst"), win("out")};
        if (password) {
            writePassword(*password);
            arguments.push_back("-password=@" + win("temp.pwd"));
        }
        return runTool(arguments);
    }

    void writePassword(const std::string& password) const {
        write("temp.pwd", password);
        ::chmod(host("temp.pwd").c_str(), 0600);
    }

    // The lines the program reads to ask again, one per member.
    static std::string refusals(const std::vector<std::string>& members, const std::string& why) {
        std::string lines;
        for (const std::string& member : members) {
            lines += "PKZIP25.EXE: " + member + ": not extracted: " + why + "\n";
        }
        return lines;
    }

    std::vector<std::pair<std::string, std::string>> m_files;
};

struct Maker {
    const char* label;
    const char* command; // run in src/, writes ../peer.zip
};

// Every encryption the peers write; bsdtar writes AE-1 (the CRC kept), 7z AE-2.
const Maker kMakers[] = {
    {"zip -P (traditional, data descriptors)", "zip -q -P \"$PW\" ../peer.zip *"},
    {"7z ZipCrypto", "7z a -tzip -bd -p\"$PW\" -mem=ZipCrypto ../peer.zip * >/dev/null"},
    {"7z AES-128", "7z a -tzip -bd -p\"$PW\" -mem=AES128 ../peer.zip * >/dev/null"},
    {"7z AES-192", "7z a -tzip -bd -p\"$PW\" -mem=AES192 ../peer.zip * >/dev/null"},
    {"7z AES-256", "7z a -tzip -bd -p\"$PW\" -mem=AES256 ../peer.zip * >/dev/null"},
    {"bsdtar AES-128 (AE-1)",
     "bsdtar --format zip --options zip:encryption=aes128 --passphrase \"$PW\" -cf ../peer.zip *"},
    {"bsdtar AES-256 (AE-1)",
     "bsdtar --format zip --options zip:encryption=aes256 --passphrase \"$PW\" -cf ../peer.zip *"},
    {"bsdtar traditional", "bsdtar --format zip --options zip:encryption=zipcrypt --passphrase \"$PW\" "
                           "-cf ../peer.zip *"},
};

TEST_F(EncryptionTest, PeersArchivesAreMarkedAndExtractOnlyWithTheRightPassword) {
    for (const Maker& maker : kMakers) {
        SCOPED_TRACE(maker.label);
        shell(std::string("rm -rf peer.zip out && export PW='") + kPassword + "' && cd src && " +
              maker.command);

        const Listing listing = parseListing(list("peer.zip").out);
        ASSERT_EQ(listing.members.size(), m_files.size());
        for (const ListedMember& member : listing.members) {
            EXPECT_EQ(member.line.substr(listing.starts[6] + 10, 1), "E") << member.line;
        }

        ToolRun run = extractWith("peer.zip", names(), std::nullopt);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, refusals(names(), "it is encrypted and no password was given"));

        run = extractWith("peer.zip", names(), std::string("not ") + kPassword);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, refusals(names(), "the password is wrong"));
        EXPECT_FALSE(exists("temp.pwd"));
        EXPECT_EQ(shell("ls -A out"), "");

        run = extractWith("peer.zip", names(), kPassword);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_FALSE(exists("temp.pwd"));
        for (const auto& [name, contents] : m_files) {
            EXPECT_TRUE(exists("out/" + name) && read("out/" + name) == contents) << name;
        }

        // A test reads them through the same decryption, with or without the password.
        for (const auto& [password, why] : {std::pair<std::optional<std::string>, std::string>{
                                                std::nullopt, "it is encrypted and no password was given"},
                                            {std::string("not ") + kPassword, "the password is wrong"},
                                            {std::string(kPassword), ""}}) {
            writeList(host("temp.lst"), names());
            std::vector<std::string> arguments = {"-test", win("peer.zip"), "@" + win("temp.lst")};
            if (password) {
                writePassword(*password);
                arguments.push_back("-password=@" + win("temp.pwd"));
            }
            run = runTool(arguments);
            std::string expected = refusals(names(), why);
            for (size_t at = 0; (at = expected.find(": not extracted: ", at)) != std::string::npos;) {
                expected.replace(at, 17, ": not tested: ");
            }
            EXPECT_EQ(run.err, why.empty() ? std::string() : expected);
            EXPECT_FALSE(exists("temp.pwd"));
        }
    }
}

// A member of a few bytes, and one large enough that its code is computed on a second thread
// while it is decrypted (the change then lies past several of the blocks handed over).
TEST_F(EncryptionTest, AesDataChangedAfterEncryptionFailTheirCheckAndLeaveNoFile) {
    std::mt19937 random(7);
    std::string large(3u << 20, '\0');
    for (char& c : large) {
        c = static_cast<char>(random());
    }
    write("src/large.bin", large);
    for (const auto& [name, contents] :
         {std::pair<std::string, std::string>{"tiny.txt", "hi"}, {"large.bin", large}}) {
        SCOPED_TRACE(name);
        shell(std::string("rm -f peer.zip && cd src && 7z a -tzip -bd -mx=0 -p'") + kPassword +
              "' -mem=AES256 ../peer.zip " + name + " >/dev/null");
        ToolRun run = extractWith("peer.zip", {name}, kPassword);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(read("out/" + name) == contents);
        shell("rm -rf out && mkdir out");

        std::string bytes = read("peer.zip");
        // Stored, so the data are the salt (16), the verifier (2), the encrypted bytes and the code.
        const size_t data = 30 + name.size() + 11 + 16 + 2;
        ASSERT_EQ(bytes.substr(30, name.size()), name);
        bytes[data + contents.size() * 3 / 4] ^= 1;
        write("peer.zip", bytes);
        run = extractWith("peer.zip", {name}, kPassword);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "PKZIP25.EXE: " + name +
                               ": not extracted: its encrypted data fail their authentication check "
                               "(damaged archive)\n");
        EXPECT_EQ(shell("ls -A out"), "");
    }
}

TEST_F(EncryptionTest, OwnEncryptedAddsAreReadBy7zBsdtarAndTheToolItself) {
    // Besides the small files: one streamed (over 8 MiB) and one read ahead in memory (over 1 MiB).
    std::string large;
    std::mt19937 random(7);
    while (large.size() < (9u << 20)) {
        large += "record " + std::to_string(random() % 1000) + "\n";
    }
    m_files.emplace_back("large.txt", large);
    m_files.emplace_back("middle.bin", large.substr(0, 3u << 20));
    m_files.emplace_back("empty.txt", "");
    for (const auto& [name, contents] : m_files) {
        write("src/" + name, contents);
    }
    std::vector<std::string> files;
    for (const std::string& name : names()) {
        files.push_back(win("src/" + name));
    }
    writeList(host("temp.lst"), files);
    writePassword(kPassword);
    ToolRun run = runTool({"-add", "-attr", win("own.zip"), "-include=@" + win("temp.lst"), "-encrypt=aes256",
                           "-password=@" + win("temp.pwd")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(exists("temp.pwd"));
    // A second add appends to the same archive, encrypted under the new salt of each member.
    write("src/later.txt", "added later");
    m_files.emplace_back("later.txt", "added later");
    writeList(host("temp.lst"), {win("src/later.txt")});
    writePassword(kPassword);
    run = runTool({"-add", "-attr", win("own.zip"), "-include=@" + win("temp.lst"), "-encrypt=aes256",
                   "-password=@" + win("temp.pwd")});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const Listing listing = parseListing(list("own.zip").out);
    ASSERT_EQ(listing.members.size(), m_files.size());
    for (const ListedMember& member : listing.members) {
        EXPECT_EQ(member.line.substr(listing.starts[6] + 10, 1), "E") << member.line;
    }
    const std::vector<std::pair<std::string, std::string>> readers = {
        {"7z", std::string("7z x -bd -y -p'") + kPassword + "' -o. ../own.zip >/dev/null"},
        {"bsdtar", std::string("bsdtar --passphrase '") + kPassword + "' -xf ../own.zip"},
        {"7z t", std::string("7z t -bd -p'") + kPassword + "' ../own.zip >/dev/null"},
    };
    for (const auto& [reader, command] : readers) {
        SCOPED_TRACE(reader);
        shell("rm -rf peer-out && mkdir peer-out && cd peer-out && " + command);
        if (reader != "7z t") {
            for (const auto& [name, contents] : m_files) {
                EXPECT_TRUE(exists("peer-out/" + name) && read("peer-out/" + name) == contents) << name;
            }
        }
    }
    run = extractWith("own.zip", names(), kPassword);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const auto& [name, contents] : m_files) {
        EXPECT_TRUE(exists("out/" + name) && read("out/" + name) == contents) << name;
    }
    EXPECT_EQ(extractWith("own.zip", {"later.txt"}, "wrong").err,
              "PKZIP25.EXE: later.txt: not extracted: the password is wrong\n");
}

TEST_F(EncryptionTest, APasswordIsTakenFromAFileOnly) {
    shell("cd src && zip -q ../plain.zip tiny.txt");
    struct Case {
        std::vector<std::string> tail;
        std::string why;
    };
    const Case cases[] = {
        {{"-password=secret"}, "a password is read from a file only: -password=@FILE"},
        {{"-encrypt=aes256"}, "-encrypt=aes256 belongs to an add, with -password=@FILE"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"-extract", "-overwrite=all", win("plain.zip"),
                                              "@" + win("temp.lst"), win("out")};
        arguments.insert(arguments.end(), c.tail.begin(), c.tail.end());
        writeList(host("temp.lst"), {"tiny.txt"});
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, "PKZIP25.EXE: " + c.why + "\n");
    }
    // The file goes even when the run can do nothing with it.
    writePassword(kPassword);
    const ToolRun run = extractWith("missing.zip", {"tiny.txt"}, kPassword);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_FALSE(exists("temp.pwd"));
}

} // namespace
} // namespace pkziptest
