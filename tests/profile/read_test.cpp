// SPDX-License-Identifier: MIT
// Reading values: the file format as settings files written on Windows use it.

#include <gtest/gtest.h>

#include "support/case_name.hpp"
#include "support/profile_calls.hpp"
#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

using namespace std::string_literals;

struct ReadCase {
    const char* name;
    std::string file;
    OptionalText section;
    OptionalText key;
    OptionalText default_text;
    std::string expected;
};

const ReadCase kReadCases[] = {
    {"names ignore ASCII case", "[Options]\nHomePage=x\n", "oPTIONS", "HOMEPAGE", "d", "x"},
    {"file names trimmed", "  [ Options ]\t\n \t HomePage \t=x\n", "Options", "HomePage", "d", "x"},
    {"asked names trimmed", "[Options]\nHomePage=x\n", " Options\t", "\tHomePage ", "d", "x"},
    {"inner blanks must match", "[My Section]\nmy key=1\n", "My  Section", "my key", "d", "d"},
    {"inner blanks match", "[My Section]\nmy key=1\n", "my section", "MY KEY", "d", "1"},
    {"name ends at last bracket", "[a] x ] tail\nk=v\n", "a] x", "k", "d", "v"},
    {"text after header ignored", "[b] ; note\nk=v\n", "b", "k", "d", "v"},
    {"bracket without close is no header", "[a]\nk=1\n[b\nj=2\n", "a", "j", "d", "2"},
    {"bracket line without close is no key", "[a]\n[k=1\n", "a", "[k", "d", "d"},
    {"split at first equals", "[a]\nk = a=b \n", "a", "k", "d", "a=b"},
    {"double quotes removed", "[a]\nk=\" v \"\n", "a", "k", "d", " v "},
    {"single quotes removed", "[a]\nk='v'\n", "a", "k", "d", "v"},
    {"one pair only", "[a]\nk=\"\"v\"\"\n", "a", "k", "d", "\"v\""},
    {"unmatched quotes kept", "[a]\nk=\"v'\n", "a", "k", "d", "\"v'"},
    {"lone quote kept", "[a]\nk=\"\n", "a", "k", "d", "\""},
    {"no inline comments", "[a]\nk=v ; x\n", "a", "k", "d", "v ; x"},
    {"semicolon line is a comment", "[a]\n ;k=v\n", "a", ";k", "d", "d"},
    {"hash is an ordinary character", "[a]\n#k=v\n", "a", "#k", "d", "v"},
    {"line without equals not found", "[a]\nk\n", "a", "k", "d", "d"},
    {"empty value is not the default", "[a]\nk=\n", "a", "k", "d", ""},
    {"keys before first header", "k=v\n[a]\nk=w\n", "", "k", "d", "v"},
    {"empty header is never reached", "[a]\n[ ]\nk=v\n", "", "k", "d", "d"},
    {"first key of a name wins", "[a]\nk=1\nK=2\n", "a", "k", "d", "1"},
    {"first section of a name searched", "[a]\nk=1\n[A]\nk=2\nj=3\n", "a", "j", "d", "d"},
    {"missing key gives default", "[a]\nk=1\n", "a", "j", "about:blank", "about:blank"},
    {"missing section gives default", "[a]\nk=1\n", "b", "k", "about:blank", "about:blank"},
    {"default loses trailing spaces", "", "a", "k", " x  ", " x"},
    {"default keeps trailing tab", "", "a", "k", "x\t", "x\t"},
    {"default loses outer quotes", "", "a", "k", "\"x \"  ", "x "},
    {"default loses single quotes", "", "a", "k", "'x'", "x"},
    {"default keeps unmatched quotes", "", "a", "k", "\"x'", "\"x'"},
    {"absent default is empty", "", "a", "k", std::nullopt, ""},
    {"NUL ends the section", "[a]\nk=1\n", "a\0zz"s, "k", "d", "1"},
    {"NUL ends the key", "[a]\nk=1\n", "a", "k\0zz"s, "d", "1"},
    {"NUL ends the default", "", "a", "k", "de\0f"s, "de"},
    {"CRLF endings", "[a]\r\nk=1\r\nj=2\r\n", "a", "j", "d", "2"},
    {"lone CR endings", "[a]\rk=1\rj=2\r", "a", "j", "d", "2"},
    {"mixed endings", "[a]\r\nk=1\rj=2\n", "a", "j", "d", "2"},
    {"UTF-8 names and values", "[Zaal]\nnaam=één\n", "zaal", "NAAM", "d", "één"},
    {"non-ASCII letters compare exactly", "[Zaal]\nnaam=één\n", "ZAAL", "naam", "d", "één"},
    {"UTF-8 letter case is not folded", "[Ä]\nk=1\n", "ä", "k", "d", "d"},
    {"NUL ends a line's text", "[a]\nk=v\0tail\n"s, "a", "k", "d", "v"},
    {"NUL before the equals: no key", "[a]\nk\0=v\n"s, "a", "k", "d", "d"},
    {"NUL in a header: no header", "[a]\nk=1\n[b\0]\nj=2\n"s, "a", "j", "d", "2"},
};

class ReadRules : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadRules, GivesExpectedText) {
    const ReadCase& c = GetParam();
    TempDir dir;
    write_bytes(dir.file("s.ini"), c.file);
    EXPECT_EQ(profile_read(c.section, c.key, c.default_text, dir.file("s.ini")), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Format, ReadRules, ::testing::ValuesIn(kReadCases), CaseName());

// Real-looking files from other systems: encodings, byte-order marks, endings.
struct CorpusCase {
    const char* file;
    const char* key;
    const char* expected;
};

TEST(ReadCorpus, EncodingsAndLineEndings) {
    const CorpusCase cases[] = {
        {"windows-crlf.ini", "HomePage", "http://catalogue.example/start"},
        {"windows-crlf.ini", "Password", "  s3cret "},
        {"utf8-bom.ini", "HomePage", "http://museum.example/zaal/één"},
        {"utf8-bom.ini", "Password", "pässwörd"},
        {"utf16le-bom.ini", "HomePage", "http://bibliotheek.example/"},
        {"utf16le-bom.ini", "Password", "wachtwoord€"},
        {"windows-1252.ini", "HomePage", "http://café.example/"},
        {"windows-1252.ini", "Password", "€100"},
        {"mac-cr.ini", "Password", "cr"},
        {"awkward.ini", "HomePage", "http://quoted.example/"},
        {"awkward.ini", "Password", "a=b ; not a comment"},
        {"awkward.ini", "#Password", "hash is no comment"},
        {"awkward.ini", "Empty", ""},
    };
    for (const CorpusCase& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.key);
        EXPECT_EQ(profile_read("Options", c.key, "default",
                               std::string(CORVALEN_TEST_DATA) + "/" + c.file),
                  c.expected);
    }
}

TEST(ReadCorpus, ListsDuplicatesAndEmptyNames) {
    const std::string path = std::string(CORVALEN_TEST_DATA) + "/awkward.ini";
    EXPECT_EQ(profile_read(std::nullopt, std::nullopt, "d", path, 8192), "Options\0Options\0\0"s);
    EXPECT_EQ(profile_read("options", std::nullopt, "d", path, 8192),
              "HomePage\0homepage\0#Password\0Password\0Empty\0"s);
    EXPECT_EQ(profile_read("", "stray", "d", path), "before any header");
}

TEST(ReadFile, MissingFileGivesDefaultAndIsNotCreated) {
    TempDir dir;
    const std::string path = dir.file("absent.ini");
    EXPECT_EQ(profile_read("a", "k", "about:blank", path), "about:blank");
    EXPECT_EQ(profile_read("a", std::nullopt, "about:blank", path, 8192), "about:blank");
    EXPECT_EQ(profile_read(std::nullopt, std::nullopt, "about:blank", path, 8192), "about:blank");
    EXPECT_EQ(profile_read("a", "k", "d", std::nullopt), "d");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(ReadBuffer, CutsToBufferSizeInCharacters) {
    TempDir dir;
    const std::string path = dir.file("s.ini");
    write_bytes(path, "[a]\nk=äöüß€\n");
    EXPECT_EQ(profile_read("a", "k", "d", path, 4), "äöü");
    EXPECT_EQ(profile_read("a", "k", "d", path, 1), "");
    EXPECT_EQ(profile_read("a", "missing", "€€€€", path, 3), "€€");

    std::u32string buffer(4, U'x');
    EXPECT_EQ(profile::get_private_profile_string("a", "k", "d", buffer, path), 3);
    EXPECT_EQ(buffer[3], U'\0');
    EXPECT_EQ(profile::get_private_profile_string("a", "k", "d", std::span<char32_t>(), path), 0);
}

} // namespace
} // namespace corvalen::test
