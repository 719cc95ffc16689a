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
        // What a name holding quotes made of the program's lines before names were carried.
        {"\"C:\\x.exe\" -add -attr \"C:\\dl\\r.zip\">\".bashrc\" -include=@\"C:\\t.lst\"",
         ScriptLine::Kind::Malformed,
         "",
         {},
         nullptr},
        {"\"C:\\x.exe\" \"C:\\x.zip\">\".bashrc\">\"C:\\t.txt\"",
         ScriptLine::Kind::Malformed,
         "",
         {},
         nullptr},
        {"\"C:\\x.exe\" \"C:\\a\"b\".zip\">\"C:\\t.txt\"", ScriptLine::Kind::Malformed, "", {}, nullptr},
        {"\"C:\\x.exe\" \"C:\\a.zip\" \"unclosed", ScriptLine::Kind::Malformed, "", {}, nullptr},
        {"\"C:\\x.exe\" a|b", ScriptLine::Kind::Malformed, "", {}, nullptr},
        {"\"C:\\x.exe\" <in", ScriptLine::Kind::Malformed, "", {}, nullptr},
        {"\"C:\\x.exe\" a&b", ScriptLine::Kind::Malformed, "", {}, nullptr},
        {"\"C:\\x.exe\" a\tb", ScriptLine::Kind::Malformed, "", {}, nullptr},
        {"C:\\x.exe \"C:\\a.zip\"", ScriptLine::Kind::Malformed, "", {}, nullptr},
        {"copy C:\\a \"C:\\b\"", ScriptLine::Kind::Malformed, "", {}, nullptr},
        // Characters that no command interpreter may read into a line here are plain text.
        {"\"C:\\x.exe\" %PATH% ^! $(x) `y`; -del @l.lst",
         ScriptLine::Kind::Run,
         "C:\\x.exe",
         {"%PATH%", "^!", "$(x)", "`y`;", "-del", "@l.lst"},
         nullptr},
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
                           "\"Z:\\bin\\echo\" \"C:\\a b\\c.zip\" @\"C:\\t.lst\">\"C:\\out.txt\"\r\n"
                           "copy \"C:\\temp.bat\" \"C:\\tempdone.txt\"\r\n");
    EXPECT_EQ(testsupport::runShell("'" + interpreter + "' 'C:\\temp.bat'"), 0);
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("out.txt")), "C:\\a b\\c.zip @C:\\t.lst\n");
}

// A script that is not the job line and its marker's copy runs nothing at all, not even the copy.
TEST(BatchScriptTest, AScriptOfAnotherShapeRunsNothing) {
    testsupport::Sandbox sandbox;
    const std::string interpreter = testsupport::programDir() + "/pellix-batch";
    const std::string touch = "\"Z:\\bin\\touch\" \"C:\\ran\"";
    const std::string marker = "copy \"C:\\temp.bat\" \"C:\\tempdone.txt\"";
    const struct {
        std::string script;
        const char* problem;
    } cases[] = {
        {touch, "not two lines"},
        {touch + "\n" + marker, "not two lines"},
        {touch + "\r\n" + touch + "\r\n" + marker, "more than two lines"},
        {touch + "\r\n" + marker + "\r\n" + touch, "more than two lines"},
        {"\"Z:\\bin\\touch\" \"C:\\ran\nrun \"\r\n" + marker, "line break"},
        {"\"Z:\\bin\\touch\" \"C:\\ran\rrun\"\r\n" + marker, "line break"},
        {touch + "\r\ncopy \"C:\\other.bat\" \"C:\\tempdone.txt\"", "the script itself"},
        {touch + "\r\ncopy \"C:\\temp.bat\" \"C:\\sub\\tempdone.txt\"", "beside it"},
        {touch + "\r\n" + touch, "not the completion marker's copy"},
    };
    testsupport::writeFile(sandbox.hostPath("other.bat"), "");
    testsupport::writeFile(sandbox.hostPath("sub/x"), "");
    for (const auto& c : cases) {
        testsupport::writeFile(sandbox.hostPath("temp.bat"), c.script);
        EXPECT_NE(
            testsupport::runShell("'" + interpreter + "' '" + sandbox.hostPath("temp.bat") + "' 2>/dev/null"),
            0);
        EXPECT_FALSE(testsupport::fileExists(sandbox.hostPath("ran"))) << c.script;
        EXPECT_FALSE(testsupport::fileExists(sandbox.hostPath("tempdone.txt"))) << c.script;
        EXPECT_FALSE(testsupport::fileExists(sandbox.hostPath("sub/tempdone.txt"))) << c.script;
        const std::string why = testsupport::readFile(sandbox.hostPath("temp.err"));
        EXPECT_NE(why.find(c.problem), std::string::npos) << c.script << "\n" << why;
    }
}
