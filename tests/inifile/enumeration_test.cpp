// SPDX-License-Identifier: MIT
// Name lists of a section and of the file, as text and as arrays.

#include <gtest/gtest.h>

#include "inifile/cinifile.hpp"
#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

using namespace std::string_literals;
using Names = std::vector<std::string>;

class EnumerationTest : public ::testing::Test {
protected:
    EnumerationTest() { ini.Path(dir.file("s.ini")); }
    void file(const std::string& text) { write_bytes(dir.file("s.ini"), text); }

    TempDir dir;
    cInifile ini;
    Names names{"stale", "elements"};
    std::int32_t count = 99;
};

TEST_F(EnumerationTest, KeysOfTheCurrentSection) {
    file("[Pos]\nLeft=1\nTop=2\nWidth=3\n[Other]\nx=1\n");
    ini.Section("Pos");
    EXPECT_EQ(ini.INISection(), "Left\0Top\0Width\0"s);
    ini.EnumerateCurrentSection(names, count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(names, (Names{"Left", "Top", "Width"}));
}

TEST_F(EnumerationTest, SectionsOfTheFile) {
    file("[Options]\nHomePage=x\n[Toolbar]\nback=0\n");
    ini.Section("ignored");
    ini.Key("ignored");
    EXPECT_EQ(ini.Sections(), "Options\0Toolbar\0"s);
    ini.EnumerateAllSections(names, count);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(names, (Names{"Options", "Toolbar"}));
}

TEST_F(EnumerationTest, NothingToListEmptiesTheArray) {
    file("[Empty]\n; comment\n");
    for (const cInifile::String& default_text :
         {cInifile::String(), cInifile::String("x y"), cInifile::String("d\0e"s)}) {
        for (const char* section : {"Empty", "Missing"}) {
            ini.Default(default_text);
            ini.Section(section);
            names = {"stale"};
            count = 5;
            ini.EnumerateCurrentSection(names, count);
            EXPECT_EQ(count, 0);
            EXPECT_TRUE(names.empty());
        }
    }
    ini.Path(dir.file("missing.ini"));
    ini.EnumerateAllSections(names, count);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(names.empty());
}

TEST_F(EnumerationTest, EmptyNamesKeptForKeysDroppedForSections) {
    file("[a]\n=1\nk=2\n[]\n[b]\n");
    ini.Section("a");
    ini.EnumerateCurrentSection(names, count);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(names, (Names{"", "k"}));
    EXPECT_EQ(ini.Sections(), "a\0\0b\0"s);
    ini.EnumerateAllSections(names, count);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(names, (Names{"a", "b"}));
}

TEST_F(EnumerationTest, OverlongListsLeaveOutTheCutName) {
    std::string text = "[Many]\n";
    for (int i = 0; i < 1100; ++i) {
        text += "key" + std::to_string(1000 + i) + "=1\n"; // 7 characters + NUL
    }
    file(text);
    ini.Section("Many");
    const std::string list = ini.INISection();
    ASSERT_EQ(list.size(), 8190U);
    EXPECT_EQ(list.substr(8184), "key202"); // 1023 whole names, then the cut one
    ini.EnumerateCurrentSection(names, count);
    EXPECT_EQ(count, 1023);
    ASSERT_EQ(names.size(), 1023U);
    EXPECT_EQ(names.front(), "key1000");
    EXPECT_EQ(names.back(), "key2022");

    // Through Value get with a null key the list is cut to fit 255 characters.
    ini.Key(std::nullopt);
    const std::string short_list = ini.Value();
    ASSERT_EQ(short_list.size(), 253U);
    EXPECT_EQ(short_list.substr(248), "key10"); // 31 names of 8, then the cut one
}

} // namespace
} // namespace corvalen::test
