// SPDX-License-Identifier: MIT
// The key and section lists: NUL after each name, a second NUL at the end, and
// the cut when the names do not fit.

#include <gtest/gtest.h>

#include "support/profile_calls.hpp"
#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

using namespace std::string_literals;

struct ListResult {
    std::int32_t count;
    std::u32string buffer;
};

ListResult list_keys(const std::string& path, const OptionalText& section, std::size_t size) {
    std::u32string buffer(size, U' ');
    const auto count =
        profile::get_private_profile_string(section, std::nullopt, "dflt", buffer, path);
    return {count, buffer};
}

TEST(ListForm, NamesEachFollowedByNulAndASecondNul) {
    TempDir dir;
    const std::string path = dir.file("s.ini");
    write_bytes(path, "[Pos]\nLeft=1\nTop=2\n; Gone=3\nWidth=4\n[Käse]\n");
    const ListResult keys = list_keys(path, "Pos", 8192);
    ASSERT_EQ(keys.count, 15);
    EXPECT_EQ(keys.buffer.substr(0, 16), U"Left\0Top\0Width\0\0"s);
    const ListResult sections = list_keys(path, std::nullopt, 8192);
    ASSERT_EQ(sections.count, 9) << "counted in characters, not bytes";
    EXPECT_EQ(sections.buffer.substr(0, 10), U"Pos\0Käse\0\0"s);
}

TEST(ListForm, NoNameHoldsANul) {
    TempDir dir;
    const std::string path = dir.file("s.ini");
    write_bytes(path, "[Pos]\nLeft=1\na\0b=2\nTop=3\n[x\0y]\n[Q]\n"s);
    EXPECT_EQ(list_keys(path, "Pos", 8192).buffer.substr(0, 10), U"Left\0Top\0\0"s);
    EXPECT_EQ(list_keys(path, std::nullopt, 8192).buffer.substr(0, 7), U"Pos\0Q\0\0"s);
}

TEST(ListForm, EmptyKeyListsGiveTheDefault) {
    TempDir dir;
    const std::string path = dir.file("s.ini");
    write_bytes(path, "k=before any header\n[Empty]\n; only a comment\n");
    EXPECT_EQ(profile_read("Empty", std::nullopt, "dflt", path), "dflt");
    EXPECT_EQ(profile_read("Missing", std::nullopt, "dflt", path), "dflt");
    write_bytes(path, "k=no headers\n");
    EXPECT_EQ(profile_read(std::nullopt, std::nullopt, "dflt", path, 8192), "")
        << "a file without headers has an empty section list";
}

TEST(ListForm, CutAtTheBufferSize) {
    TempDir dir;
    const std::string path = dir.file("s.ini");
    // "abcd\0" "efgh\0": 10 characters, 11 with the closing NUL.
    write_bytes(path, "[s]\nabcd=1\nefgh=2\n");
    struct Case {
        std::size_t size;
        std::int32_t count;
        std::u32string expected; // the whole buffer
    };
    const Case cases[] = {
        {11, 10, U"abcd\0efgh\0\0"s}, // fits exactly
        {10, 8, U"abcd\0efg\0\0"s},   // last name cut, two NULs
        {7, 5, U"abcd\0\0\0"s},       // cut falls just after a NUL
        {3, 1, U"a\0\0"s},
        {2, 0, U"\0\0"s},
        {1, 0, U"\0"s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const ListResult result = list_keys(path, "s", c.size);
        EXPECT_EQ(result.count, c.count);
        EXPECT_EQ(result.buffer, c.expected);
    }
}

} // namespace
} // namespace corvalen::test
