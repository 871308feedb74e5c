// SPDX-License-Identifier: MIT
// The operators' tool, run as a program: output, files and exit statuses.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

using namespace std::string_literals;

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

class ToolTest : public ::testing::Test {
protected:
    ToolRun run(const std::vector<std::string>& args,
                const std::string& program = CORVALEN_INI_TOOL) {
        const std::string out = dir.file("stdout");
        const std::string err = dir.file("stderr");
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out_fd, 1);
            ::dup2(err_fd, 2);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& arg : args) {
                argv.push_back(const_cast<char*>(arg.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        int status = -1;
        ::waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_bytes(out), read_bytes(err)};
    }
    ToolRun ini(std::vector<std::string> args) {
        args.insert(args.begin(), {"--file", path});
        return run(args);
    }

    TempDir dir;
    std::string path = dir.file("settings.ini");
};

TEST_F(ToolTest, SetGetDeleteRoundTrip) {
    EXPECT_EQ(ini({"set", "Options", "HomePage", "http://127.0.0.1/"}).status, 0);
    EXPECT_EQ(ini({"set", "Toolbar", "back", "0"}).status, 0);
    EXPECT_EQ(read_bytes(path), "[Options]\nHomePage=http://127.0.0.1/\n\n[Toolbar]\nback=0\n");

    const ToolRun got = ini({"get", "options", "homepage"});
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out, "http://127.0.0.1/\n");
    EXPECT_EQ(ini({"get", "Options", "Password", "fallback"}).out, "fallback\n");
    EXPECT_EQ(ini({"get", "Options", "Password", ""}).status, 0);

    const ToolRun missing = ini({"get", "Options", "Password"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find(path), std::string::npos) << missing.err;
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1) << "one line";

    EXPECT_EQ(ini({"delete", "Options", "HomePage"}).status, 0);
    EXPECT_EQ(ini({"delete", "Toolbar"}).status, 0);
    EXPECT_EQ(read_bytes(path), "[Options]\n\n");
}

TEST_F(ToolTest, ListsNames) {
    write_bytes(path, "[Options]\nHomePage=x\nPassword=y\n[Toolbar]\n");
    EXPECT_EQ(ini({"keys", "Options"}).out, "HomePage\nPassword\n");
    EXPECT_EQ(ini({"keys", "Toolbar"}).out, "");
    EXPECT_EQ(ini({"sections"}).out, "Options\nToolbar\n");
    EXPECT_EQ(run({"--null", "--file=" + path, "sections"}).out, "Options\0Toolbar\0"s);
}

TEST_F(ToolTest, FailedWritesSayWhy) {
    const ToolRun structure = ini({"set", "Options", "a=b", "c"});
    EXPECT_EQ(structure.status, 1);
    EXPECT_NE(structure.err.find("structure"), std::string::npos) << structure.err;
    EXPECT_FALSE(std::filesystem::exists(path));

    const std::string nowhere = dir.file("no/such/dir.ini");
    const ToolRun no_dir = run({"--file", nowhere, "set", "a", "b", "c"});
    EXPECT_EQ(no_dir.status, 1);
    EXPECT_NE(no_dir.err.find(nowhere + ": "), std::string::npos) << no_dir.err;
    EXPECT_NE(no_dir.err.find("No such file or directory"), std::string::npos) << no_dir.err;
}

TEST_F(ToolTest, UsageErrorsExitWith2) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"--file"},
                                               {"frobnicate"},
                                               {"--bogus", "sections"},
                                               {"get", "Options"},
                                               {"set", "Options", "k"},
                                               {"delete"},
                                               {"keys"},
                                               {"sections", "extra"}}) {
        const ToolRun result = run(args);
        EXPECT_EQ(result.status, 2) << ::testing::PrintToString(args);
        EXPECT_FALSE(result.err.empty());
    }
    // Text from a terminal that is not set to UTF-8 would be stored as
    // characters that nobody can type.
    const ToolRun latin1 = ini({"set", "Options", "Password", "gr\xfc\xdf"});
    EXPECT_EQ(latin1.status, 2);
    EXPECT_NE(latin1.err.find("UTF-8"), std::string::npos) << latin1.err;
    EXPECT_FALSE(std::filesystem::exists(path));
    const ToolRun help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: corvalen-ini"), std::string::npos);
    EXPECT_EQ(run({"--version"}).out.rfind("corvalen-ini ", 0), 0U);
}

TEST_F(ToolTest, DefaultFileLiesBesideTheProgram) {
    const std::string copy = dir.file("corvalen-ini");
    std::filesystem::copy_file(CORVALEN_INI_TOOL, copy);
    write_bytes(dir.file("corvalen.ini"), "[Options]\nHomePage=http://beside.example/\n");
    const ToolRun got = run({"get", "Options", "HomePage"}, copy);
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out, "http://beside.example/\n");
}

} // namespace
} // namespace corvalen::test
