// SPDX-License-Identifier: MIT
#pragma once

// What the fuzz targets share: a private scratch file, checks that abort the
// run with a message, and the name rules of the format restated independently
// of the code under test.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "profile/profile.hpp"
#include "profile/text.hpp"
#include "support/temp_dir.hpp"

// A violated property is a finding: libFuzzer saves the input on abort.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property violated at %s:%d: %s\n", __FILE__, __LINE__,           \
                         #condition);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace corvalen::fuzz {

// A file in a directory of its own, made once per process and removed at exit.
class ScratchFile {
public:
    static const ScratchFile& get() {
        static const ScratchFile instance;
        return instance;
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    [[nodiscard]] const std::string& directory() const { return m_directory.path(); }
    [[nodiscard]] const std::string& path() const { return m_path; }

    void write(std::string_view bytes) const {
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        FUZZ_CHECK(out.good());
    }
    [[nodiscard]] std::string read() const {
        std::ifstream in(m_path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Entries in the directory: anything beyond the file is a leftover.
    [[nodiscard]] std::size_t entries() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(directory()), {}));
    }

private:
    ScratchFile() : m_path(m_directory.file("settings.ini")) {}

    test::TempDir m_directory;
    std::string m_path;
};

// One call of the read form, with the buffer checks every call must pass.
struct ReadResult {
    std::u32string text; // the count characters placed
    std::u32string buffer;
};

inline ReadResult read_profile(const profile::OptionalText& section,
                               const profile::OptionalText& key,
                               const profile::OptionalText& default_text, std::size_t buffer_size) {
    ReadResult result;
    result.buffer.assign(buffer_size, U'#');
    const auto count = profile::get_private_profile_string(
        section, key, default_text, result.buffer, ScratchFile::get().path());
    FUZZ_CHECK(count >= 0);
    if (buffer_size == 0) {
        FUZZ_CHECK(count == 0);
        return result;
    }
    FUZZ_CHECK(static_cast<std::size_t>(count) < buffer_size);
    FUZZ_CHECK(result.buffer[static_cast<std::size_t>(count)] == U'\0');
    result.text = result.buffer.substr(0, static_cast<std::size_t>(count));
    return result;
}

inline bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

inline std::string trimmed(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

inline char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Names as the format compares them: trimmed, ASCII letters without case.
inline bool same_name(std::string_view a, std::string_view b) {
    const std::string x = trimmed(a);
    const std::string y = trimmed(b);
    if (x.size() != y.size()) {
        return false;
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (lower(x[i]) != lower(y[i])) {
            return false;
        }
    }
    return true;
}

// The same name spelled differently: letters flipped in case, blanks around.
inline std::string respelled(std::string_view name) {
    std::string out = " \t";
    for (const char c : name) {
        if (c >= 'a' && c <= 'z') {
            out += static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c - 'A' + 'a');
        } else {
            out += c;
        }
    }
    return out + "\t ";
}

// An argument as the calls take it: up to its first NUL, invalid UTF-8 repaired.
inline std::string as_argument(std::string_view text) {
    return profile::repair_utf8(profile::until_nul(text));
}

} // namespace corvalen::fuzz
