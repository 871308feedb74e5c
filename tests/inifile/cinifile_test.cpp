// SPDX-License-Identifier: MIT
// The accessor's state, its key operations and what reaches the file.

#include <gtest/gtest.h>

#include "inifile/cinifile.hpp"
#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

using namespace std::string_literals;

class IniFileTest : public ::testing::Test {
protected:
    IniFileTest() {
        path = dir.file("corvalen.ini");
        ini.Path(path);
    }
    void use(const std::string& section, const cInifile::String& key) {
        ini.Section(section);
        ini.Key(key);
    }

    TempDir dir;
    std::string path;
    cInifile ini;
};

TEST(IniFileState, NewObjectAndSettersTouchNothing) {
    TempDir dir;
    cInifile ini;
    EXPECT_EQ(ini.LastReturnCode(), 0);
    EXPECT_FALSE(ini.Success());
    EXPECT_EQ(ini.Path(), std::nullopt);
    EXPECT_EQ(ini.Key(), std::nullopt);
    EXPECT_EQ(ini.Section(), std::nullopt);
    EXPECT_EQ(ini.Default(), std::nullopt);

    ini.Path(dir.file("never.ini"));
    ini.Section("");
    ini.Key("");
    ini.Default("");
    EXPECT_EQ(ini.Section(), "") << "empty is stored, not turned into null";
    EXPECT_EQ(ini.Key(), "");
    EXPECT_EQ(ini.Default(), "");
    ini.Key(std::nullopt);
    EXPECT_EQ(ini.Key(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(dir.file("never.ini")));
}

TEST_F(IniFileTest, MissingKeyOrFileYieldsTheDefault) {
    use("Options", "HomePage");
    for (const bool file_exists : {false, true}) {
        if (file_exists) {
            write_bytes(path, "[Options]\nPassword=x\n");
        }
        ini.Default("about:blank");
        EXPECT_EQ(ini.Value(), "about:blank");
        ini.Default("");
        EXPECT_EQ(ini.Value(), "");
        ini.Default(std::nullopt);
        EXPECT_EQ(ini.Value(), "");
    }
    EXPECT_EQ(ini.LastReturnCode(), 0) << "reads leave the return code alone";
}

TEST_F(IniFileTest, LongValuesReadBackAs254Characters) {
    use("Options", "HomePage");
    std::string value;
    for (int i = 0; i < 300; ++i) {
        value += i % 2 == 0 ? "é" : "x";
    }
    ini.Value(value);
    ASSERT_TRUE(ini.Success());
    std::string expected;
    for (int i = 0; i < 254; ++i) {
        expected += i % 2 == 0 ? "é" : "x";
    }
    EXPECT_EQ(ini.Value(), expected);
}

TEST_F(IniFileTest, ValueLetRemovesEveryNul) {
    use("s", "k");
    const struct {
        std::string given;
        std::string stored;
    } cases[] = {
        {"a\0b\0"s, "ab"},
        {"\0abc"s, "abc"},
        {"abc\0"s, "abc"},
        {"\0\0\0"s, ""},
        {std::string(40000, 'x') + '\0' + "yz" + '\0', std::string(40000, 'x') + "yz"},
    };
    for (const auto& c : cases) {
        ini.Value(c.given);
        EXPECT_TRUE(ini.Success());
        EXPECT_EQ(read_bytes(path), "[s]\nk=" + c.stored + "\n");
    }
}

TEST_F(IniFileTest, SuccessFollowsWritesOnly) {
    use("s", "k");
    ini.Value("v");
    EXPECT_TRUE(ini.Success());
    EXPECT_NE(ini.LastReturnCode(), 0);
    ini.Key("missing");
    EXPECT_EQ(ini.Value(), "");
    EXPECT_TRUE(ini.Success()) << "a read does not change Success";

    ini.Path(dir.file("no/such/dir/corvalen.ini"));
    ini.Value("v");
    EXPECT_FALSE(ini.Success());
    EXPECT_EQ(ini.LastReturnCode(), 0);
    ini.Path(path);
    ini.Value(std::string(1, '\n'));
    EXPECT_EQ(ini.LastReturnCode(), 0) << "a line break would break the file";
    ini.DeleteKey();
    EXPECT_TRUE(ini.Success()) << "removing a missing key succeeds";
}

TEST_F(IniFileTest, NullAndEmptyAtEveryCallSite) {
    write_bytes(path, "top=1\n[s]\n=empty name\nk=2\n[t]\nj=3\n");
    use("s", "");
    EXPECT_EQ(ini.Value(), "empty name");
    use("s", std::nullopt);
    EXPECT_EQ(ini.Value(), "\0k\0"s) << "a null key lists the key names";
    use("", "top");
    EXPECT_EQ(ini.Value(), "1");
    ini.Section(std::nullopt);
    EXPECT_EQ(ini.Value(), "s\0t\0"s) << "a null section lists the sections";

    ini.Section(std::nullopt);
    ini.Value("x");
    EXPECT_FALSE(ini.Success()) << "no section to write into";

    use("s", "k");
    ini.Value(std::nullopt);
    EXPECT_TRUE(ini.Success());
    EXPECT_EQ(read_bytes(path), "top=1\n[s]\n=empty name\n[t]\nj=3\n");
    use("s", "");
    ini.DeleteKey();
    EXPECT_EQ(read_bytes(path), "top=1\n[s]\n[t]\nj=3\n");
    use("t", std::nullopt);
    ini.DeleteKey();
    EXPECT_TRUE(ini.Success());
    EXPECT_EQ(read_bytes(path), "top=1\n[s]\n") << "a null key removes the section";
    use("s", "k");
    ini.INISection("");
    EXPECT_TRUE(ini.Success());
    EXPECT_EQ(read_bytes(path), "top=1\n");
    use("", "unused");
    ini.DeleteSection();
    EXPECT_EQ(read_bytes(path), "");
}

TEST_F(IniFileTest, FieldsHoldTheirConvertedForm) {
    write_bytes(path, "[s]\nk=1\n");
    use("s", "k\xFF");
    ini.Default("d\xC3");
    EXPECT_EQ(ini.Value(), "d\uFFFD");
    EXPECT_EQ(ini.Key(), "k\uFFFD");
    EXPECT_EQ(ini.Default(), "d\uFFFD");

    ini.Key("\xFF");
    ini.Sections();
    EXPECT_EQ(ini.Key(), "\xFF") << "only the fields a call receives are converted";
    ini.Key("k");
    ini.Section("s");
    EXPECT_EQ(ini.Value(), "1");
}

} // namespace
} // namespace corvalen::test
