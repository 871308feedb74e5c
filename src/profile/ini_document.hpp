// SPDX-License-Identifier: MIT
#pragma once

// An INI file held as its lines, each with its original bytes, so that an edit
// rewrites only the lines it changes. Parsing and editing only; no file access.
//
// Format, as settings files written on Windows expect it:
// - Lines end at CRLF, LF or a lone CR. Blanks are spaces and tabs.
// - A header is a line whose first non-blank character is '[' and that has a
//   ']' after it; the name lies between the '[' and the last ']', trimmed.
//   A '[' line without ']' is neither a header nor a key.
// - A line whose first non-blank character is ';' is a comment.
// - Any other line with an '=' is a key line: the name is the trimmed text
//   before the first '=', the value the trimmed text after it, with one pair
//   of matching outer quotes ("..." or '...') removed.
// - Names compare case-insensitively (ASCII letters) after trimming.
// - The lines before the first header form a section named by the empty text.
// - The first section of a name is the one searched (so a "[]" header is never
//   reached); in it, the first key of a name wins.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text.hpp"

namespace corvalen::profile {

class IniDocument {
public:
    // Detects the encoding (UTF-8 or UTF-16 LE byte-order mark, else UTF-8 when
    // the bytes are valid UTF-8, else Windows-1252) and splits the lines.
    static IniDocument parse(std::string_view bytes);

    // Lookups; names are UTF-8 and compared as the format says.
    [[nodiscard]] std::optional<std::string> find_value(std::string_view section,
                                                        std::string_view key) const;
    // Key names of the first section of that name, duplicates included; nullopt
    // when there is no such section.
    [[nodiscard]] std::optional<std::vector<std::string>> key_names(std::string_view section) const;
    // Names of all headers in file order, duplicates included.
    [[nodiscard]] std::vector<std::string> section_names() const;

    // Edits. set_value returns false, leaving the document unchanged, when the
    // text cannot be written in the file's encoding. The caller checks that the
    // names and value keep the file's structure (see breaks_structure).
    bool set_value(std::string_view section, std::string_view key, std::string_view value);
    // Removes every line of that key in the first section of that name.
    void remove_key(std::string_view section, std::string_view key);
    // Removes every section of that name, each from its header to the next one.
    void remove_section(std::string_view section);

    [[nodiscard]] std::string bytes() const;
    // True when bytes, parsed anew, would be decoded as this document is. The
    // encoding is detected from the bytes, so an edit can change it: a
    // Windows-1252 file that loses its last byte that is not UTF-8, or a file
    // that comes to start with what reads as a byte-order mark.
    [[nodiscard]] bool decodes_alike(std::string_view bytes) const;
    [[nodiscard]] Encoding encoding() const { return m_encoding; }

private:
    enum class Kind { Other, Comment, Header, Key };

    struct Line {
        std::string raw;              // the line's bytes in the file, line ending included
        std::size_t content_size = 0; // bytes of raw before the line ending
        Kind kind = Kind::Other;
        std::string name; // section or key name, trimmed, UTF-8
        std::string value;
        bool has_ending = false;
        bool blank = false;
    };

    // A section as a range of lines [begin, end); header is the header line's
    // index, or npos for the lines before the first header.
    struct Span {
        std::size_t header;
        std::size_t begin;
        std::size_t end;
    };

    static Line classify(std::string raw, std::string_view text, std::size_t content_size);
    [[nodiscard]] std::vector<Span> sections() const;
    [[nodiscard]] std::optional<Span> first_section(std::string_view name) const;
    [[nodiscard]] bool span_has_name(const Span& span, std::string_view name) const;
    [[nodiscard]] std::optional<std::string> encoded(std::string_view text) const;
    bool insert_lines(std::size_t at, const std::vector<std::string>& texts);

    Encoding m_encoding = Encoding::Utf8;
    std::string m_bom;
    std::string m_line_ending = "\n"; // decoded, UTF-8
    std::vector<Line> m_lines;
};

// True when writing this section, key or value would change the file's
// structure: a CR or LF anywhere, or a key that holds '=' or starts with '['
// or ';' once trimmed.
bool breaks_structure(std::string_view section, std::string_view key, std::string_view value);

// The text written after '=' for a value, quoted where reading it back bare
// would lose leading or trailing blanks or a pair of outer quotes.
std::string value_for_writing(std::string_view value);

} // namespace corvalen::profile
