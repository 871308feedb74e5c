// SPDX-License-Identifier: MIT
// Any bytes read as a settings file, through every read form and with buffers
// from one character to larger than the file: nothing crashes, every form
// agrees with the others, a small buffer holds a cut of what a large one does,
// and reading leaves the file as it was.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "profile/ini_document.hpp"

namespace {

using corvalen::fuzz::read_profile;
using corvalen::fuzz::ReadResult;
using corvalen::profile::OptionalText;

// Buffer sizes tried besides the large one: the edge cases and one the input
// picks.
std::vector<std::size_t> small_sizes(std::size_t picked) {
    return {1, 2, 3, 5, 255, picked};
}

// A value read in a small buffer is the large buffer's value cut to size - 1.
void check_value_cuts(const OptionalText& section, const OptionalText& key,
                      const std::u32string& full, std::size_t picked) {
    for (const std::size_t size : small_sizes(picked)) {
        const ReadResult small = read_profile(section, key, "<default>", size);
        FUZZ_CHECK(small.text == full.substr(0, size - 1));
    }
}

// A list read in a small buffer is whole when it fits, else cut to size - 2
// and ended by two NULs.
void check_list_cuts(const OptionalText& section, const std::u32string& full, std::size_t picked) {
    for (const std::size_t size : small_sizes(picked)) {
        const ReadResult small = read_profile(section, std::nullopt, "<default>", size);
        if (full.size() < size) {
            FUZZ_CHECK(small.text == full);
        } else if (size >= 2) {
            FUZZ_CHECK(small.text == full.substr(0, size - 2));
            FUZZ_CHECK(small.buffer[size - 1] == U'\0');
        } else {
            FUZZ_CHECK(small.text.empty());
        }
    }
}

std::u32string as_list(const std::vector<std::string>& names) {
    std::u32string list;
    for (const std::string& name : names) {
        list += corvalen::profile::to_u32(name) + U'\0';
    }
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using corvalen::profile::IniDocument;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto& scratch = corvalen::fuzz::ScratchFile::get();
    scratch.write(bytes);
    const std::size_t large = 2 * size + 64;
    const std::size_t picked = 1 + (size == 0 ? 0 : data[0] % 64);

    // The document keeps every byte, which is what lets an edit leave all
    // other lines exactly as they were.
    const IniDocument document = IniDocument::parse(bytes);
    FUZZ_CHECK(document.bytes() == bytes);

    const std::u32string sections = read_profile(std::nullopt, std::nullopt, "", large).text;
    FUZZ_CHECK(sections == as_list(document.section_names()));
    check_list_cuts(std::nullopt, sections, picked);

    // Every read parses the file anew; a bounded number of names per input
    // keeps the runs many.
    constexpr std::size_t kNamesChecked = 4;
    std::vector<std::string> names = document.section_names();
    names.resize(std::min(names.size(), kNamesChecked));
    names.emplace_back();
    for (const std::string& name : names) {
        // A NUL ends a line's text, so every name listed can be asked for.
        FUZZ_CHECK(name.find('\0') == std::string::npos);
        const auto keys = document.key_names(name);
        FUZZ_CHECK(keys.has_value());
        const std::u32string list = read_profile(name, std::nullopt, "<default>", large).text;
        FUZZ_CHECK(list == (keys->empty() ? U"<default>" : as_list(*keys)));
        if (!keys->empty()) {
            check_list_cuts(name, list, picked);
        }
        // Another spelling of the same name finds the same section.
        FUZZ_CHECK(
            read_profile(corvalen::fuzz::respelled(name), std::nullopt, "<default>", large).text ==
            list);

        for (std::size_t i = 0; i < keys->size() && i < kNamesChecked; ++i) {
            const std::string& key = (*keys)[i];
            FUZZ_CHECK(key.find('\0') == std::string::npos);
            const auto value = document.find_value(name, key);
            FUZZ_CHECK(value.has_value());
            const std::u32string full = read_profile(name, key, "<default>", large).text;
            FUZZ_CHECK(full == corvalen::profile::to_u32(*value));
            check_value_cuts(name, key, full, picked);
            FUZZ_CHECK(read_profile(corvalen::fuzz::respelled(name), corvalen::fuzz::respelled(key),
                                    "<default>", large)
                           .text == full);
        }
    }
    FUZZ_CHECK(scratch.read() == bytes);
    return 0;
}
