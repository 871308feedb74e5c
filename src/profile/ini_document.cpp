// SPDX-License-Identifier: MIT
#include "ini_document.hpp"

#include <algorithm>

namespace corvalen::profile {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

struct Detected {
    Encoding encoding;
    std::string_view bom;
};

Detected detect(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Bom)) {
        return {Encoding::Utf8, kUtf8Bom};
    }
    if (bytes.starts_with(kUtf16LeBom)) {
        return {Encoding::Utf16Le, kUtf16LeBom};
    }
    return {is_valid_utf8(bytes) ? Encoding::Utf8 : Encoding::Windows1252, {}};
}

// The character of `unit` bytes (1, or 2 in UTF-16) at pos when it is ASCII,
// else '\xff'. Blanks and line breaks are ASCII in every encoding read: single
// bytes in UTF-8 and Windows-1252, which never occur inside another character
// there, and whole units in UTF-16.
char ascii_at(std::string_view all, std::size_t pos, std::size_t unit) {
    if (pos + unit > all.size() || (unit == 2 && all[pos + 1] != '\0')) {
        return '\xff';
    }
    return all[pos];
}

bool is_line_break(char c) {
    return c == '\n' || c == '\r';
}

// The offset of the first character at or after pos that is not a blank or a
// line break; all.size() when there is none.
std::size_t skip_blanks(std::string_view all, std::size_t pos, std::size_t unit) {
    for (char c = ascii_at(all, pos, unit); is_line_break(c) || is_blank(c);
         c = ascii_at(all, pos, unit)) {
        pos += unit;
    }
    return std::min(pos, all.size());
}

// Where the line holding the character at text starts: after the last line
// break in [from, text), or at from.
std::size_t line_start(std::string_view all, std::size_t from, std::size_t text, std::size_t unit) {
    for (std::size_t at = text; at > from; at -= unit) {
        if (is_line_break(ascii_at(all, at - unit, unit))) {
            return at;
        }
    }
    return from;
}

} // namespace

IniDocument IniDocument::parse(std::string bytes) {
    IniDocument doc;
    const Detected detected = detect(bytes);
    doc.m_encoding = detected.encoding;
    doc.m_body = detected.bom.size();
    doc.m_plain =
        detected.encoding == Encoding::Utf8 &&
        (detected.bom.empty() || is_valid_utf8(std::string_view(bytes).substr(doc.m_body)));
    doc.m_bytes = std::move(bytes);
    return doc;
}

std::optional<IniDocument::RawLine> IniDocument::next_line(std::size_t pos) const {
    const std::string_view all = m_bytes;
    if (pos >= all.size()) {
        return std::nullopt;
    }
    const std::size_t unit = m_encoding == Encoding::Utf16Le ? 2 : 1;
    std::size_t at = pos;
    while (at < all.size() && !is_line_break(ascii_at(all, at, unit))) {
        at += unit;
    }
    at = std::min(at, all.size());
    RawLine line{pos, at, at};
    if (at < all.size()) {
        line.end = at + unit;
        if (ascii_at(all, at, unit) == '\r' && ascii_at(all, line.end, unit) == '\n') {
            line.end += unit;
        }
    }
    return line;
}

std::string_view IniDocument::text_of(const RawLine& line, std::string& buffer) const {
    const std::string_view raw =
        std::string_view(m_bytes).substr(line.begin, line.content_end - line.begin);
    if (m_plain) {
        return until_nul(raw);
    }
    buffer.clear();
    for (std::size_t pos = 0; pos < raw.size();) {
        const Decoded decoded = decode_one(m_encoding, raw, pos);
        if (decoded.code_point == U'\0') {
            break;
        }
        append_utf8(decoded.code_point, buffer);
        pos += decoded.length;
    }
    return buffer;
}

IniDocument::Parsed IniDocument::meaning_of(std::string_view text) {
    Parsed parsed;
    std::size_t first = 0;
    while (first < text.size() && is_blank(text[first])) {
        ++first;
    }
    if (first == text.size()) {
        parsed.blank = true;
        return parsed;
    }
    if (text[first] == '[') {
        const std::size_t close = text.rfind(']');
        if (close != std::string_view::npos && close > first) {
            parsed.kind = Kind::Header;
            parsed.name = trim_blanks(text.substr(first + 1, close - first - 1));
        }
        return parsed;
    }
    if (text[first] == ';') {
        parsed.kind = Kind::Comment;
        return parsed;
    }
    const std::size_t equals = text.find('=');
    if (equals != std::string_view::npos) {
        parsed.kind = Kind::Key;
        parsed.name = trim_blanks(text.substr(0, equals));
        parsed.value = unquote(trim_blanks(text.substr(equals + 1)));
    }
    return parsed;
}

template <typename Visit> void IniDocument::scan(Visit visit) const {
    const std::string_view all = m_bytes;
    std::string buffer;
    std::size_t pos = m_body;
    const std::size_t unit = m_encoding == Encoding::Utf16Le ? 2 : 1;
    while (pos < all.size()) {
        // Blank lines mean nothing: pass over them a character at a time, not
        // a line at a time, so that a file of empty lines costs no more than
        // any other file of its size.
        const std::size_t text = skip_blanks(all, pos, unit);
        if (text == all.size()) {
            return;
        }
        pos = line_start(all, pos, text, unit);
        const RawLine line = *next_line(pos);
        const Parsed parsed = meaning_of(text_of(line, buffer));
        if ((parsed.kind == Kind::Header || parsed.kind == Kind::Key) && !visit(line, parsed)) {
            return;
        }
        pos = line.end;
    }
}

template <typename Visit>
std::optional<std::size_t> IniDocument::scan_section(std::string_view section, Visit visit) const {
    section = trim_blanks(section);
    // The lines before the first header form the section named by the empty
    // text, which is therefore always the first of that name.
    std::optional<std::size_t> header_end;
    if (section.empty()) {
        header_end = m_body;
    }
    scan([&](const RawLine& line, const Parsed& parsed) {
        if (parsed.kind == Kind::Header) {
            if (header_end) {
                return false;
            }
            if (equal_ascii_nocase(parsed.name, section)) {
                header_end = line.end;
            }
            return true;
        }
        return !header_end || visit(line, parsed);
    });
    return header_end;
}

std::optional<std::string> IniDocument::find_value(std::string_view section,
                                                   std::string_view key) const {
    key = trim_blanks(key);
    std::optional<std::string> value;
    scan_section(section, [&](const RawLine&, const Parsed& parsed) {
        if (parsed.kind == Kind::Key && equal_ascii_nocase(parsed.name, key)) {
            value = std::string(parsed.value);
            return false;
        }
        return true;
    });
    return value;
}

std::optional<std::vector<std::string>> IniDocument::key_names(std::string_view section) const {
    std::vector<std::string> names;
    const auto found = scan_section(section, [&](const RawLine&, const Parsed& parsed) {
        if (parsed.kind == Kind::Key) {
            names.emplace_back(parsed.name);
        }
        return true;
    });
    if (!found) {
        return std::nullopt;
    }
    return names;
}

std::vector<std::string> IniDocument::section_names() const {
    std::vector<std::string> names;
    scan([&](const RawLine&, const Parsed& parsed) {
        if (parsed.kind == Kind::Header) {
            names.emplace_back(parsed.name);
        }
        return true;
    });
    return names;
}

std::optional<std::string> IniDocument::encoded(std::string_view text) const {
    std::string out;
    if (!encode(m_encoding, text, out)) {
        return std::nullopt;
    }
    return out;
}

bool IniDocument::last_line_blank() const {
    std::size_t start = m_body;
    if (m_encoding != Encoding::Utf16Le) {
        // The last line starts after the last line break but the one that
        // may end it.
        std::string_view body = std::string_view(m_bytes).substr(m_body);
        if (body.ends_with('\n')) {
            body.remove_suffix(1);
        }
        if (body.ends_with('\r')) {
            body.remove_suffix(1);
        }
        start = line_start(m_bytes, m_body, m_body + body.size(), 1);
    }
    std::optional<RawLine> last;
    for (auto line = next_line(start); line; line = next_line(line->end)) {
        last = line;
    }
    std::string buffer;
    return !last || meaning_of(text_of(*last, buffer)).blank;
}

std::string IniDocument::line_ending() const {
    for (auto line = next_line(m_body); line; line = next_line(line->end)) {
        if (line->end > line->content_end) {
            const std::size_t units = m_encoding == Encoding::Utf16Le ? 2 : 1;
            if (line->end - line->content_end > units) {
                return "\r\n";
            }
            return m_bytes[line->content_end] == '\r' ? "\r" : "\n";
        }
    }
    return "\n";
}

bool IniDocument::insert_lines(std::size_t at, const std::vector<std::string>& texts) {
    const std::string ending = *encoded(line_ending());
    std::string block;
    for (const std::string& text : texts) {
        const auto content = encoded(text);
        if (!content) {
            return false;
        }
        block += *content + ending;
    }
    const std::string_view body = std::string_view(m_bytes).substr(m_body);
    // In UTF-16 a break counts only on a character boundary.
    const bool odd = m_encoding == Encoding::Utf16Le && body.size() % 2 != 0;
    const bool last_line_open =
        !body.empty() &&
        (odd || (!body.ends_with(*encoded("\n")) && !body.ends_with(*encoded("\r"))));
    if (at == m_bytes.size() && last_line_open) {
        // A UTF-16 file can end in half a character, which reads as U+FFFD.
        // Written out whole, it reads the same and the ending that follows
        // stays on a character boundary.
        if (odd) {
            m_bytes.pop_back();
            m_bytes += *encoded("\xEF\xBF\xBD");
        }
        m_bytes += ending;
        at = m_bytes.size();
    }
    m_bytes.insert(at, block);
    return true;
}

void IniDocument::remove_ranges(const std::vector<std::pair<std::size_t, std::size_t>>& ranges) {
    if (ranges.empty()) {
        return;
    }
    std::string kept;
    kept.reserve(m_bytes.size());
    std::size_t from = 0;
    for (const auto& [begin, end] : ranges) {
        kept.append(m_bytes, from, begin - from);
        from = end;
    }
    kept.append(m_bytes, from);
    m_bytes = std::move(kept);
}

bool IniDocument::set_value(std::string_view section, std::string_view key,
                            std::string_view value) {
    key = trim_blanks(key);
    const std::string written = value_for_writing(value);
    std::optional<RawLine> match;
    std::string match_name;
    bool unchanged = false;
    std::optional<std::size_t> after_last_key;
    const auto header_end = scan_section(section, [&](const RawLine& line, const Parsed& parsed) {
        if (parsed.kind != Kind::Key) {
            return true;
        }
        if (equal_ascii_nocase(parsed.name, key)) {
            match = line;
            match_name = parsed.name;
            unchanged = parsed.value == value;
            return false;
        }
        after_last_key = line.end;
        return true;
    });
    if (!header_end) {
        std::vector<std::string> texts;
        if (!last_line_blank()) {
            texts.emplace_back();
        }
        texts.push_back("[" + std::string(trim_blanks(section)) + "]");
        texts.push_back(std::string(key) + "=" + written);
        return insert_lines(m_bytes.size(), texts);
    }
    if (match) {
        if (unchanged) {
            return true;
        }
        const auto content = encoded(match_name + "=" + written);
        if (!content) {
            return false;
        }
        m_bytes.replace(match->begin, match->content_end - match->begin, *content);
        return true;
    }
    // A section without keys gets the key right after its header; the lines
    // before the first header have none, so there it goes to the top.
    return insert_lines(after_last_key.value_or(*header_end), {std::string(key) + "=" + written});
}

void IniDocument::remove_key(std::string_view section, std::string_view key) {
    key = trim_blanks(key);
    std::vector<std::pair<std::size_t, std::size_t>> lines;
    scan_section(section, [&](const RawLine& line, const Parsed& parsed) {
        if (parsed.kind == Kind::Key && equal_ascii_nocase(parsed.name, key)) {
            lines.emplace_back(line.begin, line.end);
        }
        return true;
    });
    remove_ranges(lines);
}

void IniDocument::remove_section(std::string_view section) {
    section = trim_blanks(section);
    std::vector<std::pair<std::size_t, std::size_t>> sections;
    std::optional<std::size_t> start;
    if (section.empty()) {
        start = m_body;
    }
    scan([&](const RawLine& line, const Parsed& parsed) {
        if (parsed.kind == Kind::Header) {
            if (start) {
                sections.emplace_back(*start, line.begin);
                start.reset();
            }
            if (equal_ascii_nocase(parsed.name, section)) {
                start = line.begin;
            }
        }
        return true;
    });
    if (start) {
        sections.emplace_back(*start, m_bytes.size());
    }
    remove_ranges(sections);
}

bool IniDocument::decodes_alike(std::string_view bytes) const {
    const Detected detected = detect(bytes);
    if (detected.encoding == m_encoding &&
        detected.bom == std::string_view(m_bytes).substr(0, m_body)) {
        return true;
    }
    // Windows-1252 and UTF-8 agree on ASCII.
    return m_encoding == Encoding::Windows1252 && detected.encoding == Encoding::Utf8 &&
           detected.bom.empty() &&
           std::ranges::all_of(bytes, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool breaks_structure(std::string_view section, std::string_view key, std::string_view value) {
    auto has_line_break = [](std::string_view text) {
        return text.find_first_of("\r\n") != std::string_view::npos;
    };
    if (has_line_break(section) || has_line_break(key) || has_line_break(value)) {
        return true;
    }
    key = trim_blanks(key);
    return key.find('=') != std::string_view::npos || key.starts_with('[') || key.starts_with(';');
}

std::string value_for_writing(std::string_view value) {
    const bool quote = !value.empty() && (is_blank(value.front()) || is_blank(value.back()) ||
                                          has_outer_quotes(value));
    return quote ? "\"" + std::string(value) + "\"" : std::string(value);
}

} // namespace corvalen::profile
