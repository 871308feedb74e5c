// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "browser_policy.hpp"

namespace corvalen::controls {

// What the browser loads, and when, besides what pages do by themselves: the
// visitor's commands; a page that cannot be reached, shown as a message and
// tried again with growing pauses; a web process that ended unexpectedly, after
// which the home page comes back; a page that keeps a command from getting
// through, whose web process is ended and the command given again.
//
// Events come in with the time they happened; what the view must do comes
// out as Steps, and next_tick() says when tick() has something to do. Nothing
// here waits or touches a view.
class Navigator {
public:
    using Clock = std::chrono::steady_clock;

    struct Command {
        enum class Kind { Load, Back, Forward, Reload };
        Kind kind = Kind::Load;
        // For Load; for Reload, the page reloaded: a reload in a fresh web
        // process reaches the policy as a navigation of no particular kind.
        std::string url;
        bool operator==(const Command&) const = default;
    };

    // What the view must do, in this order.
    struct Steps {
        bool end_web_process = false;
        std::optional<Command> run;
        bool probe = false; // ask the page for a sign of life; the answer goes to answered()
        bool operator==(const Steps&) const = default;
    };

    // The page a web process that ended unexpectedly comes back to; none
    // when empty.
    void home_page(std::string url) { m_home_page = std::move(url); }

    // A command of the visitor. `responsive` tells whether the page answers
    // the engine; one that does not cannot be left without ending it.
    Steps command(Command command, Clock::time_point now, bool responsive);
    void stop();
    void committed();
    void finished();
    // A load of `url` failed. True when the program's message is to stand in
    // for it, and the address be tried again later: web addresses only.
    bool unreachable(const std::string& url, Clock::time_point now);
    void crashed(Clock::time_point now);
    Steps unresponsive();
    // The page opened a dialog of its own.
    void page_dialog(Clock::time_point now);
    // The page answered the probe; `loading` tells whether a load is under way.
    void answered(Clock::time_point now, bool loading);
    // What is due at `now`.
    Steps tick(Clock::time_point now);
    [[nodiscard]] std::optional<Clock::duration> next_tick(Clock::time_point now) const;
    // A new visitor session: nothing pending, nothing to retry. The home page
    // and the record of recent crashes stay.
    void clear();

    // Whether the program itself asked for `uri` last.
    [[nodiscard]] bool requested(const std::string& uri) const;
    // Whether a navigation may go ahead now (see CommandGuard::allows).
    [[nodiscard]] bool allows(bool ours, bool gesture) { return m_guard.allows(ours, gesture); }

private:
    Steps load(const std::string& url);
    // Ends the web process and gives the pending command again.
    Steps repeat();

    std::string m_home_page;
    std::string m_program_uri; // the last address the program itself loaded
    std::string m_unreachable_uri;
    bool m_loading_message = false;
    std::optional<Command> m_pending;
    CommandGuard m_guard;
    RetryBackoff m_retry;
    CrashRecovery m_crashes;
    std::optional<Clock::time_point> m_retry_due;
    std::optional<Clock::time_point> m_home_due;
    std::optional<Clock::time_point> m_repeat_due;
};

} // namespace corvalen::controls
