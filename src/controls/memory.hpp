// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace corvalen::controls {

// The private memory in kB (what ending them would give back) of the web
// processes that run below process `pid`, sandboxed or not, read from `proc`
// ("/proc" but in tests). None when there is no web process.
std::optional<std::uint64_t> web_process_memory(const std::filesystem::path& proc, int pid);

// When a web process that has grown too large is replaced: only when it
// stays above the limit at two checks in a row and the visitor has left the
// terminal alone for a while, so that nobody sees the page load again; and
// not again until the next input or until a check finds it below the limit,
// so that a page too large for the limit is not loaded again and again.
// A replacement waits for a load to end, but not for one that goes on for
// kLongestLoad: a page that never finishes loading must not keep the limit off.
// Plain logic on times given by the caller; the first check is due at once.
class MemoryWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kCheckEvery{30};
    static constexpr std::chrono::seconds kQuiet{60};
    static constexpr std::chrono::seconds kRetry{1};
    static constexpr std::chrono::seconds kLongestLoad{30};

    // Off: nothing is ever replaced.
    MemoryWatch() = default;
    explicit MemoryWatch(std::uint64_t limit_kb) : m_limit_kb(limit_kb) {}

    [[nodiscard]] bool enabled() const { return m_limit_kb > 0; }
    // Input from the visitor at `when`.
    void input(Clock::time_point when);
    // Whether a check is due at `now`.
    [[nodiscard]] bool due(Clock::time_point now) const;
    // The web processes hold `used_kb` at `now` (none: no web process). True
    // when the web process is to be replaced now.
    bool check(Clock::time_point now, std::optional<std::uint64_t> used_kb);
    // The replacement check() asked for could not be made at `now` (a page
    // was loading): the next check comes within a second, and asks again if
    // the process is still above the limit.
    void postpone(Clock::time_point now);
    // Whether the replacement check() asked for has waited kLongestLoad for
    // a load to end: the load is then to be stopped, and the page it would
    // bring back given up.
    [[nodiscard]] bool overdue(Clock::time_point now) const;
    // How long until the next check; none when off.
    [[nodiscard]] std::optional<Clock::duration> next_tick(Clock::time_point now) const;

private:
    std::uint64_t m_limit_kb = 0;
    std::optional<Clock::time_point> m_next_check; // none: at once
    std::optional<Clock::time_point> m_last_input;
    int m_over = 0;         // checks in a row that found it above the limit
    bool m_renewed = false; // replaced, and neither touched nor below the limit since
    std::optional<Clock::time_point> m_waiting_since; // the replacement waits for a load
};

} // namespace corvalen::controls
