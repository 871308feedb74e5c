// SPDX-License-Identifier: MIT
#include "settings.hpp"

#include <algorithm>
#include <cstdint>
#include <set>

#include "controls/keyboard.hpp"
#include "controls/site_list.hpp"
#include "inifile/cinifile.hpp"
#include "password/password_hash.hpp"
#include "profile/text.hpp"
#include "shell/idle_timer.hpp"

namespace corvalen::shell::settings {

namespace {

// CUPS's limit on a queue's name; paper size names are far shorter.
constexpr std::size_t kMostPrinterBytes = 127;
constexpr std::size_t kMostPaperBytes = 64;

bool is_ascii_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Names compare as Corvalen compares them: ASCII letters without regard to
// case, surrounding spaces and tabs left out.
std::string folded(std::string_view name) {
    const auto first = name.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    name = name.substr(first, name.find_last_not_of(" \t") - first + 1);
    std::string result(name);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return result;
}

// Characters that a terminal takes as commands (C1 controls, CSI among
// them) or that reorder the text around them (bidirectional formatting).
bool is_hidden_control(char32_t c) {
    return (c >= 0x80 && c <= 0x9f) || c == 0x061c || c == 0x200e || c == 0x200f ||
           (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

// Text from the file as it may be shown on a terminal or in the journal: C0
// controls, DEL and bytes that are not UTF-8 as \xNN, C1 controls and
// bidirectional formatting characters as \uNNNN, so that a hostile file's
// escape sequences and reordering reach nobody's screen.
std::string shown(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string result;
    while (!text.empty()) {
        const auto [code_point, length, valid] =
            profile::decode_one(profile::Encoding::Utf8, text, 0);
        if (!valid || code_point < 0x20 || code_point == 0x7f) {
            const auto byte = static_cast<unsigned char>(text[0]);
            result += "\\x";
            result += kHex[byte >> 4];
            result += kHex[byte & 15];
            text.remove_prefix(1);
        } else if (is_hidden_control(code_point)) {
            result += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) {
                result += kHex[(code_point >> shift) & 15];
            }
            text.remove_prefix(length);
        } else {
            result.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return result;
}

// Edits between two names, an exchange of neighbours counting as one.
std::size_t distance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    for (std::size_t j = 0; j <= b.size(); ++j) {
        d[0][j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

std::vector<std::string> key_names(std::span<const Key> keys) {
    std::vector<std::string> names;
    for (const Key& key : keys) {
        names.emplace_back(key.name);
    }
    return names;
}

// The names written in a file, each once, with the index of the known name
// it stands for (letter case aside), or none. A name given again is reported
// in the words of `twice` and left out.
template <typename Twice>
std::vector<std::pair<std::string, std::optional<std::size_t>>>
first_names(const std::vector<std::string>& written, const std::vector<std::string>& known,
            Twice twice, std::vector<std::string>& lines) {
    std::vector<std::pair<std::string, std::optional<std::size_t>>> names;
    std::set<std::string> seen;
    for (const std::string& name : written) {
        if (!seen.insert(folded(name)).second) {
            lines.push_back(twice(name));
            continue;
        }
        const auto found = std::find_if(known.begin(), known.end(), [&](const std::string& each) {
            return folded(each) == folded(name);
        });
        names.emplace_back(name, found != known.end() ? std::optional(found - known.begin())
                                                      : std::nullopt);
    }
    return names;
}

// "; did you mean X?" for the known name nearest to an unknown one, if any.
std::string did_you_mean(const std::string& name, const std::vector<std::string>& known,
                         const char* open = "", const char* close = "") {
    const auto suggestion = nearest(name, known);
    return suggestion ? "; did you mean " + (open + *suggestion + close) + "?" : "";
}

// The keys of one known section.
void check_section(cInifile& ini, const std::string& written, const Section& section,
                   std::vector<std::string>& lines) {
    ini.Section(written);
    std::vector<std::string> keys;
    std::int32_t count = 0;
    ini.EnumerateCurrentSection(keys, count);
    const std::vector<std::string> known = key_names(section.keys);
    const auto twice = [&section](const std::string& name) {
        return shown(name) + ": given twice in [" + section.name + "]; only the first counts";
    };
    for (const auto& [name, index] : first_names(keys, known, twice, lines)) {
        const Key* key = index ? &section.keys[*index] : section.any_key;
        if (key == nullptr) {
            lines.push_back(shown(name) + ": unknown key in [" + section.name + "]" +
                            did_you_mean(name, known));
            continue;
        }
        const std::string value = value_of(ini, name, key->fallback);
        if (!accepts(*key, value)) {
            lines.push_back(refusal(section.name, name, *key, value));
        }
    }
}

} // namespace

std::string value_of(cInifile& ini, const std::string& name, const char* fallback) {
    ini.Key(name);
    ini.Default(fallback);
    return ini.Value();
}

bool accepts(const Key& key, const std::string& value) {
    switch (key.kind) {
    case Kind::Text:
    case Kind::Address:
    case Kind::Password:
        return true;
    case Kind::PasswordHash:
        // A bcrypt hash is used, but reported: its method reads only part
        // of a long password (see refusal).
        return value.empty() || (password::hash_recognised(value) &&
                                 password::bytes_read(value) == password::kMaxPasswordBytes);
    case Kind::Switch:
    case Kind::Flag:
        return value.empty() || value == "0" || value == "1";
    case Kind::Seconds:
    case Kind::Number:
        return whole_number(value, key.least, key.most).has_value();
    case Kind::IdleSeconds:
    case Kind::Megabytes:
        return value.empty() || value == "0" || whole_number(value, key.least, key.most);
    case Kind::SitePattern:
        return controls::SitePattern::parse(value).has_value();
    case Kind::Choice:
        return std::find(key.choices.begin(), key.choices.end(), value) != key.choices.end();
    case Kind::Layout:
        return controls::keyboard_layout(value, false).has_value();
    case Kind::Printer:
        // CUPS takes any printable character in a queue's name but these.
        return value.size() <= kMostPrinterBytes &&
               std::all_of(value.begin(), value.end(), [](char c) {
                   const auto byte = static_cast<unsigned char>(c);
                   return byte > ' ' && byte != 0x7f && c != '/' && c != '\\' && c != '#';
               });
    case Kind::Paper:
        return value.empty() || (value.size() <= kMostPaperBytes && is_ascii_letter(value[0]) &&
                                 std::all_of(value.begin(), value.end(), [](char c) {
                                     return is_ascii_letter(c) || (c >= '0' && c <= '9') ||
                                            c == '_' || c == '.' || c == '-';
                                 }));
    }
    return false;
}

std::string refusal(std::string_view section, std::string_view key_name, const Key& key,
                    const std::string& value) {
    std::string line = "[" + std::string(section) + "] " + shown(key_name);
    if (!key.secret) {
        line += "=\"" + shown(value) + "\"";
    }
    if (key.kind == Kind::PasswordHash && password::hash_recognised(value)) {
        return line + " is a bcrypt hash, which reads only the first " +
               std::to_string(password::bytes_read(value)) +
               " bytes of a password: a longer one never opens the exit; corvalen-ini passwd "
               "makes a hash that reads " +
               std::to_string(password::kMaxPasswordBytes);
    }
    return line + " is not " + key.wanted + "; " + key.outcome;
}

std::optional<std::string> nearest(std::string_view name, const std::vector<std::string>& known) {
    const std::string wanted = folded(name);
    std::optional<std::string> best;
    std::size_t best_distance = 0;
    for (const std::string& candidate : known) {
        const std::size_t d = distance(wanted, folded(candidate));
        if (d <= std::max<std::size_t>(1, candidate.size() / 4) && (!best || d < best_distance)) {
            best = candidate;
            best_distance = d;
        }
    }
    return best;
}

std::vector<std::string> check(const std::string& path) {
    std::vector<std::string> lines;
    cInifile ini;
    ini.Path(path);
    std::vector<std::string> sections;
    std::int32_t count = 0;
    ini.EnumerateAllSections(sections, count);
    std::vector<std::string> known;
    for (const Section& section : kSections) {
        known.emplace_back(section.name);
    }
    const auto twice = [](const std::string& name) {
        return "[" + shown(name) + "]: given twice; only the first counts";
    };
    for (const auto& [name, index] : first_names(sections, known, twice, lines)) {
        if (!index) {
            lines.push_back("[" + shown(name) + "]: unknown section" +
                            did_you_mean(name, known, "[", "]"));
            continue;
        }
        check_section(ini, name, kSections[*index], lines);
    }

    ini.Section("Options");
    const std::string homepage = value_of(ini, kHomepage.name, kHomepage.fallback);
    const std::string password = value_of(ini, kPassword.name, kPassword.fallback);
    const std::string hash = value_of(ini, kPasswordHash.name, kPasswordHash.fallback);
    if (homepage.empty()) {
        lines.emplace_back("[Options] Homepage is empty: no page is shown at start-up or by the "
                           "home button");
    }
    if (hash.empty() && password.empty()) {
        lines.emplace_back("[Options] no exit password: Password is empty and there is no "
                           "PasswordHash, so anyone can leave; set one with corvalen-ini passwd");
    } else if (!hash.empty() && !password.empty()) {
        lines.emplace_back("[Options] Password is ignored while PasswordHash is set; remove it "
                           "with corvalen-ini delete Options Password");
    }
    return lines;
}

} // namespace corvalen::shell::settings
