// SPDX-License-Identifier: MIT
// A write, a key removal or a section removal applied to any bytes, with the
// names and value taken from the input or from the file itself. Checks that
// the operation does exactly what it says: the written value reads back,
// every other key and section reads as before, the lists change only by the
// operation, a refused write leaves the file as it was, and doing the same
// again changes nothing.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "profile/file_access.hpp"
#include "profile/ini_document.hpp"

namespace {

using corvalen::fuzz::same_name;
using corvalen::fuzz::trimmed;
using corvalen::profile::IniDocument;

enum class Operation { Write, RemoveKey, RemoveSection };

// What a reader sees of one section: its keys and their values.
struct SectionView {
    std::string name;
    std::vector<std::string> keys;
    std::vector<std::optional<std::string>> values;
};

// Every section a read can reach (the first of each name, and the lines
// before the first header), as the reads see them.
std::vector<SectionView> view_of(const IniDocument& document) {
    std::vector<std::string> names{""};
    for (const std::string& name : document.section_names()) {
        bool seen = false;
        for (const std::string& known : names) {
            seen = seen || same_name(known, name);
        }
        if (!seen) {
            names.push_back(name);
        }
    }
    std::vector<SectionView> views;
    for (const std::string& name : names) {
        SectionView view{name, document.key_names(name).value_or(std::vector<std::string>{}), {}};
        for (const std::string& key : view.keys) {
            view.values.push_back(document.find_value(name, key));
        }
        views.push_back(std::move(view));
    }
    return views;
}

const SectionView* find_view(const std::vector<SectionView>& views, std::string_view name) {
    for (const SectionView& view : views) {
        if (same_name(view.name, name)) {
            return &view;
        }
    }
    return nullptr;
}

bool has_name(const std::vector<std::string>& names, std::string_view name) {
    for (const std::string& known : names) {
        if (same_name(known, name)) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> without(const std::vector<std::string>& names, std::string_view name) {
    std::vector<std::string> kept;
    for (const std::string& known : names) {
        if (!same_name(known, name)) {
            kept.push_back(known);
        }
    }
    return kept;
}

// The refusals the write call documents for text that would break the file.
bool breaks_structure(const std::string& section, const std::string& key,
                      const std::string& value) {
    for (const std::string* text : {&section, &key, &value}) {
        if (text->find_first_of("\r\n") != std::string::npos) {
            return true;
        }
    }
    const std::string name = trimmed(key);
    return name.find('=') != std::string::npos || name.starts_with('[') || name.starts_with(';');
}

// A section of the file after the operation, against the same section before.
void check_section(const SectionView& before, const SectionView* after, Operation operation,
                   const std::string& section, const std::string& key) {
    const bool target = same_name(before.name, section);
    if (target && operation == Operation::RemoveSection) {
        FUZZ_CHECK(after == nullptr || (before.name.empty() && after->keys.empty()));
        return;
    }
    FUZZ_CHECK(after != nullptr);
    std::vector<std::string> keys = before.keys;
    if (target && operation == Operation::RemoveKey) {
        keys = without(keys, key);
    } else if (target && operation == Operation::Write && !has_name(keys, key)) {
        keys.push_back(trimmed(key));
    }
    FUZZ_CHECK(after->keys == keys);
    for (std::size_t i = 0; i < before.keys.size(); ++i) {
        if (!(target && same_name(before.keys[i], key))) {
            const SectionView& now = *after;
            std::optional<std::string> value;
            for (std::size_t j = 0; j < now.keys.size() && !value; ++j) {
                if (same_name(now.keys[j], before.keys[i])) {
                    value = now.values[j];
                }
            }
            FUZZ_CHECK(value == before.values[i]);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto operation = static_cast<Operation>(input.ConsumeIntegralInRange<int>(0, 2));
    const auto pick = input.ConsumeIntegral<std::uint8_t>();
    const auto section_index = input.ConsumeIntegral<std::uint8_t>();
    const auto key_index = input.ConsumeIntegral<std::uint8_t>();
    std::string section = input.ConsumeRandomLengthString(48);
    std::string key = input.ConsumeRandomLengthString(48);
    const std::string value_text = input.ConsumeRandomLengthString(400);
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    const IniDocument before = IniDocument::parse(bytes);
    // Most interesting edits hit names the file already has, in any spelling.
    const std::vector<std::string> sections = before.section_names();
    if ((pick & 1) != 0 && !sections.empty()) {
        section = sections[section_index % sections.size()];
        if ((pick & 2) != 0) {
            section = corvalen::fuzz::respelled(section);
        }
    }
    const auto keys = before.key_names(corvalen::fuzz::as_argument(section));
    if ((pick & 4) != 0 && keys && !keys->empty()) {
        key = (*keys)[key_index % keys->size()];
        if ((pick & 8) != 0) {
            key = corvalen::fuzz::respelled(key);
        }
    }
    const std::optional<std::string> value =
        operation == Operation::Write ? std::optional<std::string>(value_text) : std::nullopt;
    const std::optional<std::string> key_argument =
        operation == Operation::RemoveSection ? std::nullopt : std::optional<std::string>(key);

    const auto& scratch = corvalen::fuzz::ScratchFile::get();
    scratch.write(bytes);
    const auto result = corvalen::profile::write_private_profile_string(section, key_argument,
                                                                        value, scratch.path());
    const int error = corvalen::profile::last_write_error();
    const std::string written = scratch.read();
    // Replaying a finding with CORVALEN_FUZZ_TRACE set shows what was done.
    if (std::getenv("CORVALEN_FUZZ_TRACE") != nullptr) {
        std::fprintf(stderr, "operation %d section [%s] key [%s] value [%s] result %d\n",
                     static_cast<int>(operation), section.c_str(), key.c_str(), value_text.c_str(),
                     result);
        std::fprintf(stderr, "before:\n");
        std::fwrite(bytes.data(), 1, bytes.size(), stderr);
        std::fprintf(stderr, "\nafter:\n");
        std::fwrite(written.data(), 1, written.size(), stderr);
        std::fprintf(stderr, "\n");
    }
    FUZZ_CHECK(scratch.entries() == 1); // no temporary file left behind

    // The calls see each argument up to its first NUL, repaired to UTF-8.
    section = corvalen::fuzz::as_argument(section);
    key = corvalen::fuzz::as_argument(key);
    const std::string text = corvalen::fuzz::as_argument(value_text);

    const bool refused = operation == Operation::Write && breaks_structure(section, key, text);
    if (refused) {
        FUZZ_CHECK(result == 0 && error == EINVAL);
    }
    if (result == 0) {
        // Besides the structural refusals, only text the file's encoding
        // cannot hold is refused; either way the file is untouched.
        FUZZ_CHECK(error == EINVAL || error == EILSEQ);
        FUZZ_CHECK(refused || error == EILSEQ);
        FUZZ_CHECK(written == bytes);
        return 0;
    }

    // A write that succeeds leaves a file that reads, never one that counts
    // as missing.
    FUZZ_CHECK(corvalen::profile::read_settings_file(scratch.path()).has_value());
    const IniDocument after = IniDocument::parse(written);
    FUZZ_CHECK(after.bytes() == written);
    if (operation == Operation::Write) {
        const auto read = corvalen::fuzz::read_profile(section, key, "<default>", 255);
        FUZZ_CHECK(read.text == corvalen::profile::to_u32(text).substr(0, 254));
    } else if (operation == Operation::RemoveKey) {
        FUZZ_CHECK(!after.find_value(section, key).has_value());
    }

    std::vector<std::string> expected_sections = sections;
    if (operation == Operation::RemoveSection) {
        expected_sections = without(sections, section);
    } else if (operation == Operation::Write && !trimmed(section).empty() &&
               !has_name(sections, section)) {
        expected_sections.push_back(trimmed(section));
    }
    FUZZ_CHECK(after.section_names() == expected_sections);

    const std::vector<SectionView> views_after = view_of(after);
    for (const SectionView& view : view_of(before)) {
        check_section(view, find_view(views_after, view.name), operation, section, key);
    }

    // Doing it again finds nothing left to do.
    FUZZ_CHECK(corvalen::profile::write_private_profile_string(section, key_argument, value,
                                                               scratch.path()) == 1);
    FUZZ_CHECK(scratch.read() == written);
    return 0;
}
