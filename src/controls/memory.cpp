// SPDX-License-Identifier: MIT
#include "memory.hpp"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
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

// The parent's pid from /proc/<pid>/stat, whose second field (the name, in
// parentheses) may itself hold spaces and parentheses.
std::optional<int> parent_of(const std::filesystem::path& process) {
    const std::string stat = read_text(process / "stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos || close + 4 >= stat.size()) {
        return std::nullopt;
    }
    const char* first = stat.data() + close + 4; // past ") S "
    int parent = 0;
    const auto [end, error] = std::from_chars(first, stat.data() + stat.size(), parent);
    return error == std::errc{} ? std::optional(parent) : std::nullopt;
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
    struct Process {
        int pid;
        std::filesystem::path path;
    };
    std::multimap<int, Process> children; // by parent
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(proc, error)) {
        const std::string name = entry.path().filename().string();
        int child = 0;
        const auto [end, bad] = std::from_chars(name.data(), name.data() + name.size(), child);
        if (bad != std::errc{} || end != name.data() + name.size()) {
            continue; // not a process: self, sys, ...
        }
        if (const auto parent = parent_of(entry.path())) {
            children.emplace(*parent, Process{child, entry.path()});
        }
    }
    std::optional<std::uint64_t> total;
    std::vector<int> pending{pid};
    while (!pending.empty()) {
        const int parent = pending.back();
        pending.pop_back();
        const auto [first, last] = children.equal_range(parent);
        for (auto child = first; child != last; ++child) {
            const Process& process = child->second;
            std::string name = read_text(process.path / "comm");
            if (!name.empty() && name.back() == '\n') {
                name.pop_back();
            }
            if (name == kWebProcessName) {
                total = total.value_or(0) + private_kb(process.path);
            }
            pending.push_back(process.pid);
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
