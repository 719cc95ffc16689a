#pragma once

#include "pkzip_support.h"
#include "sandbox.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pkziptest {

// A sandboxed home (drive C:) with helpers to make files and run the archiver and its peers.
class PkzipTest : public ::testing::Test {
protected:
    testsupport::Sandbox m_box;

    std::string host(const std::string& relative) const { return m_box.hostPath(relative); }
    static std::string win(const std::string& relative) {
        return testsupport::Sandbox::windowsPath(relative);
    }

    void write(const std::string& relative, const std::string& contents) const {
        testsupport::writeFile(host(relative), contents);
    }
    std::string read(const std::string& relative) const { return testsupport::readFile(host(relative)); }
    bool exists(const std::string& relative) const { return testsupport::fileExists(host(relative)); }

    // Runs a shell command in the home folder; fails the test when it fails.
    std::string shell(const std::string& command) const {
        std::string output;
        const int code = testsupport::runShell("cd '" + m_box.home() + "' && " + command + " 2>&1", &output);
        EXPECT_EQ(code, 0) << command << "\n" << output;
        return output;
    }

    ToolRun list(const std::string& archive) const { return runTool({win(archive)}); }
    ToolRun add(const std::string& archive, const std::vector<std::string>& files, bool withFolders) const {
        writeList(host("temp.lst"), files);
        std::vector<std::string> arguments = {"-add", "-attr", win(archive), "-include=@" + win("temp.lst")};
        if (withFolders) {
            arguments.push_back("-path=root");
        }
        return runTool(arguments);
    }
    ToolRun extract(const std::string& archive, const std::vector<std::string>& names,
                    const std::string& destination, bool withFolders) const {
        writeList(host("temp.lst"), names);
        std::vector<std::string> arguments;
        if (withFolders) {
            arguments.push_back("-dir=root");
        }
        for (const char* word : {"-extract", "-overwrite=all"}) {
            arguments.push_back(word);
        }
        arguments.push_back(win(archive));
        arguments.push_back("@" + win("temp.lst"));
        arguments.push_back(destination);
        return runTool(arguments);
    }
    ToolRun test(const std::string& archive, const std::vector<std::string>& names) const {
        writeList(host("temp.lst"), names);
        return runTool({"-test", win(archive), "@" + win("temp.lst")});
    }
    ToolRun remove(const std::string& archive, const std::vector<std::string>& names) const {
        writeList(host("temp.lst"), names);
        return runTool({"-del", win(archive), "@" + win("temp.lst")});
    }

    // Member paths of the archive as the tool lists them.
    std::vector<std::string> memberPaths(const std::string& archive) const {
        std::vector<std::string> paths;
        for (const ListedMember& member : parseListing(list(archive).out).members) {
            paths.push_back(member.path);
        }
        return paths;
    }

    // Files left beside an archive that are not the archive or its inputs.
    std::vector<std::string> sideFiles() const {
        std::vector<std::string> found;
        std::string output;
        testsupport::runShell("cd '" + m_box.home() + "' && ls -a | grep pellix", &output);
        if (!output.empty()) {
            found.push_back(output);
        }
        return found;
    }
};

} // namespace pkziptest
