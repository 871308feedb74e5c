// SPDX-License-Identifier: MIT
#include "text.hpp"

#include <algorithm>
#include <array>

namespace corvalen::profile {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 bytes 0x80..0x9F. The five bytes that the code page leaves
// undefined map to the C1 controls of the same value, so every byte decodes
// and encodes back to itself.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Decodes one UTF-8 sequence; an invalid one counts as U+FFFD over its
// longest valid prefix (at least one byte), as the Unicode standard advises.
Decoded decode_utf8(std::string_view bytes, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    std::size_t needed = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    char32_t code_point = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
        code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        code_point = lead & 0x0F;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        code_point = lead & 0x07;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        return {kReplacement, 1, false};
    }
    std::size_t length = 1;
    for (std::size_t i = 0; i < needed; ++i) {
        if (pos + length >= bytes.size()) {
            return {kReplacement, length, false};
        }
        const auto byte = static_cast<unsigned char>(bytes[pos + length]);
        if (byte < low || byte > high) {
            return {kReplacement, length, false};
        }
        low = 0x80;
        high = 0xBF;
        code_point = (code_point << 6) | (byte & 0x3F);
        ++length;
    }
    return {code_point, length, true};
}

Decoded decode_utf16le(std::string_view bytes, std::size_t pos) {
    auto unit_at = [&](std::size_t at) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[at]) |
                                     (static_cast<unsigned char>(bytes[at + 1]) << 8));
    };
    if (pos + 1 >= bytes.size()) {
        return {kReplacement, 1, false};
    }
    const char32_t unit = unit_at(pos);
    if (unit < 0xD800 || unit > 0xDFFF) {
        return {unit, 2, true};
    }
    if (unit <= 0xDBFF && pos + 3 < bytes.size()) {
        const char32_t next = unit_at(pos + 2);
        if (next >= 0xDC00 && next <= 0xDFFF) {
            return {0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), 4, true};
        }
    }
    return {kReplacement, 2, false};
}

Decoded decode_cp1252(std::string_view bytes, std::size_t pos) {
    const auto byte = static_cast<unsigned char>(bytes[pos]);
    if (byte >= 0x80 && byte <= 0x9F) {
        return {kCp1252High[byte - 0x80], 1, true};
    }
    return {byte, 1, true};
}

void append_utf16le(char32_t code_point, std::string& out) {
    auto unit = [&](char32_t value) {
        out.push_back(static_cast<char>(value & 0xFF));
        out.push_back(static_cast<char>((value >> 8) & 0xFF));
    };
    if (code_point >= 0x10000) {
        code_point -= 0x10000;
        unit(0xD800 + (code_point >> 10));
        unit(0xDC00 + (code_point & 0x3FF));
    } else {
        unit(code_point);
    }
}

bool append_cp1252(char32_t code_point, std::string& out) {
    if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
        out.push_back(static_cast<char>(code_point));
        return true;
    }
    const auto* found = std::find(kCp1252High.begin(), kCp1252High.end(), code_point);
    if (found == kCp1252High.end()) {
        return false;
    }
    out.push_back(static_cast<char>(0x80 + (found - kCp1252High.begin())));
    return true;
}

} // namespace

Decoded decode_one(Encoding encoding, std::string_view bytes, std::size_t pos) {
    switch (encoding) {
    case Encoding::Utf16Le:
        return decode_utf16le(bytes, pos);
    case Encoding::Windows1252:
        return decode_cp1252(bytes, pos);
    case Encoding::Utf8:
        break;
    }
    return decode_utf8(bytes, pos);
}

bool encode(Encoding encoding, std::string_view utf8, std::string& out) {
    if (encoding == Encoding::Utf8) {
        out += repair_utf8(utf8);
        return true;
    }
    std::string encoded;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const Decoded decoded = decode_utf8(utf8, pos);
        pos += decoded.length;
        if (encoding == Encoding::Utf16Le) {
            append_utf16le(decoded.code_point, encoded);
        } else if (!append_cp1252(decoded.code_point, encoded)) {
            return false;
        }
    }
    out += encoded;
    return true;
}

void append_utf8(char32_t code_point, std::string& out) {
    if (code_point < 0x80) {
        out.push_back(static_cast<char>(code_point));
    } else if (code_point < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else if (code_point < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
    }
}

bool is_valid_utf8(std::string_view bytes) {
    for (std::size_t pos = 0; pos < bytes.size();) {
        // Settings files are mostly ASCII: pass over it without decoding.
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const Decoded decoded = decode_utf8(bytes, pos);
        if (!decoded.valid) {
            return false;
        }
        pos += decoded.length;
    }
    return true;
}

std::string repair_utf8(std::string_view bytes) {
    if (is_valid_utf8(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() + 8);
    for (std::size_t pos = 0; pos < bytes.size();) {
        const Decoded decoded = decode_utf8(bytes, pos);
        append_utf8(decoded.code_point, out);
        pos += decoded.length;
    }
    return out;
}

std::u32string to_u32(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const Decoded decoded = decode_utf8(utf8, pos);
        out.push_back(decoded.code_point);
        pos += decoded.length;
    }
    return out;
}

std::string to_utf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t code_point : text) {
        append_utf8(code_point, out);
    }
    return out;
}

std::string_view until_nul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

std::string_view trim_blanks(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && is_blank(text[begin])) {
        ++begin;
    }
    while (end > begin && is_blank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool has_outer_quotes(std::string_view text) {
    return text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
           text.back() == text.front();
}

std::string_view unquote(std::string_view text) {
    return has_outer_quotes(text) ? text.substr(1, text.size() - 2) : text;
}

bool equal_ascii_nocase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace corvalen::profile
