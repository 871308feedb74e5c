// SPDX-License-Identifier: MIT
#pragma once

// The browser control's kiosk policies, kept apart from WebKit so that they
// can be tested on their own.

#include <chrono>
#include <deque>
#include <string_view>

namespace corvalen::platform {

// When to try again a page that could not be reached: after 5 s, then twice
// as long each time, at most 60 s, until a page loads.
class RetryBackoff {
public:
    std::chrono::seconds next();
    void reset() { m_failures = 0; }

private:
    int m_failures = 0;
};

// When to load the home page again after the web process ended unexpectedly:
// at once, unless it keeps ending, which would make the terminal spin.
class CrashRecovery {
public:
    static constexpr std::chrono::milliseconds kQuickRestart{500};
    static constexpr std::chrono::seconds kSlowRestart{30};
    static constexpr int kQuickRestarts = 3;
    static constexpr std::chrono::seconds kWindow{60};

    std::chrono::milliseconds on_crash(std::chrono::steady_clock::time_point now);

private:
    std::deque<std::chrono::steady_clock::time_point> m_recent;
};

// Whether a navigation from the page at `from` to `to` may go ahead. Pages
// from the network may not open local files; the program itself may (a
// file: home page), and so may local pages.
bool allows_navigation(std::string_view from, std::string_view to, bool requested_by_program);

// Whether a page at `from` may have `to` opened in place of a new window:
// http and https, and file: from a file: page. Never the engine's own pages,
// data:, view-source: or anything else a plain link could not open.
bool allows_new_window(std::string_view from, std::string_view to);

} // namespace corvalen::platform
