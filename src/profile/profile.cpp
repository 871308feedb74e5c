// SPDX-License-Identifier: MIT
#include "profile.hpp"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <vector>

#include "file_access.hpp"
#include "ini_document.hpp"
#include "text.hpp"

namespace corvalen::profile {
namespace {

thread_local int t_last_write_error = 0;

// An argument as the call sees it: up to its first NUL, as valid UTF-8.
std::optional<std::string> argument(const OptionalText& text) {
    if (!text) {
        return std::nullopt;
    }
    return repair_utf8(until_nul(*text));
}

std::int32_t copy_value(std::u32string_view text, std::span<char32_t> buffer) {
    const std::size_t count = std::min(text.size(), buffer.size() - 1);
    std::copy_n(text.begin(), count, buffer.begin());
    buffer[count] = U'\0';
    return static_cast<std::int32_t>(count);
}

std::int32_t copy_list(const std::vector<std::string>& names, std::span<char32_t> buffer) {
    std::u32string list;
    for (const std::string& name : names) {
        list += to_u32(name);
        list += U'\0';
    }
    if (list.empty()) {
        buffer[0] = U'\0';
        return 0;
    }
    if (list.size() < buffer.size()) {
        std::copy(list.begin(), list.end(), buffer.begin());
        buffer[list.size()] = U'\0';
        return static_cast<std::int32_t>(list.size());
    }
    if (buffer.size() < 2) {
        buffer[0] = U'\0';
        return 0;
    }
    const std::size_t count = buffer.size() - 2;
    std::copy_n(list.begin(), count, buffer.begin());
    buffer[count] = U'\0';
    buffer[count + 1] = U'\0';
    return static_cast<std::int32_t>(count);
}

} // namespace

std::int32_t get_private_profile_string(const OptionalText& section, const OptionalText& key,
                                        const OptionalText& default_text,
                                        std::span<char32_t> buffer, const OptionalText& path) {
    if (buffer.empty()) {
        return 0;
    }
    // As on Windows, the default loses its trailing spaces and then one pair
    // of matching outer quotes.
    std::string fallback = argument(default_text).value_or("");
    fallback.erase(fallback.find_last_not_of(' ') + 1);
    const std::u32string fallback_text = to_u32(unquote(fallback));

    const auto bytes = path ? read_settings_file(std::string(until_nul(*path))) : std::nullopt;
    if (!bytes) {
        return copy_value(fallback_text, buffer);
    }
    const IniDocument document = IniDocument::parse(std::move(*bytes));
    const auto section_name = argument(section);
    const auto key_name = argument(key);
    if (!section_name) {
        return copy_list(document.section_names(), buffer);
    }
    if (!key_name) {
        const auto names = document.key_names(*section_name);
        return !names || names->empty() ? copy_value(fallback_text, buffer)
                                        : copy_list(*names, buffer);
    }
    const auto value = document.find_value(*section_name, *key_name);
    return copy_value(value ? to_u32(*value) : fallback_text, buffer);
}

std::int32_t write_private_profile_string(const OptionalText& section, const OptionalText& key,
                                          const OptionalText& value, const OptionalText& path) {
    const auto section_name = argument(section);
    const auto key_name = argument(key);
    const auto text = argument(value);
    int error = 0;
    if (!section_name || !path) {
        error = EINVAL;
    } else if (key_name && text && breaks_structure(*section_name, *key_name, *text)) {
        error = EINVAL;
    } else {
        error = update_settings_file(
            std::string(until_nul(*path)), [&](const std::optional<std::string>& current) {
                IniDocument document = IniDocument::parse(current.value_or(""));
                if (!key_name) {
                    document.remove_section(*section_name);
                } else if (!text) {
                    document.remove_key(*section_name, *key_name);
                } else if (!document.set_value(*section_name, *key_name, *text)) {
                    return EditResult{EditResult::Action::Refuse, {}, EILSEQ, {}};
                }
                if (document.bytes() ==
                    (current ? std::string_view(*current) : std::string_view())) {
                    return EditResult{};
                }
                // Read in another encoding, every other line would change.
                if (!document.decodes_alike(document.bytes())) {
                    return EditResult{EditResult::Action::Refuse, {}, EILSEQ, {}};
                }
                std::string blank;
                encode(document.encoding(), " ", blank);
                return EditResult{EditResult::Action::Replace, document.release_bytes(), 0,
                                  std::move(blank)};
            });
    }
    t_last_write_error = error;
    return error == 0 ? 1 : 0;
}

int last_write_error() {
    return t_last_write_error;
}

} // namespace corvalen::profile
