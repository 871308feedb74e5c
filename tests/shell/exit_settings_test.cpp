// SPDX-License-Identifier: MIT
// The exit password as frmBrowser reads it, and its start-up reports beside
// what `corvalen-ini check` says of the same file.

#include <gtest/gtest.h>

#include "shell/fakes.hpp"
#include "shell/settings.hpp"
#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

constexpr const char* kSha512 = "$6$zuilzout$LhIHQ0JyZKfks61KycEVUnBx50AmLHPmQ/RbWZUjLVPFXfKtYoOgN"
                                "Ilx0jTOG/vvdalxLS0SXq1r3LvGSc8iA.";
constexpr const char* kBcrypt = "$2a$04$zuilzoutzuilzoutzuilzuSbZYmbDEwMDhPowwQlrEb0MKQcOPtWa";

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(ExitSettings, AHashStandsInForThePasswordAndNeverFallsBack) {
    const struct {
        std::string settings;
        const char* asked;    // as the fake dialog records it
        const char* reported; // in the one line logged at start-up, or nothing
    } cases[] = {
        {"[Options]\nPassword=Geheim\n", "Geheim", nullptr},
        {"[Options]\nPassword=Geheim\nPasswordHash=\n", "Geheim", nullptr},
        {std::string("[Options]\nPassword=Geheim\nPasswordHash=") + kSha512 + "\n",
         "hash $6$zuilzout$", nullptr},
        {"[Options]\nPassword=Geheim\nPasswordHash=Geheim\n", "hash Geheim",
         "corvalen: [Options] PasswordHash is not a hash"},
        {std::string("[Options]\nPassword=Geheim\nPasswordHash=") + kBcrypt + "\n", "hash $2a$04$",
         "corvalen: [Options] PasswordHash is a bcrypt hash, which reads only the first 72 "
         "bytes of a password"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        TempDir dir;
        write_bytes(dir.file("corvalen.ini"), c.settings);
        FakeShell shell{dir.path()};
        shell.form.Form_Load();
        const std::string log = shell.log.str();
        EXPECT_EQ(log.rfind(c.reported ? c.reported : "", 0), 0U) << log;
        EXPECT_EQ(lines_of(log).size(), c.reported ? 1U : 0U) << log;
        EXPECT_EQ(log.find("Geheim"), std::string::npos) << "no secret in the log";
        shell.password.answers = {false};
        shell.form.Toolbar1_ButtonClick("end");
        ASSERT_EQ(shell.password.asked.size(), 1U);
        EXPECT_EQ(shell.password.asked[0].rfind(c.asked, 0), 0U) << shell.password.asked[0];
    }
}

// Whatever Corvalen reports at start-up, the check reports in the same words,
// so that an operator can find every such line before the terminal starts.
TEST(ExitSettings, StartUpReportsAreAmongTheCheckLines) {
    const char* files[] = {
        "[Options]\nPassword=x\n[Session]\nIdleReset=9\nIdleWarning=x\nClearOnHome=2\n",
        "[Options]\nPassword=x\n[Session]\nIdleReset=\nIdleWarning=0\nClearOnHome=\n",
        "[Options]\nPasswordHash=$6$\n[AllowedSites]\na=*\nb=https://ok.example/\nc=exa mple\n",
        "[Options]\nPassword=x\nAllowedRequests=every\n[Toolbar]\nStopEnabled=00\nHomeEnabled=0\n",
    };
    for (const char* text : files) {
        SCOPED_TRACE(text);
        TempDir dir;
        write_bytes(dir.file("corvalen.ini"), text);
        FakeShell shell{dir.path()};
        shell.form.Form_Load();
        const auto checked = shell::settings::check(dir.file("corvalen.ini"));
        for (const std::string& line : lines_of(shell.log.str())) {
            ASSERT_EQ(line.rfind("corvalen: ", 0), 0U) << line;
            EXPECT_NE(std::find(checked.begin(), checked.end(), line.substr(10)), checked.end())
                << line;
        }
        EXPECT_EQ(lines_of(shell.log.str()).size(), checked.size());
    }
}

// Text from a hostile file reaches a terminal with nothing that a terminal
// obeys or that reorders the line: C0 controls, DEL and bytes that are not
// UTF-8 as \xNN, C1 controls and bidirectional formatting as \uNNNN.
TEST(ExitSettings, ReportsShowControlsEscaped) {
    const struct {
        const char* value;
        const char* shown;
    } cases[] = {
        {"\x1b[2J\x7f", "\\x1b[2J\\x7f"},
        {"\xc2\x9b"
         "2J\xc2\x80\xc2\x9f\xc2\xa0",
         "\\u009b2J\\u0080\\u009f\xc2\xa0"},
        {"a\xe2\x80\xae"
         "b\xe2\x81\xa6\xe2\x81\xa9\xd8\x9c\xe2\x80\x8e\xe2\x80\x8f\xe2\x80\xaa",
         "a\\u202eb\\u2066\\u2069\\u061c\\u200e\\u200f\\u202a"},
        {"\x9b"
         "2J\xe2\x80",
         "\\x9b2J\\xe2\\x80"},
        {"\xc0\xaf\xed\xa0\x80", "\\xc0\\xaf\\xed\\xa0\\x80"},
        {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x99\x82", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x99\x82"},
    };
    for (const auto& c : cases) {
        const std::string line = shell::settings::refusal("Session", "IdleWarning",
                                                          shell::settings::kIdleWarning, c.value);
        EXPECT_EQ(line.substr(0, line.find("\" is not")),
                  std::string("[Session] IdleWarning=\"") + c.shown);
    }
}

} // namespace
} // namespace corvalen::test
