// SPDX-License-Identifier: MIT
// Writing: untouched lines keep their bytes, new lines go where a person would
// put them, and text that would break the file is refused.

#include <gtest/gtest.h>

#include "support/case_name.hpp"
#include "support/profile_calls.hpp"
#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

using namespace std::string_literals;
using profile::write_private_profile_string;

struct WriteCase {
    const char* name;
    std::optional<std::string> before; // nullopt: no file
    OptionalText section;
    OptionalText key;
    OptionalText value;
    std::int32_t result;
    std::optional<std::string> after; // nullopt: still no file
};

const WriteCase kWriteCases[] = {
    {"replace keeps other lines byte for byte", "; top\r\n[a]\r\n  k = old  \r\n\r\n[b]\r\nx=1\r\n",
     "A", "K", "new", 1, "; top\r\n[a]\r\nk=new\r\n\r\n[b]\r\nx=1\r\n"},
    {"replace keeps the file's spelling of the name", "[a]\nHomePage=1\n", "a", "HOMEPAGE", "2", 1,
     "[a]\nHomePage=2\n"},
    {"replace changes only the first duplicate", "[a]\nk=1\nk=2\n", "a", "k", "3", 1,
     "[a]\nk=3\nk=2\n"},
    {"new key after the section's last key", "[a]\nk=1\n\n; c\n[b]\nx=1\n", "a", "j", "2", 1,
     "[a]\nk=1\nj=2\n\n; c\n[b]\nx=1\n"},
    {"new key in a section without keys", "[a]\n; c\n[b]\n", "a", "j", "2", 1,
     "[a]\nj=2\n; c\n[b]\n"},
    {"new key in the first of duplicate sections", "[a]\nk=1\n[a]\nm=1\n", "a", "j", "2", 1,
     "[a]\nk=1\nj=2\n[a]\nm=1\n"},
    {"new key before any header", "k=1\n[a]\n", "", "j", "2", 1, "k=1\nj=2\n[a]\n"},
    {"new key after a last line without ending", "[a]\nk=1", "a", "j", "2", 1, "[a]\nk=1\nj=2\n"},
    {"new section after a blank line", "[a]\nk=1\n", "b", "j", "2", 1, "[a]\nk=1\n\n[b]\nj=2\n"},
    {"new section when file ends blank", "[a]\nk=1\n\n", "b", "j", "2", 1,
     "[a]\nk=1\n\n[b]\nj=2\n"},
    {"new section when file lacks final ending", "[a]\nk=1", "b", "j", "2", 1,
     "[a]\nk=1\n\n[b]\nj=2\n"},
    {"new section names are trimmed", "", " b\t", " j ", "2", 1, "[b]\nj=2\n"},
    {"new file", std::nullopt, "Options", "HomePage", "about:blank", 1,
     "[Options]\nHomePage=about:blank\n"},
    {"CRLF file gets CRLF lines", "[a]\r\nk=1\r\n", "b", "j", "2", 1,
     "[a]\r\nk=1\r\n\r\n[b]\r\nj=2\r\n"},
    {"lone CR file gets CR lines", "[a]\rk=1\r", "a", "j", "2", 1, "[a]\rk=1\rj=2\r"},
    {"UTF-8 byte-order mark kept", "\xEF\xBB\xBF[a]\nk=1\n", "a", "k", "é", 1,
     "\xEF\xBB\xBF[a]\nk=é\n"},
    {"UTF-16 LE kept", utf16le(u"\uFEFF[a]\r\nk=1\r\n"), "a", "j", "é€", 1,
     utf16le(u"\uFEFF[a]\r\nk=1\r\nj=é€\r\n")},
    {"Windows-1252 kept", "[a]\nk=caf\xE9\n", "a", "j", "€é", 1, "[a]\nk=caf\xE9\nj=\x80\xE9\n"},
    {"Windows-1252 cannot hold the text", "[a]\nk=caf\xE9\n", "a", "j", "☃", 0, "[a]\nk=caf\xE9\n"},
    {"UTF-16 LE half character at the end is written whole", utf16le(u"\uFEFF[a]\r\nk=v") + "A",
     "a", "j", "w", 1, utf16le(u"\uFEFF[a]\r\nk=v\uFFFD\r\nj=w\r\n")},
    {"Windows-1252 edit that would read as UTF-8 refused", "[a]\nk=\xE9\nj=\xC3\xA9\n", "a", "k",
     std::nullopt, 0, "[a]\nk=\xE9\nj=\xC3\xA9\n"},
    {"Windows-1252 edit that would start with a byte-order mark refused", "k=\xE9\n\xFF\xFEj=2\n",
     "", "k", std::nullopt, 0, "k=\xE9\n\xFF\xFEj=2\n"},
    {"Windows-1252 edit leaving ASCII only taken", "[a]\nk=\xE9\nj=1\n", "a", "k", std::nullopt, 1,
     "[a]\nj=1\n"},
    {"outer blanks are quoted", "", "a", "k", " v\t", 1, "[a]\nk=\" v\t\"\n"},
    {"outer quotes are quoted", "", "a", "k", "'v'", 1, "[a]\nk=\"'v'\"\n"},
    {"inner quotes are not", "", "a", "k", "a \"b\" c", 1, "[a]\nk=a \"b\" c\n"},
    {"empty value", "", "a", "k", "", 1, "[a]\nk=\n"},
    {"empty key", "", "a", "", "v", 1, "[a]\n=v\n"},
    {"empty section is the top of the file", "; c\n[a]\nk=1\n", "", "j", "2", 1,
     "j=2\n; c\n[a]\nk=1\n"},
    {"NUL ends the value", "", "a", "k", "v\0w"s, 1, "[a]\nk=v\n"},
    {"same value leaves the line", "[a]\n k = v \n", "a", "k", "v", 1, "[a]\n k = v \n"},
    {"absent value removes every line of the key", "[a]\nk=1\nj=2\nK=3\n", "a", "k", std::nullopt,
     1, "[a]\nj=2\n"},
    {"removing a missing key succeeds", "[a]\nj=2\n", "a", "k", std::nullopt, 1, "[a]\nj=2\n"},
    {"removing from a missing file succeeds", std::nullopt, "a", "k", std::nullopt, 1,
     std::nullopt},
    {"absent key removes the sections", "; c\n[a]\nk=1\n; inner\n[b]\nx=1\n[A]\ny=2\n", "a",
     std::nullopt, std::nullopt, 1, "; c\n[b]\nx=1\n"},
    {"absent key removes the section whatever the value", "[a]\nk=1\n[b]\n", "a", std::nullopt,
     "ignored", 1, "[b]\n"},
    {"removing a missing section succeeds", "[a]\n", "b", std::nullopt, std::nullopt, 1, "[a]\n"},
    {"absent section fails", "[a]\nk=1\n", std::nullopt, "k", "v", 0, "[a]\nk=1\n"},
    {"line feed in value refused", "[a]\n", "a", "k", "x\ny", 0, "[a]\n"},
    {"carriage return in key refused", "[a]\n", "a", "k\r", "v", 0, "[a]\n"},
    {"line feed in section refused", std::nullopt, "a\nb", "k", "v", 0, std::nullopt},
    {"equals in key refused", "[a]\n", "a", "k=j", "v", 0, "[a]\n"},
    {"key starting with bracket refused", "[a]\n", "a", " [k", "v", 0, "[a]\n"},
    {"key starting with semicolon refused", "[a]\n", "a", ";k", "v", 0, "[a]\n"},
    {"lines with a NUL keep their bytes", "[a]\nx=1\0junk\nk=1\n"s, "a", "k", "2", 1,
     "[a]\nx=1\0junk\nk=2\n"s},
    {"UTF-16 bytes of a line break off a character boundary are no break",
     "\xff\xfe[\0a\0]\0\x01\n\0"s, "a", "j", "w", 1,
     "\xff\xfe[\0a\0]\0\x01\n\xfd\xff\n\0j\0=\0w\0\n\0"s},
    {"a rewritten line loses what followed its NUL", "[a]\nk=1\0junk\n"s, "a", "k", "2", 1,
     "[a]\nk=2\n"},
};

class WriteRules : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteRules, ChangesExactlyWhatItShould) {
    const WriteCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.file("s.ini");
    if (c.before) {
        write_bytes(path, *c.before);
    }
    EXPECT_EQ(write_private_profile_string(c.section, c.key, c.value, path), c.result);
    ASSERT_EQ(std::filesystem::exists(path), c.after.has_value());
    if (c.after) {
        EXPECT_EQ(read_bytes(path), *c.after);
    }
    if (c.result != 0 && c.key && c.value) {
        // What was written reads back as it was given.
        const std::string given(profile::until_nul(*c.value));
        EXPECT_EQ(profile_read(c.section, c.key, "default", path), given);
    }
}

INSTANTIATE_TEST_SUITE_P(Format, WriteRules, ::testing::ValuesIn(kWriteCases), CaseName());

TEST(WriteCorpus, ReplacingAValueChangesOnlyItsLine) {
    struct Case {
        const char* file;
        profile::Encoding encoding;
        const char* old_line;
    };
    const Case cases[] = {
        {"windows-crlf.ini", profile::Encoding::Utf8,
         "  HomePage = http://catalogue.example/start  "},
        {"utf8-bom.ini", profile::Encoding::Utf8, "HomePage=http://museum.example/zaal/één"},
        {"utf16le-bom.ini", profile::Encoding::Utf16Le, "HomePage=http://bibliotheek.example/"},
        {"windows-1252.ini", profile::Encoding::Windows1252, "HomePage=http://café.example/"},
        {"mac-cr.ini", profile::Encoding::Utf8, "HomePage=http://old-mac.example/"},
        {"awkward.ini", profile::Encoding::Utf8, "HomePage='http://quoted.example/'"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string original = read_bytes(std::string(CORVALEN_TEST_DATA) + "/" + c.file);
        std::string old_line;
        std::string new_line;
        ASSERT_TRUE(profile::encode(c.encoding, c.old_line, old_line));
        ASSERT_TRUE(profile::encode(c.encoding, "HomePage=http://new.example/é", new_line));
        std::string expected = original;
        expected.replace(expected.find(old_line), old_line.size(), new_line);

        const std::string path = dir.file(c.file);
        write_bytes(path, original);
        ASSERT_EQ(write_private_profile_string("options", "homepage", "http://new.example/é", path),
                  1);
        EXPECT_EQ(read_bytes(path), expected);
    }
}

} // namespace
} // namespace corvalen::test
