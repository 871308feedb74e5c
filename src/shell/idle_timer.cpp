// SPDX-License-Identifier: MIT
#include "idle_timer.hpp"

#include <algorithm>
#include <charconv>
#include <utility>

namespace corvalen::shell {

IdleTimer::IdleTimer(std::chrono::seconds reset, std::chrono::seconds warning)
    : m_reset(reset), m_warning(warning >= reset ? reset / 2 : warning) {}

bool IdleTimer::input(Clock::time_point when) {
    if (when < m_started) {
        return false;
    }
    m_last_input = when;
    m_touched = true;
    return std::exchange(m_notice, false);
}

IdleTimer::Step IdleTimer::tick(Clock::time_point now) {
    if (!enabled() || !m_touched) {
        return {};
    }
    const Clock::duration left = m_last_input + m_reset - now;
    if (left <= Clock::duration::zero()) {
        return {Action::End, 0};
    }
    if (left > m_warning) {
        return {};
    }
    m_notice = true;
    // Counted down in whole seconds, rounded up: the notice shows the full
    // warning when it appears and 1 during the last second.
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(left);
    return {Action::Notice, static_cast<int>(seconds.count())};
}

void IdleTimer::restart(Clock::time_point now) {
    m_started = now;
    m_touched = false;
    m_notice = false;
}

std::optional<IdleTimer::Clock::duration> IdleTimer::next_tick(Clock::time_point now) const {
    if (!enabled() || !m_touched) {
        return std::nullopt;
    }
    const Clock::duration left = m_last_input + m_reset - now;
    if (left <= Clock::duration::zero()) {
        return Clock::duration::zero();
    }
    if (left > m_warning) {
        return left - m_warning;
    }
    // The next change of the countdown.
    const Clock::duration step = left % std::chrono::seconds(1);
    return step == Clock::duration::zero() ? std::chrono::seconds(1) : step;
}

std::optional<int> whole_number(std::string_view text, int low, int high) {
    int value = 0;
    const bool negative = low < 0 && text.starts_with('-');
    if (negative) {
        text.remove_prefix(1);
    }
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (negative) {
        value = -value;
    }
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

} // namespace corvalen::shell
