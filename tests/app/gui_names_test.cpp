// Names that a job line or a list file could not hold as they are, through the real program: the
// archive's name, a destination's, a local file's, and any byte a Linux name may hold.

#include "programcopy.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

namespace fs = std::filesystem;
using testsupport::contains;
using testsupport::count;
using testsupport::ProgramCopy;
using testsupport::Sandbox;
using testsupport::shellQuoted;

namespace {

// The members of an archive as Python's zipfile reads them, one ascii() of a name per line.
std::string memberNames(const std::string& archive) {
    std::string out;
    testsupport::runShell("python3 -c 'import sys, zipfile\n"
                          "for i in zipfile.ZipFile(sys.argv[1]).infolist(): print(ascii(i.filename))' " +
                              shellQuoted(archive) + " 2>&1",
                          &out);
    return out;
}

// A valid archive of one member, inside.txt, made by zip.
void writeZip(const Sandbox& sandbox, const std::string& relative) {
    const std::string made = sandbox.root() + "/made.zip";
    testsupport::writeFile(sandbox.root() + "/inside.txt", "inside");
    fs::remove(made);
    ASSERT_EQ(testsupport::runShell("cd " + shellQuoted(sandbox.root()) + " && zip -q made.zip inside.txt"),
              0);
    fs::create_directories(fs::path(sandbox.hostPath(relative)).parent_path());
    fs::copy_file(made, sandbox.hostPath(relative), fs::copy_options::overwrite_existing);
}

// A program that leaves a mark when anything runs it.
void writeTrap(const std::string& hostPath, const std::string& mark) {
    testsupport::writeFile(hostPath, "#!/bin/sh\necho ran > " + shellQuoted(mark) + "\n");
    fs::permissions(hostPath, fs::perms::owner_all);
}

const char kUnexpected[] = "unexpected";

} // namespace

// An archive named r.zip">".bashrc: adding to it once emptied ~/.bashrc and filled dl/r.zip.
TEST(GuiNamesTest, AnArchiveNameWithQuotesAndARedirectionIsOnlyAName) {
    ProgramCopy program;
    const Sandbox& box = program.sandbox;
    testsupport::writeFile(box.hostPath(".bashrc"), "keep");
    testsupport::writeFile(box.hostPath("src/a.txt"), "added");
    const std::string name = "dl/r.zip\">\".bashrc";
    writeZip(box, name);
    const std::string out = program.runScript("select local-tree C:\\src\\\n"
                                              "rows local-list a.txt\n"
                                              "answer OK\n"
                                              "command ID_ZIP_FILES\n",
                                              box.hostPath(name));
    EXPECT_EQ(testsupport::readFile(box.hostPath(".bashrc")), "keep");
    EXPECT_FALSE(fs::exists(box.hostPath("dl/r.zip")));
    EXPECT_EQ(memberNames(box.hostPath(name)), "'inside.txt'\n'a.txt'\n");
    EXPECT_TRUE(contains(out, "box Information|Zip Completed|The Selected Files have been Zipped. -> OK"))
        << out;
    EXPECT_FALSE(contains(out, kUnexpected)) << out;
}

// An archive named v.zip" -del "@l.lst beside v.zip: opening it once emptied v.zip.
TEST(GuiNamesTest, OpeningAnArchiveWhoseNameHoldsOptionsChangesNothing) {
    ProgramCopy program;
    const Sandbox& box = program.sandbox;
    writeZip(box, "dl/v.zip");
    const std::string before = testsupport::readFile(box.hostPath("dl/v.zip"));
    for (const char* list : {"l.lst", "dl/l.lst"}) {
        testsupport::writeFile(box.hostPath(list), "inside.txt\r\n");
    }
    const std::string name = "dl/v.zip\" -del \"@l.lst";
    writeZip(box, name);
    const std::string out = program.runScript("dump\n", box.hostPath(name));
    EXPECT_EQ(testsupport::readFile(box.hostPath("dl/v.zip")), before);
    EXPECT_TRUE(
        contains(out, "archive-list: Name | File Size | Zip Size | Ratio | Date Modified\n  inside.txt | 6"))
        << out;
    EXPECT_FALSE(contains(out, "box ")) << out;
}

// An archive named x, a line break and run ".zip: opening it once ran ./run.
TEST(GuiNamesTest, AnArchiveNameWithALineBreakRunsNothing) {
    for (const char* lineBreak : {"\n", "\r\n", "\r"}) {
        ProgramCopy program;
        const Sandbox& box = program.sandbox;
        const std::string mark = box.root() + "/ran";
        for (const char* trap : {"run", "dl/run", "Program Files/Pellix/run"}) {
            writeTrap(box.hostPath(trap), mark);
        }
        const std::string name = std::string("dl/x") + lineBreak + "run \".zip";
        writeZip(box, name);
        const std::string out = program.runScript("dump\n", box.hostPath(name));
        EXPECT_FALSE(fs::exists(mark)) << "a program ran";
        EXPECT_TRUE(contains(out, "  inside.txt | 6")) << out;
        EXPECT_FALSE(contains(out, "box ")) << out;
    }
}

// A local file named n, a line feed and keep.txt: its list line once asked for C:\one\n and for
// keep.txt in the working folder.
TEST(GuiNamesTest, ALocalFileNameWithALineFeedIsAddedAsItself) {
    ProgramCopy program;
    const Sandbox& box = program.sandbox;
    testsupport::writeFile(box.hostPath("one/n\nkeep.txt"), "the real one");
    testsupport::writeFile(box.hostPath("keep.txt"), "wrong");
    testsupport::writeFile(box.hostPath("Program Files/Pellix/keep.txt"), "wrong");
    fs::create_directories(box.hostPath("out"));
    const std::string out = program.runScript("file C:\\out\\four.zip\n"
                                              "command ID_FILE_NEW_ARCHIVE\n"
                                              "select local-tree C:\\one\\\n"
                                              "rows local-list *\n"
                                              "answer OK\n"
                                              "command ID_ZIP_FILES\n");
    EXPECT_EQ(memberNames(box.hostPath("out/four.zip")), "'n\\nkeep.txt'\n");
    std::string data;
    testsupport::runShell(
        "python3 -c 'import sys, zipfile; sys.stdout.write(zipfile.ZipFile(sys.argv[1]).read("
        "\"n\\nkeep.txt\").decode())' " +
            shellQuoted(box.hostPath("out/four.zip")),
        &data);
    EXPECT_EQ(data, "the real one");
    EXPECT_TRUE(contains(out, "box Information|Zip Completed|The Selected Files have been Zipped. -> OK"))
        << out;
}

namespace {

// What a folder holds, recursively: path -> kind, size, time and (for small files) the bytes.
std::map<std::string, std::string> walk(const std::string& root) {
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        std::string state = std::to_string(info.st_mode) + " " + std::to_string(info.st_size) + " " +
                            std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
        if (S_ISREG(info.st_mode) && info.st_size < 4096) {
            state += " " + testsupport::readFile(entry.path().string());
        }
        found[entry.path().string().substr(root.size())] = state;
    }
    return found;
}

} // namespace

// Every byte a Linux name may hold but "/", alone and among others, in an archive's name, a
// destination folder's name, a local folder's name added with path info and a file's name: each
// archive is made, added to, opened, extracted and emptied, every file comes back with its own
// bytes, nothing else below the home changes, and nothing else runs.
TEST(GuiNamesTest, EveryByteOfANameIsCarriedThroughEveryOperation) {
    ProgramCopy program;
    const Sandbox& box = program.sandbox;
    const std::string mark = box.root() + "/ran";
    for (const char* trap : {"run", "Program Files/Pellix/run", "x"}) {
        writeTrap(box.hostPath(trap), mark);
    }
    testsupport::writeFile(box.hostPath(".bashrc"), "keep");
    std::vector<std::string> bytes;
    for (int byte = 1; byte < 256; ++byte) {
        if (byte != '/') {
            bytes.emplace_back(1, static_cast<char>(byte));
        }
    }
    // The files: every byte alone and between others, and names made to break lines.
    std::map<std::string, std::string> files;
    for (const std::string& byte : bytes) {
        files["x" + byte + "y"] = "between " + byte;
        if (byte != ".") {
            files[byte] = "alone " + byte;
        }
    }
    for (const char* name : {"r.zip\">\".bashrc", "v.zip\" -del \"@l.lst", "n\nkeep.txt", "x\r\nrun \".zip",
                             "\"\\|<>*?:\t\x7f", "\xef\x80\xa2 carried \xe2\x90\x8a", "caf\xc3\xa9 \xff\xfe",
                             "-del", "@l.lst", "%PATH% & ^! $(x) `y`;"}) {
        files[name] = std::string("made ") + name;
    }
    for (const auto& [name, data] : files) {
        testsupport::writeFile(box.hostPath("src/" + name), data);
    }
    // The folders added with path info: one for every byte.
    for (const std::string& byte : bytes) {
        if (byte != ".") {
            testsupport::writeFile(box.hostPath("tree/d" + byte + "/in.txt"), "in " + byte);
        }
    }
    // The archives and destinations: each holds a run of the bytes, and a few hold the faults' names.
    std::vector<std::pair<std::string, std::string>> targets;
    for (size_t first = 0; first < bytes.size(); first += 32) {
        std::string run;
        for (size_t i = first; i < std::min(first + 32, bytes.size()); ++i) {
            run += bytes[i];
        }
        targets.emplace_back("z" + run + ".zip", "e" + run);
    }
    targets.emplace_back("r.zip\">\".bashrc", "d\">\".bashrc");
    targets.emplace_back("v.zip\" -del \"@l.lst", "d\" -del \"@l.lst");
    targets.emplace_back("x\nrun \".zip", "d\r\nrun \"");
    std::string script;
    for (const auto& [archive, destination] : targets) {
        fs::create_directories(box.hostPath("zips"));
        fs::create_directories(box.hostPath(destination));
        const std::string zip = Sandbox::windowsPath("zips/" + archive);
        script += "file " + zip + "\ncommand ID_FILE_NEW_ARCHIVE\n";
        script += "select local-tree C:\\src\\\nrows local-list *\nanswer OK\ncommand ID_ZIP_FILES\n";
        script += "command ID_INCLUDE_PATH_INFO\n";
        script += "select local-tree C:\\tree\\\nrows local-list *\nanswer OK\ncommand ID_ZIP_FILES\n";
        script += "file " + zip + "\ncommand ID_FILE_OPEN\n";
        script += "select local-tree " + Sandbox::windowsPath(destination) + "\\\n";
        script += "rows archive-list *\nanswer OK\ncommand ID_UNZIP_FILES\n";
        script += "command ID_OMIT_PATH_INFO\n";
        script += "rows archive-list *\nanswer OK\nkey archive-list Delete\n";
    }
    const std::map<std::string, std::string> before = walk(box.home());
    int status = -1;
    const std::string out = program.runScript(script, "", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_FALSE(fs::exists(mark)) << "a program ran";
    EXPECT_FALSE(contains(out, kUnexpected)) << out;
    EXPECT_FALSE(contains(out, "box Stop")) << out;
    EXPECT_FALSE(contains(out, "error:")) << out;
    EXPECT_EQ(count(out, "The Selected Files have been Zipped."), 2 * targets.size()) << out;
    EXPECT_EQ(count(out, "The Selected Files have been UnZipped."), targets.size()) << out;
    EXPECT_EQ(count(out, "The Selected Files have been Deleted."), targets.size()) << out;

    const std::map<std::string, std::string> after = walk(box.home());
    for (const auto& [archive, destination] : targets) {
        EXPECT_EQ(memberNames(box.hostPath("zips/" + archive)), "") << "emptied by the delete";
        for (const auto& [name, data] : files) {
            EXPECT_EQ(testsupport::readFile(box.hostPath(destination + "/" + name)), data) << name;
        }
        for (const std::string& byte : bytes) {
            if (byte != ".") {
                EXPECT_EQ(testsupport::readFile(box.hostPath(destination + "/tree/d" + byte + "/in.txt")),
                          "in " + byte);
            }
        }
    }
    // Below the home only the archives and the extracted files are new, and nothing else changed.
    for (const auto& [path, state] : after) {
        bool expectedPlace = path.rfind("/zips", 0) == 0;
        for (const auto& target : targets) {
            expectedPlace = expectedPlace || path.rfind("/" + target.second, 0) == 0;
        }
        const auto old = before.find(path);
        if (old != before.end() && !expectedPlace) {
            EXPECT_EQ(state, old->second) << path;
        }
        EXPECT_TRUE(old != before.end() || expectedPlace) << path;
    }
    EXPECT_EQ(after.size(), before.size() + targets.size() * (1 + files.size() + 1 + 2 * (bytes.size() - 1)));
}

// Members of another tool's archive whose names hold quotes and line breaks: listed by their
// visible names, opened and dragged out as copies, extracted under their own names, deleted.
TEST(GuiNamesTest, MemberNamesWithQuotesAndLineBreaksWorkInEveryOperation) {
    ProgramCopy program;
    const Sandbox& box = program.sandbox;
    const std::string zip = box.hostPath("zips/odd.zip");
    fs::create_directories(box.hostPath("zips"));
    fs::create_directories(box.hostPath("out"));
    ASSERT_EQ(
        testsupport::runShell(
            "python3 -c 'import sys, zipfile\n"
            "with zipfile.ZipFile(sys.argv[1], \"w\") as z:\n"
            "    for name, data in [(\"q\\\"uote.txt\", \"quote\"), (\"n\\nl.txt\", \"lf\"),\n"
            "                       (\"c\\r\\nr.txt\", \"crlf\"), (\"dir\\\"x\\n/in.txt\", \"deep\")]:\n"
            "        z.writestr(name, data)' " +
            shellQuoted(zip)),
        0);
    const std::string out =
        program.runScript("desktop C:\\got\\\n"
                          "dump\n"
                          "rows archive-list n\u240Al.txt\n"
                          "key archive-list Return\n"
                          "drag archive-list rows q\"uote.txt|c\u240D\u240Ar.txt to outside\n"
                          "command ID_INCLUDE_PATH_INFO\n"
                          "select local-tree C:\\out\\\n"
                          "rows archive-list *\n"
                          "answer OK\n"
                          "command ID_UNZIP_FILES\n"
                          "rows archive-list n\u240Al.txt\n"
                          "answer OK\n"
                          "key archive-list Delete\n",
                          zip);
    EXPECT_TRUE(contains(out, "\n  dir\"x\u240A | ")) << out;
    EXPECT_TRUE(contains(out, "\n  c\u240D\u240Ar.txt | 4 | ")) << out;
    EXPECT_FALSE(contains(out, "error:")) << out;
    EXPECT_FALSE(contains(out, kUnexpected)) << out;
    EXPECT_FALSE(contains(out, "box Stop")) << out;
    for (const auto& [path, data] : std::map<std::string, std::string>{{"got/n\nl.txt", "lf"},
                                                                       {"got/q\"uote.txt", "quote"},
                                                                       {"got/c\r\nr.txt", "crlf"},
                                                                       {"out/n\nl.txt", "lf"},
                                                                       {"out/q\"uote.txt", "quote"},
                                                                       {"out/c\r\nr.txt", "crlf"},
                                                                       {"out/dir\"x\n/in.txt", "deep"}}) {
        EXPECT_EQ(testsupport::readFile(box.hostPath(path)), data) << path;
    }
    EXPECT_EQ(memberNames(zip), "'q\"uote.txt'\n'c\\r\\nr.txt'\n'dir\"x\\n/in.txt'\n");
    EXPECT_TRUE(contains(out, "box Information|Delete Completed|")) << out;
}

// A name typed in place holds what was typed: a quote and a picture of a line feed make a file
// named with a quote and a line feed.
TEST(GuiNamesTest, ARenameTakesTheCharactersTyped) {
    ProgramCopy program;
    const Sandbox& box = program.sandbox;
    testsupport::writeFile(box.hostPath("data/a\"b.txt"), "renamed");
    const std::string out = program.runScript("select local-tree C:\\data\\\n"
                                              "rename local-list a\uF022b.txt|new \"x\" \u240A.txt\n"
                                              "dump\n");
    EXPECT_EQ(testsupport::readFile(box.hostPath("data/new \"x\" \n.txt")), "renamed") << out;
    EXPECT_FALSE(fs::exists(box.hostPath("data/a\"b.txt")));
    EXPECT_TRUE(contains(out, "\n  new \uF022x\uF022 \uF00A.txt | 7 | ")) << out;
    EXPECT_FALSE(contains(out, "box ")) << out;
}
