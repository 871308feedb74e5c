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

} // namespace

IniDocument IniDocument::parse(std::string_view bytes) {
    IniDocument doc;
    const Detected detected = detect(bytes);
    doc.m_encoding = detected.encoding;
    doc.m_bom = detected.bom;
    const std::string_view body = bytes.substr(doc.m_bom.size());

    std::optional<std::string> first_ending;
    std::string text;
    std::size_t line_start = 0;
    std::size_t pos = 0;
    while (pos < body.size()) {
        const Decoded decoded = decode_one(doc.m_encoding, body, pos);
        if (decoded.code_point != U'\r' && decoded.code_point != U'\n') {
            append_utf8(decoded.code_point, text);
            pos += decoded.length;
            continue;
        }
        const std::size_t content_end = pos;
        std::size_t end = pos + decoded.length;
        std::string ending = decoded.code_point == U'\n' ? "\n" : "\r";
        if (decoded.code_point == U'\r' && end < body.size()) {
            const Decoded next = decode_one(doc.m_encoding, body, end);
            if (next.code_point == U'\n') {
                end += next.length;
                ending = "\r\n";
            }
        }
        if (!first_ending) {
            first_ending = ending;
        }
        doc.m_lines.push_back(classify(std::string(body.substr(line_start, end - line_start)), text,
                                       content_end - line_start));
        text.clear();
        line_start = pos = end;
    }
    if (line_start < body.size()) {
        const std::size_t size = body.size() - line_start;
        doc.m_lines.push_back(classify(std::string(body.substr(line_start)), text, size));
    }
    if (first_ending) {
        doc.m_line_ending = *first_ending;
    }
    return doc;
}

IniDocument::Line IniDocument::classify(std::string raw, std::string_view text,
                                        std::size_t content_size) {
    Line line;
    line.has_ending = content_size < raw.size();
    line.content_size = content_size;
    line.raw = std::move(raw);
    const std::size_t first = text.find_first_not_of(" \t");
    line.blank = first == std::string_view::npos;
    if (line.blank) {
        return line;
    }
    if (text[first] == '[') {
        const std::size_t close = text.rfind(']');
        if (close != std::string_view::npos && close > first) {
            line.kind = Kind::Header;
            line.name = trim_blanks(text.substr(first + 1, close - first - 1));
        }
        return line;
    }
    if (text[first] == ';') {
        line.kind = Kind::Comment;
        return line;
    }
    const std::size_t equals = text.find('=');
    if (equals != std::string_view::npos) {
        line.kind = Kind::Key;
        line.name = trim_blanks(text.substr(0, equals));
        line.value = unquote(trim_blanks(text.substr(equals + 1)));
    }
    return line;
}

std::vector<IniDocument::Span> IniDocument::sections() const {
    std::vector<Span> spans;
    Span current{std::string::npos, 0, 0};
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::Header) {
            current.end = i;
            spans.push_back(current);
            current = Span{i, i, 0};
        }
    }
    current.end = m_lines.size();
    spans.push_back(current);
    return spans;
}

bool IniDocument::span_has_name(const Span& span, std::string_view name) const {
    name = trim_blanks(name);
    if (span.header == std::string::npos) {
        return name.empty();
    }
    return equal_ascii_nocase(m_lines[span.header].name, name);
}

std::optional<IniDocument::Span> IniDocument::first_section(std::string_view name) const {
    for (const Span& span : sections()) {
        if (span_has_name(span, name)) {
            return span;
        }
    }
    return std::nullopt;
}

std::optional<std::string> IniDocument::find_value(std::string_view section,
                                                   std::string_view key) const {
    const auto span = first_section(section);
    if (!span) {
        return std::nullopt;
    }
    key = trim_blanks(key);
    for (std::size_t i = span->begin; i < span->end; ++i) {
        if (m_lines[i].kind == Kind::Key && equal_ascii_nocase(m_lines[i].name, key)) {
            return m_lines[i].value;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> IniDocument::key_names(std::string_view section) const {
    const auto span = first_section(section);
    if (!span) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (std::size_t i = span->begin; i < span->end; ++i) {
        if (m_lines[i].kind == Kind::Key) {
            names.push_back(m_lines[i].name);
        }
    }
    return names;
}

std::vector<std::string> IniDocument::section_names() const {
    std::vector<std::string> names;
    for (const Line& line : m_lines) {
        if (line.kind == Kind::Header) {
            names.push_back(line.name);
        }
    }
    return names;
}

std::optional<std::string> IniDocument::encoded(std::string_view text) const {
    std::string out;
    if (!encode(m_encoding, text, out)) {
        return std::nullopt;
    }
    return out;
}

bool IniDocument::insert_lines(std::size_t at, const std::vector<std::string>& texts) {
    const std::string ending = *encoded(m_line_ending);
    std::vector<Line> lines;
    for (const std::string& text : texts) {
        const auto content = encoded(text);
        if (!content) {
            return false;
        }
        lines.push_back(classify(*content + ending, text, content->size()));
    }
    if (at > 0 && !m_lines[at - 1].has_ending) {
        Line& previous = m_lines[at - 1];
        // A UTF-16 file can end in half a character, which reads as U+FFFD.
        // Written out whole, it reads the same and the ending that follows
        // stays on a character boundary.
        if (m_encoding == Encoding::Utf16Le && previous.raw.size() % 2 != 0) {
            previous.raw.pop_back();
            previous.raw += *encoded("\xEF\xBF\xBD");
            previous.content_size = previous.raw.size();
        }
        previous.raw += ending;
        previous.has_ending = true;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), lines.begin(), lines.end());
    return true;
}

bool IniDocument::set_value(std::string_view section, std::string_view key,
                            std::string_view value) {
    key = trim_blanks(key);
    const std::string written = value_for_writing(value);
    const auto span = first_section(section);
    if (!span) {
        std::vector<std::string> texts;
        if (!m_lines.empty() && !m_lines.back().blank) {
            texts.emplace_back();
        }
        texts.push_back("[" + std::string(trim_blanks(section)) + "]");
        texts.push_back(std::string(key) + "=" + written);
        return insert_lines(m_lines.size(), texts);
    }
    std::size_t last_key = std::string::npos;
    for (std::size_t i = span->begin; i < span->end; ++i) {
        Line& line = m_lines[i];
        if (line.kind != Kind::Key) {
            continue;
        }
        if (equal_ascii_nocase(line.name, key)) {
            if (line.value == value) {
                return true;
            }
            const auto content = encoded(line.name + "=" + written);
            if (!content) {
                return false;
            }
            line.raw = *content + line.raw.substr(line.content_size);
            line.content_size = content->size();
            line.value = value;
            return true;
        }
        last_key = i;
    }
    // A section without keys gets the key right after its header; the lines
    // before the first header have none, so there it goes to the top.
    std::size_t at = 0;
    if (last_key != std::string::npos) {
        at = last_key + 1;
    } else if (span->header != std::string::npos) {
        at = span->header + 1;
    }
    return insert_lines(at, {std::string(key) + "=" + written});
}

void IniDocument::remove_key(std::string_view section, std::string_view key) {
    const auto span = first_section(section);
    if (!span) {
        return;
    }
    key = trim_blanks(key);
    for (std::size_t i = span->end; i-- > span->begin;) {
        if (m_lines[i].kind == Kind::Key && equal_ascii_nocase(m_lines[i].name, key)) {
            m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void IniDocument::remove_section(std::string_view section) {
    const std::vector<Span> spans = sections();
    for (auto span = spans.rbegin(); span != spans.rend(); ++span) {
        if (span_has_name(*span, section)) {
            m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(span->begin),
                          m_lines.begin() + static_cast<std::ptrdiff_t>(span->end));
        }
    }
}

bool IniDocument::decodes_alike(std::string_view bytes) const {
    const Detected detected = detect(bytes);
    if (detected.encoding == m_encoding && detected.bom == m_bom) {
        return true;
    }
    // Windows-1252 and UTF-8 agree on ASCII.
    return m_encoding == Encoding::Windows1252 && detected.encoding == Encoding::Utf8 &&
           detected.bom.empty() &&
           std::ranges::all_of(bytes, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string IniDocument::bytes() const {
    std::string out = m_bom;
    for (const Line& line : m_lines) {
        out += line.raw;
    }
    return out;
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
