#include "sandbox.h"
#include "script.h"

#include <gtest/gtest.h>

using batch::ScriptLine;

TEST(BatchScriptTest, LinesAreReadAsTheProgramWritesThem) {
    EXPECT_EQ(batch::splitScriptLines("one\r\ntwo"), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(batch::splitScriptLines("one\ntwo\r\n"), (std::vector<std::string>{"one", "two"}));

    const struct {
        const char* line;
        ScriptLine::Kind kind;
        const char* program;
        std::vector<std::string> arguments;
        const char* redirect;
    } cases[] = {
        {"\"C:\\P F\\PKZIP25.EXE\" \"C:\\a b.zip\">\"C:\\P F\\temp.txt\"",
         ScriptLine::Kind::Run,
         "C:\\P F\\PKZIP25.EXE",
         {"C:\\a b.zip"},
         "C:\\P F\\temp.txt"},
        {"\"C:\\x.exe\" \"C:\\a.zip\" > \"C:\\t.txt\"",
         ScriptLine::Kind::Run,
         "C:\\x.exe",
         {"C:\\a.zip"},
         "C:\\t.txt"},
        {"\"C:\\x.exe\"  -dir=root -extract -overwrite=all \"C:\\a.zip\" @\"C:\\t.lst\" \"C:/\"",
         ScriptLine::Kind::Run,
         "C:\\x.exe",
         {"-dir=root", "-extract", "-overwrite=all", "C:\\a.zip", "@C:\\t.lst", "C:/"},
         nullptr},
        {"\"C:\\x.exe\" -add -attr \"C:\\a.zip\" -include=@\"C:\\t.lst\" -path=root",
         ScriptLine::Kind::Run,
         "C:\\x.exe",
         {"-add", "-attr", "C:\\a.zip", "-include=@C:\\t.lst", "-path=root"},
         nullptr},
        {"\"C:\\x.exe\" \"a>b\"", ScriptLine::Kind::Run, "C:\\x.exe", {"a>b"}, nullptr},
        {"copy \"C:\\P F\\temp.bat\" \"C:\\P F\\tempdone.txt\"",
         ScriptLine::Kind::Copy,
         "",
         {"C:\\P F\\temp.bat", "C:\\P F\\tempdone.txt"},
         nullptr},
        {"COPY \"a\" \"b\"", ScriptLine::Kind::Copy, "", {"a", "b"}, nullptr},
        {"   ", ScriptLine::Kind::Empty, "", {}, nullptr},
        {"copy \"a\"", ScriptLine::Kind::Malformed, "", {}, nullptr},
        {"\"C:\\x.exe\" >", ScriptLine::Kind::Malformed, "", {}, nullptr},
        {"> \"out\"", ScriptLine::Kind::Malformed, "", {}, nullptr},
    };
    for (const auto& c : cases) {
        const ScriptLine parsed = batch::parseScriptLine(c.line);
        EXPECT_EQ(parsed.kind, c.kind) << c.line;
        if (c.kind == ScriptLine::Kind::Run || c.kind == ScriptLine::Kind::Copy) {
            EXPECT_EQ(parsed.program, c.program) << c.line;
            EXPECT_EQ(parsed.arguments, c.arguments) << c.line;
            EXPECT_EQ(parsed.redirect.has_value(), c.redirect != nullptr) << c.line;
            if (c.redirect != nullptr && parsed.redirect) {
                EXPECT_EQ(*parsed.redirect, c.redirect) << c.line;
            }
        }
    }
}

TEST(BatchScriptTest, ALineThatCannotRunDoesNotStopTheMarkerLine) {
    testsupport::Sandbox sandbox;
    const std::string interpreter = testsupport::programDir() + "/pellix-batch";
    const struct {
        const char* firstLine;
    } cases[] = {
        {"\"C:\\no such program.exe\" x"},
        {"\"Z:\\bin\\false\""},
        {"\"Z:\\bin\\echo\" x>\"C:\\no such folder\\out.txt\""},
        {"\"Q:\\unmapped drive\\x.exe\""},
        {"garbage \"unclosed"},
    };
    for (const auto& c : cases) {
        testsupport::writeFile(sandbox.hostPath("temp.bat"),
                               std::string(c.firstLine) + "\r\ncopy \"C:\\temp.bat\" \"C:\\tempdone.txt\"");
        std::remove(sandbox.hostPath("tempdone.txt").c_str());
        testsupport::runShell("'" + interpreter + "' '" + sandbox.hostPath("temp.bat") + "' 2>/dev/null");
        EXPECT_TRUE(testsupport::fileExists(sandbox.hostPath("tempdone.txt"))) << c.firstLine;
    }
    // The script path may be given as a Windows path too; arguments reach the program unchanged.
    testsupport::writeFile(sandbox.hostPath("temp.bat"),
                           "\"Z:\\bin\\echo\" \"C:\\a b\\c.zip\" @\"C:\\t.lst\">\"C:\\out.txt\"\r\n");
    EXPECT_EQ(testsupport::runShell("'" + interpreter + "' 'C:\\temp.bat'"), 0);
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("out.txt")), "C:\\a b\\c.zip @C:\\t.lst\n");
}
