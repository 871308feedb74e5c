// SPDX-License-Identifier: MIT
#pragma once

// An INI file held as its bytes. Every call scans the lines it needs, in time
// linear in the file's size and with no table of lines, and stops as soon as
// it has its answer; an edit copies the bytes around the lines it changes, so
// every other line keeps its bytes. Parsing and editing only; no file access.
//
// Format, as settings files written on Windows expect it:
// - Lines end at CRLF, LF or a lone CR. Blanks are spaces and tabs. A NUL
//   ends a line's text: what follows it on that line is not read, so no name
//   ever holds a NUL.
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
#include <utility>
#include <vector>

#include "text.hpp"

namespace corvalen::profile {

class IniDocument {
public:
    // Detects the encoding (UTF-8 or UTF-16 LE byte-order mark, else UTF-8 when
    // the bytes are valid UTF-8, else Windows-1252) and splits the lines.
    static IniDocument parse(std::string bytes);

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

    [[nodiscard]] const std::string& bytes() const { return m_bytes; }
    // The bytes, moved out; the document is empty afterwards.
    [[nodiscard]] std::string release_bytes() { return std::move(m_bytes); }
    // True when bytes, parsed anew, would be decoded as this document is. The
    // encoding is detected from the bytes, so an edit can change it: a
    // Windows-1252 file that loses its last byte that is not UTF-8, or a file
    // that comes to start with what reads as a byte-order mark.
    [[nodiscard]] bool decodes_alike(std::string_view bytes) const;
    [[nodiscard]] Encoding encoding() const { return m_encoding; }

private:
    enum class Kind { Other, Comment, Header, Key };

    // A line as offsets into m_bytes: its text [begin, content_end), its
    // ending up to end.
    struct RawLine {
        std::size_t begin;
        std::size_t content_end;
        std::size_t end;
    };

    // A line's meaning; name and value view the line's decoded text.
    struct Parsed {
        Kind kind = Kind::Other;
        std::string_view name;
        std::string_view value;
        bool blank = false;
    };

    static Parsed meaning_of(std::string_view text);
    // Calls visit(line, parsed) for each header and key line in order until
    // it returns false.
    template <typename Visit> void scan(Visit visit) const;
    // Calls visit for each line of the first section of that name after its
    // header, until it returns false. Returns where that section's header line
    // ends (where its lines start), or nullopt when there is no such section.
    template <typename Visit>
    std::optional<std::size_t> scan_section(std::string_view section, Visit visit) const;
    // True for an empty file and for one whose last line is blank.
    [[nodiscard]] bool last_line_blank() const;
    // The file's first line ending, decoded; LF for a file without one.
    [[nodiscard]] std::string line_ending() const;
    [[nodiscard]] std::optional<RawLine> next_line(std::size_t pos) const;
    [[nodiscard]] std::string_view text_of(const RawLine& line, std::string& buffer) const;
    [[nodiscard]] std::optional<std::string> encoded(std::string_view text) const;
    // Keeps only the bytes outside the given ranges, which are in file order.
    void remove_ranges(const std::vector<std::pair<std::size_t, std::size_t>>& ranges);
    bool insert_lines(std::size_t at, const std::vector<std::string>& texts);

    std::string m_bytes;
    std::size_t m_body = 0; // where the text starts, after the byte-order mark
    Encoding m_encoding = Encoding::Utf8;
    bool m_plain = true; // valid UTF-8: lines are read in place, not decoded
};

// True when writing this section, key or value would change the file's
// structure: a CR or LF anywhere, or a key that holds '=' or starts with '['
// or ';' once trimmed.
bool breaks_structure(std::string_view section, std::string_view key, std::string_view value);

// The text written after '=' for a value, quoted where reading it back bare
// would lose leading or trailing blanks or a pair of outer quotes.
std::string value_for_writing(std::string_view value);

} // namespace corvalen::profile
