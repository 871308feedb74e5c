// SPDX-License-Identifier: MIT
#pragma once

// The profile-string calls: read and write one entry of an INI file, or list
// and remove keys and sections, in one call each. The file format is described
// in ini_document.hpp; file safety in file_access.hpp.
//
// Arguments are UTF-8 text. std::nullopt is an absent argument and selects the
// list and delete forms; an empty text is an ordinary argument. Each argument
// ends at its first NUL, as a C string would. A relative path is taken from the
// current directory. Sizes and counts are in characters (code points).

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace corvalen::profile {

using OptionalText = std::optional<std::string>;

// Reads into buffer (its size is the buffer size) and returns the number of
// characters placed, not counting the terminating NUL:
// - section and key given: the key's value, or the default when the key, its
//   section or the file is missing, cut to buffer size - 1 and NUL-terminated.
// - key absent: the names of the keys of the first section of that name, or
//   the default (as a value) when the section is missing or has no keys.
// - section absent: the names of all sections (headers) of the file; an empty
//   list when it has none.
// A list holds each name followed by a NUL, and a second NUL after the last;
// the count runs up to and including the last name's NUL. When the list does
// not fit, the last name is cut and followed by two NULs, and the count is
// buffer size - 2.
// The default loses its trailing spaces, then one pair of matching outer
// quotes; absent, it counts as empty. A missing file, or a path that is not a
// regular file or is over 16 MiB, yields the default in every form and is not
// created.
std::int32_t get_private_profile_string(const OptionalText& section, const OptionalText& key,
                                        const OptionalText& default_text,
                                        std::span<char32_t> buffer, const OptionalText& path);

// Writes and returns nonzero on success, 0 on failure:
// - all given: sets the key's value; a missing key, section or file is
//   created (the directory must exist). A value that would read back
//   differently bare (outer blanks or quotes) is written in double quotes.
// - value absent: removes the key from the first section of that name.
// - key absent: removes every section of that name with all its lines.
// Removing what does not exist succeeds. An absent section or path fails.
// Text that would break the file's structure (a CR or LF anywhere; a key with
// '=' or starting with '[' or ';') and text that the file's encoding cannot
// hold are refused without touching the file; so is an edit after which the
// file would be read in another encoding (its encoding is detected from its
// bytes). A write that changes nothing leaves the file untouched.
std::int32_t write_private_profile_string(const OptionalText& section, const OptionalText& key,
                                          const OptionalText& value, const OptionalText& path);

// The reason for the last failed write on this thread, as an errno value:
// EINVAL for refused text or an absent section, EILSEQ for text the file's
// encoding cannot hold or an edit that would change the encoding, else the system's error. 0 after
// a successful write.
int last_write_error();

} // namespace corvalen::profile
