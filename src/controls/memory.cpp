// SPDX-License-Identifier: MIT
#include "memory.hpp"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace corvalen::controls {
namespace {

// The kernel cuts a process's name to 15 characters.
constexpr std::string_view kWebProcessName = "WebKitWebProces";

std::string read_text(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The children of a process, from the list the kernel keeps for each of its
// threads: no walk over every process of the machine.
std::vector<int> children_of(const std::filesystem::path& process) {
    std::vector<int> children;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(process / "task", error)) {
        std::istringstream pids(read_text(task.path() / "children"));
        int child = 0;
        while (pids >> child) {
            children.push_back(child);
        }
    }
    return children;
}

// Private_Clean + Private_Dirty of smaps_rollup, in kB.
std::uint64_t private_kb(const std::filesystem::path& process) {
    std::istringstream lines(read_text(process / "smaps_rollup"));
    std::uint64_t total = 0;
    std::string line;
    while (std::getline(lines, line)) {
        if (line.starts_with("Private_Clean:") || line.starts_with("Private_Dirty:")) {
            const auto digits = line.find_first_of("0123456789");
            std::uint64_t kb = 0;
            if (digits != std::string::npos) {
                std::from_chars(line.data() + digits, line.data() + line.size(), kb);
            }
            total += kb;
        }
    }
    return total;
}

} // namespace

std::optional<std::uint64_t> web_process_memory(const std::filesystem::path& proc, int pid) {
    std::optional<std::uint64_t> total;
    std::vector<int> pending{pid};
    while (!pending.empty()) {
        const auto process = proc / std::to_string(pending.back());
        pending.pop_back();
        for (const int child : children_of(process)) {
            const auto path = proc / std::to_string(child);
            std::string name = read_text(path / "comm");
            if (!name.empty() && name.back() == '\n') {
                name.pop_back();
            }
            // A web process starts none of its own; anything else (the
            // sandbox's bwrap) may stand between the program and one.
            if (name == kWebProcessName) {
                total = total.value_or(0) + private_kb(path);
            } else if (!name.starts_with("WebKit")) {
                pending.push_back(child);
            }
        }
    }
    return total;
}

void MemoryWatch::input(Clock::time_point when) {
    m_last_input = std::max(m_last_input.value_or(when), when);
    m_renewed = false;
    m_waiting_since.reset();
}

bool MemoryWatch::due(Clock::time_point now) const {
    return enabled() && (!m_next_check || now >= *m_next_check);
}

bool MemoryWatch::check(Clock::time_point now, std::optional<std::uint64_t> used_kb) {
    m_next_check = now + kCheckEvery;
    if (m_renewed) {
        m_waiting_since.reset(); // the last replacement was made
    }
    if (used_kb && *used_kb > m_limit_kb) {
        ++m_over;
    } else {
        m_over = 0;
        m_waiting_since.reset();
        // A fresh process that grows again is replaced again; none at all
        // says nothing of that.
        m_renewed = m_renewed && !used_kb;
    }
    if (m_over < 2 || m_renewed || (m_last_input && now - *m_last_input < kQuiet)) {
        return false;
    }
    m_over = 0;
    m_renewed = true;
    return true;
}

void MemoryWatch::postpone(Clock::time_point now) {
    m_over = 1;
    m_renewed = false;
    m_next_check = now + kRetry;
    m_waiting_since = m_waiting_since.value_or(now);
}

bool MemoryWatch::overdue(Clock::time_point now) const {
    return m_waiting_since && now - *m_waiting_since >= kLongestLoad;
}

std::optional<MemoryWatch::Clock::duration> MemoryWatch::next_tick(Clock::time_point now) const {
    if (!enabled()) {
        return std::nullopt;
    }
    return m_next_check ? std::max(Clock::duration::zero(), *m_next_check - now)
                        : Clock::duration::zero();
}

} // namespace corvalen::controls
