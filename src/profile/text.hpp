// SPDX-License-Identifier: MIT
#pragma once

// Text helpers of the profile layer: UTF-8 repair and counting, and the three
// encodings that settings files come in.

#include <cstddef>
#include <string>
#include <string_view>

namespace corvalen::profile {

enum class Encoding { Utf8, Utf16Le, Windows1252 };

// One decoded character and the number of bytes it took.
struct Decoded {
    char32_t code_point;
    std::size_t length;
    bool valid; // false where the bytes were not a valid sequence
};

// Decodes the character at byte offset pos (pos < bytes.size()). Never fails:
// an invalid or truncated sequence decodes as U+FFFD.
Decoded decode_one(Encoding encoding, std::string_view bytes, std::size_t pos);

// Appends the UTF-8 text utf8 in the given encoding to out. Returns false, with
// out unchanged, when a character has no place in that encoding.
bool encode(Encoding encoding, std::string_view utf8, std::string& out);

bool is_valid_utf8(std::string_view bytes);

// The text with every invalid UTF-8 sequence replaced by U+FFFD; valid text is
// returned unchanged.
std::string repair_utf8(std::string_view bytes);

// Code points of UTF-8 text (invalid sequences read as U+FFFD).
std::u32string to_u32(std::string_view utf8);
std::string to_utf8(std::u32string_view text);
void append_utf8(char32_t code_point, std::string& out);

// The text up to, not including, its first NUL: how a C string argument ends.
std::string_view until_nul(std::string_view text);

// Spaces and tabs: the blanks trimmed from names and values.
constexpr bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
std::string_view trim_blanks(std::string_view text);

// True for text that starts and ends with the same quote, " or '.
bool has_outer_quotes(std::string_view text);
// The text without one pair of matching outer quotes, if it has them.
std::string_view unquote(std::string_view text);

// Equality with ASCII letters compared case-insensitively; other bytes exactly.
bool equal_ascii_nocase(std::string_view a, std::string_view b);

} // namespace corvalen::profile
