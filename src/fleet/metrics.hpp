// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <sigc++/connection.h>
#include <string>

#include "controls/figures.hpp"

namespace corvalen::fleet {

// The terminal's figures at one moment.
struct Reading {
    controls::BrowserFigures browser;
    std::uint64_t sessions_ended = 0;
    bool in_use = false; // input within the last minute
    std::uint64_t idle_seconds = 0;
    std::optional<std::uint64_t> web_process_memory; // bytes, when it could be read
    std::int64_t start_time = 0;                     // seconds since 1970
};

// The program's version.
[[nodiscard]] const char* version();

// `reading` in the text format that Prometheus reads (and node_exporter's
// textfile collector): counters end in _total, each with its help and type.
[[nodiscard]] std::string metrics_text(const Reading& reading);

// Writes the metrics to `path` now and every `interval` seconds, each time
// as a new file renamed onto the name: a reader never sees one half written.
// The web processes' memory, which takes a walk through /proc and changes
// slowly, is read once a minute at most. A write that fails is reported
// once, until one succeeds again.
class MetricsFile {
public:
    MetricsFile(std::string path, unsigned interval, std::function<Reading(bool memory)> read,
                std::ostream& log);
    ~MetricsFile();
    MetricsFile(const MetricsFile&) = delete;
    MetricsFile& operator=(const MetricsFile&) = delete;

private:
    void write();

    std::string m_path;
    std::function<Reading(bool memory)> m_read;
    std::ostream& m_log;
    bool m_failing = false;
    std::optional<std::uint64_t> m_memory;
    std::int64_t m_memory_read = 0; // when, in seconds of g_get_monotonic_time()
    sigc::connection m_timer;
};

} // namespace corvalen::fleet
