// SPDX-License-Identifier: MIT
#include "navigator.hpp"

#include <algorithm>

#include "site_list.hpp"

namespace corvalen::controls {
namespace {

bool is_web_uri(const std::string& uri) {
    return uri.starts_with("http://") || uri.starts_with("https://");
}

// A load, or a reload of a page that is known.
bool names_page(const Navigator::Command& command) {
    return command.kind == Navigator::Command::Kind::Load ||
           (command.kind == Navigator::Command::Kind::Reload && !command.url.empty());
}

} // namespace

Navigator::Steps Navigator::command(Command command, Clock::time_point now, bool responsive) {
    // While the message stands in for a page, refreshing loads the page itself.
    if (command.kind == Command::Kind::Reload && m_retry_due) {
        command = {Command::Kind::Load, m_unreachable_uri};
    }
    // The visitor's command supersedes every retry and restart.
    m_retry_due.reset();
    m_home_due.reset();
    m_repeat_due.reset();
    m_retry.reset();
    m_guard.command(now);
    m_pending = command;
    if (names_page(command)) {
        m_program_uri = command.url;
    }
    return {.end_web_process = !responsive, .run = std::move(command), .probe = false};
}

void Navigator::stop() {
    m_retry_due.reset();
    m_pending.reset();
    m_guard.stopped();
}

void Navigator::committed() {
    m_guard.committed();
}

void Navigator::finished() {
    if (m_loading_message) {
        m_loading_message = false;
    } else if (!m_retry_due) {
        m_retry.reset();
    }
}

bool Navigator::unreachable(const std::string& url, Clock::time_point now) {
    if (!is_web_uri(url)) {
        return false;
    }
    m_unreachable_uri = url;
    m_program_uri = url;
    m_loading_message = true;
    m_retry_due = now + m_retry.next();
    return true;
}

void Navigator::crashed(Clock::time_point now) {
    if (m_home_page.empty()) {
        return;
    }
    m_repeat_due.reset();
    m_home_due = now + m_crashes.on_crash(now);
}

Navigator::Steps Navigator::unresponsive() {
    return m_guard.pending() ? repeat() : Steps{};
}

void Navigator::page_dialog(Clock::time_point now) {
    // A page that keeps opening dialogs while a command waits is busy in a
    // loop the command cannot get through.
    if (m_guard.pending() && !m_home_due && !m_repeat_due) {
        m_repeat_due = now;
    }
}

void Navigator::answered(Clock::time_point now, bool loading) {
    m_guard.answered(now, loading);
}

Navigator::Steps Navigator::tick(Clock::time_point now) {
    const auto due = [now](std::optional<Clock::time_point>& when) {
        const bool is_due = when && *when <= now;
        if (is_due) {
            when.reset();
        }
        return is_due;
    };
    if (due(m_repeat_due)) {
        return m_guard.pending() ? repeat() : Steps{};
    }
    if (due(m_home_due)) {
        return load(m_home_page);
    }
    if (due(m_retry_due)) {
        return load(m_unreachable_uri);
    }
    switch (m_guard.tick(now)) {
    case CommandGuard::Step::None:
        break;
    case CommandGuard::Step::Probe:
        return {.end_web_process = false, .run = std::nullopt, .probe = true};
    case CommandGuard::Step::Restart:
        return repeat();
    }
    return {};
}

std::optional<Navigator::Clock::duration> Navigator::next_tick(Clock::time_point now) const {
    std::optional<Clock::duration> next = m_guard.next_tick(now);
    for (const auto& when : {m_retry_due, m_home_due, m_repeat_due}) {
        if (when) {
            const Clock::duration wait = std::max(Clock::duration::zero(), *when - now);
            next = next ? std::min(*next, wait) : wait;
        }
    }
    return next;
}

void Navigator::clear() {
    Navigator fresh;
    fresh.m_home_page = std::move(m_home_page);
    fresh.m_crashes = std::move(m_crashes);
    *this = std::move(fresh);
}

bool Navigator::requested(const std::string& uri) const {
    return same_address(uri, m_program_uri);
}

Navigator::Steps Navigator::load(const std::string& url) {
    m_program_uri = url;
    return {.end_web_process = false, .run = Command{Command::Kind::Load, url}, .probe = false};
}

Navigator::Steps Navigator::repeat() {
    if (!m_pending) {
        return {};
    }
    if (names_page(*m_pending)) {
        m_program_uri = m_pending->url;
    }
    return {.end_web_process = true, .run = m_pending, .probe = false};
}

} // namespace corvalen::controls
