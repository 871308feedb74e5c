// SPDX-License-Identifier: MIT
// The operators' tool, run as a program: output, files and exit statuses.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <set>

#include "password/password_hash.hpp"
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
                const std::string& program = CORVALEN_INI_TOOL, const std::string& input = "") {
        const std::string out = dir.file("stdout");
        const std::string err = dir.file("stderr");
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out_fd, 1);
            ::dup2(err_fd, 2);
            if (!input.empty()) {
                ::dup2(::open(input.c_str(), O_RDONLY), 0);
            }
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
    ToolRun ini_with_input(std::vector<std::string> args, const std::string& input) {
        args.insert(args.begin(), {"--file", path});
        return run(args, CORVALEN_INI_TOOL, input);
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

TEST_F(ToolTest, CheckReportsEachKindOfProblemInOneLine) {
    const std::string hash = *password::make_hash("Geheim");
    const std::string clean = "[Options]\nHomepage=http://127.0.0.1/\nPasswordHash=" + hash +
                              "\n[toolbar]\nbackenabled=0\n[Session]\nIdleReset=60\n"
                              "[AllowedSites]\nx=*.example\n[Texts]\nContinue=Ja\n";
    const struct {
        std::string settings;
        const char* reported; // the one line, or nothing
    } cases[] = {
        {clean, nullptr},
        {"[Options]\nPassword=x\nHomepgae=http://a/\n",
         "Homepgae: unknown key in [Options]; did you mean Homepage?"},
        {"[Options]\nPassword=x\nColour=red\n", "Colour: unknown key in [Options]"},
        {"[Options]\nPassword=x\n[Sesion]\n", "[Sesion]: unknown section; did you mean [Session]?"},
        {"[Options]\nPassword=x\n[Options]\nHomepage=http://a/\n",
         "[Options]: given twice; only the first counts"},
        {"[Options]\nPassword=x\n[Toolbar]\nStopEnabled=00\n",
         "[Toolbar] StopEnabled=\"00\" is not 0 or 1; the button is shown"},
        {"[Options]\nPassword=x\n[Session]\nIdleReset=9\n",
         "[Session] IdleReset=\"9\" is not a whole number from 10 to 86400; sessions do not end "
         "for "
         "lack of input"},
        {"[Options]\nPassword=x\n[Session]\nIdleWarning=\x1b[2J\n",
         "[Session] IdleWarning=\"\\x1b[2J\" is not a whole number from 0 to 86400; the notice "
         "stands "
         "for the default 20 seconds"},
        {"[Options]\nPassword=x\n[AllowedSites]\nall=*\n",
         "[AllowedSites] all=\"*\" is not a site pattern; ignored"},
        {"[Options]\nPasswordHash=$1$zuilzout$I6VgBNix.yMRAtE4n7wyU0\n",
         "[Options] PasswordHash is not a hash this system accepts (corvalen-ini passwd makes "
         "one); "
         "nobody can leave with the exit password"},
        {"[Options]\nPassword=\n",
         "[Options] no exit password: Password is empty and there is no "
         "PasswordHash, so anyone can leave; set one with corvalen-ini passwd"},
        {"[Options]\nPassword=x\nPasswordHash=" + hash + "\n",
         "[Options] Password is ignored while PasswordHash is set; remove it with corvalen-ini "
         "delete Options Password"},
        {"[Options]\nPassword=x\nHomepage=\n",
         "[Options] Homepage is empty: no page is shown at start-up or by the home button"},
        {"[Options]\nPasswordHash=$2b$04$zuilzoutzuilzoutzuilzurVRIfenc26hWhQiOfh1Qr12hD4jQ416\n",
         "[Options] PasswordHash is a bcrypt hash, which reads only the first 72 bytes of a "
         "password: a longer one never opens the exit; corvalen-ini passwd makes a hash that "
         "reads 511"},
        // Terminal commands and reordering in names and values, in UTF-8 and
        // Windows-1252 files, are shown escaped.
        {"[Options]\nPassword=x\nCol\u202eruo=red\n", "Col\\u202eruo: unknown key in [Options]"},
        {"[Options]\nPassword=x\n[Session]\nIdleWarning=\x9d\xe9\n",
         "[Session] IdleWarning=\"\\u009d\u00e9\" is not a whole number from 0 to 86400; the "
         "notice stands for the default 20 seconds"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        write_bytes(path, c.settings);
        const ToolRun result = ini({"check"});
        EXPECT_EQ(result.status, c.reported ? 1 : 0);
        EXPECT_EQ(result.out, c.reported ? std::string(c.reported) + "\n" : "");
        EXPECT_EQ(read_bytes(path), c.settings) << "check writes nothing";
    }
}

TEST_F(ToolTest, CheckReportsAFileCorvalenCannotRead) {
    std::filesystem::create_directory(dir.file("directory.ini"));
    write_bytes(dir.file("huge.ini"), "[Options]\nPassword=x\n");
    std::filesystem::resize_file(dir.file("huge.ini"), 16 * 1024 * 1024 + 1);
    const struct {
        std::string file;
        const char* reported;
    } cases[] = {
        {dir.file("missing.ini"), ": No such file or directory; every key has its default"},
        {dir.file("directory.ini"), ": not a regular file; Corvalen reads none of it"},
        {dir.file("huge.ini"), ": larger than 16 MiB; Corvalen reads none of it"},
    };
    for (const auto& c : cases) {
        const ToolRun result = run({"--file", c.file, "check"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out.rfind(c.file + c.reported, 0), 0U) << result.out;
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
    }
}

TEST_F(ToolTest, PasswdStoresAHashInPlaceOfThePassword) {
    write_bytes(path, "; terminal 3\n[Options]\nPassword=oud\nHomepage=http://127.0.0.1/\n");
    std::filesystem::permissions(path, std::filesystem::perms(0640));
    write_bytes(dir.file("typed"), "Geheim wachtwoord\r\n");
    const ToolRun result = ini_with_input({"passwd", "--stdin"}, dir.file("typed"));
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string hash = ini({"get", "Options", "PasswordHash"}).out;
    EXPECT_TRUE(password::matches_hash("Geheim wachtwoord", hash.substr(0, hash.size() - 1)))
        << hash;
    EXPECT_EQ(read_bytes(path), "; terminal 3\n[Options]\nHomepage=http://127.0.0.1/\n"
                                "PasswordHash=" +
                                    hash);
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));

    // Refused entries change nothing; libxcrypt hashes at most 511 bytes.
    const std::string before = read_bytes(path);
    for (const std::string& typed :
         {"\n"s, ""s, "tab\there\n"s, "gr\xfc\xdf\n"s, std::string(512, 'l') + "\n"}) {
        SCOPED_TRACE(typed);
        write_bytes(dir.file("typed"), typed);
        const ToolRun refused = ini_with_input({"passwd", "--stdin"}, dir.file("typed"));
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("nothing changed"), std::string::npos) << refused.err;
        EXPECT_EQ(read_bytes(path), before);
    }
    write_bytes(dir.file("typed"), std::string(511, 'l') + "\n");
    EXPECT_EQ(ini_with_input({"passwd", "--stdin"}, dir.file("typed")).status, 0);
    // Without a terminal to ask at, only --stdin reads a password.
    EXPECT_EQ(ini_with_input({"passwd"}, dir.file("typed")).status, 2);
}

// Writes killed mid-way leave their temporary files beside the settings; the
// next write that completes removes them.
TEST_F(ToolTest, AWriteRemovesWhatKilledWritesLeft) {
    write_bytes(path, "[Options]\nPassword=x\n[Notes]\nn=" + std::string(2 << 20, 'n') + "\n");
    const auto temporaries = [&] {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            if (const std::string name = entry.path().filename();
                name.starts_with(".settings.ini.")) {
                names.insert(name);
            }
        }
        return names;
    };
    for (int round = 0; round < 3; ++round) {
        const std::string value = std::to_string(round);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // A file-size limit below the settings' size kills the writer with
            // SIGXFSZ in the middle of its temporary file, whatever the load.
            const rlimit size{1 << 20, 1 << 20};
            const rlimit no_core{0, 0};
            ::setrlimit(RLIMIT_FSIZE, &size);
            ::setrlimit(RLIMIT_CORE, &no_core);
            ::dup2(::open("/dev/null", O_WRONLY), 2);
            ::execl(CORVALEN_INI_TOOL, CORVALEN_INI_TOOL, "--file", path.c_str(), "set", "Options",
                    "Round", value.c_str(), nullptr);
            ::_exit(127);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
        // Each writer clears what earlier ones left and leaves its own.
        ASSERT_EQ(temporaries().size(), 1u);
    }
    EXPECT_EQ(ini({"set", "Options", "Homepage", "http://127.0.0.1/"}).status, 0);
    EXPECT_EQ(temporaries(), std::set<std::string>());
    EXPECT_EQ(ini({"get", "Options", "Password"}).out, "x\n");
}

} // namespace
} // namespace corvalen::test
