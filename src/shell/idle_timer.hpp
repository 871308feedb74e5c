// SPDX-License-Identifier: MIT
#pragma once

// When a visitor's session ends for lack of input, and when the notice before
// that end stands. Plain logic on times given by the caller.

#include <chrono>
#include <optional>
#include <string_view>

namespace corvalen::shell {

class IdleTimer {
public:
    using Clock = std::chrono::steady_clock;

    enum class Action {
        None,
        Notice, // show or update the notice with seconds_left
        End,    // end the visitor's session now, and restart()
    };
    struct Step {
        Action action = Action::None;
        int seconds_left = 0;
    };

    // Off: nothing ever ends.
    IdleTimer() = default;
    // The session ends after `reset` without input, with a notice during the
    // last `warning` (none for zero). A warning not shorter than the period is
    // cut to half of it.
    IdleTimer(std::chrono::seconds reset, std::chrono::seconds warning);

    [[nodiscard]] bool enabled() const { return m_reset.count() > 0; }

    // Input from the visitor at `when`: the period starts again. True when
    // it dismisses the notice. Input from before the session began counts
    // for nothing.
    bool input(Clock::time_point when);
    // What is due at `now`.
    Step tick(Clock::time_point now);
    // A new session began at `now`: nothing ends it before the next input.
    void restart(Clock::time_point now);
    // How long until tick() has something new to do; none until the next
    // input.
    [[nodiscard]] std::optional<Clock::duration> next_tick(Clock::time_point now) const;

private:
    std::chrono::seconds m_reset{0};
    std::chrono::seconds m_warning{0};
    Clock::time_point m_last_input;
    Clock::time_point m_started = Clock::time_point::min();
    bool m_touched = false; // input since the session began
    bool m_notice = false;
};

// A whole number from `low` to `high` (seconds, megabytes), written as
// decimal digits alone; none for anything else.
std::optional<int> whole_number(std::string_view text, int low, int high);

} // namespace corvalen::shell
