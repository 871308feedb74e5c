// SPDX-License-Identifier: MIT
#pragma once

// The browser control's kiosk policies, kept apart from WebKit so that they
// can be tested on their own.

#include <chrono>
#include <deque>
#include <optional>
#include <string_view>

namespace corvalen::controls {

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

// Sees a visitor's command (back, forward, refresh, home) through whatever
// the page does while being left: a hang in an unload-time handler, a storm
// of navigations of its own.
//
// A command is pending until a load commits. Meanwhile only the command's own
// navigations go ahead. If none has committed after kPatience, the page is
// probed; a page that does not answer within kProbeWait is hung, and its web
// process is ended and the command given again. So is, without a probe, a
// page that tried navigations of its own meanwhile: each of them can cancel
// the command's load in its web process, whether or not it is refused. A page that answers while
// nothing loads has let the command go (refused, say): nothing is pending
// then. After Stop the page's own navigations that no visitor asked for are
// refused, until the next command or the visitor's next click on the page,
// which ends a navigation loop.
class CommandGuard {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kPatience{700};
    static constexpr std::chrono::milliseconds kProbeWait{300};

    enum class Step {
        None,
        Probe,   // ask the page for a sign of life, then call answered()
        Restart, // end the web process and give the command again
    };

    void command(Clock::time_point now);
    void committed();
    void stopped();
    // The page answered the probe; `loading` tells whether a load is under way.
    void answered(Clock::time_point now, bool loading);
    // What is due at `now`.
    Step tick(Clock::time_point now);
    // How long until tick() has something to do; none while nothing is pending.
    [[nodiscard]] std::optional<Clock::duration> next_tick(Clock::time_point now) const;

    [[nodiscard]] bool pending() const { return m_pending; }
    // Whether a navigation may go ahead now: `ours` when the program asked
    // for it (or it continues one that did), `gesture` when the visitor's
    // click or key started it.
    [[nodiscard]] bool allows(bool ours, bool gesture);

private:
    bool m_pending = false;
    bool m_stopped = false;
    bool m_probing = false;
    bool m_contested = false; // the page navigated by itself while a command waited
    Clock::time_point m_due;
};

// Whether a navigation from the page at `from` to `to` may go ahead. Pages
// from the network may not open local files; the program itself may (a
// file: home page), and so may local pages.
bool allows_navigation(std::string_view from, std::string_view to, bool requested_by_program);

// Whether a page at `from` may have `to` opened in place of a new window:
// http and https, and file: from a file: page. Never the engine's own pages,
// data:, view-source: or anything else a plain link could not open.
bool allows_new_window(std::string_view from, std::string_view to);

} // namespace corvalen::controls
