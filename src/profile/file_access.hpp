// SPDX-License-Identifier: MIT
#pragma once

// Reading and safely rewriting settings files.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace corvalen::profile {

// Larger files are treated as missing: a settings file is a few lines, and a
// huge one is a mistake or an attack that must not stall the program.
inline constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;
// A write reads files up to this size, so that deleting keys or sections can
// bring a file that is over kMaxFileSize back under it; a larger one is not
// touched.
inline constexpr std::size_t kMaxRepairedFileSize = 4 * kMaxFileSize;

// The file's bytes; nullopt when it is missing, not a regular file (a
// directory, device or FIFO is never opened for reading), over kMaxFileSize,
// or unreadable.
std::optional<std::string> read_settings_file(const std::string& path);

// What an edit wants done with a file.
struct EditResult {
    enum class Action { Keep, Replace, Refuse };
    Action action = Action::Keep;
    std::string bytes; // the new contents, for Replace
    int error = 0;     // errno-style reason, for Refuse
    // One blank character in the file's encoding, for Replace: a rewrite in
    // place that shrinks the file covers the old tail with blanks before
    // cutting it off, so a writer killed in between leaves nothing that reads.
    std::string blank;
};

// Read-modify-write under an exclusive advisory lock (flock) on the file, so
// that concurrent writers lose no change. edit receives the current bytes
// (nullopt when the file is missing). A replacement is written to a temporary
// file in the same directory, flushed and renamed over the file (through a
// symbolic link, over its target), keeping the permission bits; where the
// directory cannot take the temporary file, the file is rewritten in place,
// after claiming the room it needs. A replacement first removes the temporary
// files that writers killed mid-write left beside the file; a live writer's is
// never touched, since it keeps its temporary file locked.
// Keep leaves the file untouched, not even its modification time, and does
// not create a missing file. A replacement over kMaxFileSize is refused with
// EFBIG, leaving the file as it was, unless it shrinks a file that is already
// over (a repair). Returns 0 on success, else an errno value.
int update_settings_file(
    const std::string& path,
    const std::function<EditResult(const std::optional<std::string>& current)>& edit);

} // namespace corvalen::profile
