// SPDX-License-Identifier: MIT
#pragma once

// Shorthands for calling the profile layer in tests.

#include <string>

#include "profile/profile.hpp"
#include "profile/text.hpp"

namespace corvalen::test {

using profile::OptionalText;

// The first count characters of the buffer, as UTF-8 (NULs kept).
inline std::string profile_read(const OptionalText& section, const OptionalText& key,
                                const OptionalText& default_text, const OptionalText& path,
                                std::size_t buffer_size = 255) {
    std::u32string buffer(buffer_size, U' ');
    const auto count =
        profile::get_private_profile_string(section, key, default_text, buffer, path);
    return profile::to_utf8(std::u32string_view(buffer).substr(0, static_cast<std::size_t>(count)));
}

} // namespace corvalen::test
