// SPDX-License-Identifier: MIT
#include "browser_policy.hpp"

#include <algorithm>
#include <cctype>
#include <string>

namespace corvalen::controls {
namespace {

constexpr std::chrono::seconds kFirstRetry{5};
constexpr std::chrono::seconds kLongestRetry{60};

// Schemes compare case-insensitively; `scheme` is in lower case, with its ":".
bool has_scheme(std::string_view uri, std::string_view scheme) {
    return uri.size() >= scheme.size() &&
           std::equal(scheme.begin(), scheme.end(), uri.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

bool is_file_uri(std::string_view uri) {
    return has_scheme(uri, "file:");
}

} // namespace

std::chrono::seconds RetryBackoff::next() {
    std::chrono::seconds delay = kFirstRetry;
    for (int i = 0; i < m_failures && delay < kLongestRetry; ++i) {
        delay *= 2;
    }
    ++m_failures;
    return std::min(delay, kLongestRetry);
}

std::chrono::milliseconds CrashRecovery::on_crash(std::chrono::steady_clock::time_point now) {
    while (!m_recent.empty() && now - m_recent.front() > kWindow) {
        m_recent.pop_front();
    }
    m_recent.push_back(now);
    return static_cast<int>(m_recent.size()) <= kQuickRestarts
               ? kQuickRestart
               : std::chrono::duration_cast<std::chrono::milliseconds>(kSlowRestart);
}

void CommandGuard::command(Clock::time_point now) {
    m_pending = true;
    m_stopped = false;
    m_probing = false;
    m_contested = false;
    m_due = now + kPatience;
}

void CommandGuard::committed() {
    m_pending = false;
    m_probing = false;
}

void CommandGuard::stopped() {
    m_pending = false;
    m_stopped = true;
    m_probing = false;
}

void CommandGuard::answered(Clock::time_point now, bool loading) {
    if (!m_probing) {
        return;
    }
    m_probing = false;
    m_pending = loading;
    m_due = now + kPatience;
}

CommandGuard::Step CommandGuard::tick(Clock::time_point now) {
    if (!m_pending || now < m_due) {
        return Step::None;
    }
    if (!m_probing && !m_contested) {
        m_probing = true;
        m_due = now + kProbeWait;
        return Step::Probe;
    }
    m_probing = false;
    m_contested = false;
    m_due = now + kPatience;
    return Step::Restart;
}

std::optional<CommandGuard::Clock::duration> CommandGuard::next_tick(Clock::time_point now) const {
    if (!m_pending) {
        return std::nullopt;
    }
    return std::max(Clock::duration::zero(), m_due - now);
}

bool CommandGuard::allows(bool ours, bool gesture) {
    if (m_pending) {
        m_contested = m_contested || !ours;
        return ours;
    }
    if (gesture) {
        m_stopped = false;
    }
    return !m_stopped || ours || gesture;
}

bool allows_navigation(std::string_view from, std::string_view to, bool requested_by_program) {
    return requested_by_program || !is_file_uri(to) || is_file_uri(from);
}

bool allows_new_window(std::string_view from, std::string_view to) {
    return has_scheme(to, "http:") || has_scheme(to, "https:") ||
           (is_file_uri(to) && is_file_uri(from));
}

} // namespace corvalen::controls
