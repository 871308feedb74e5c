// SPDX-License-Identifier: MIT
// The web processes' memory, read from fake /proc trees, and when a web
// process that stays too large is replaced.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "controls/memory.hpp"
#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

using controls::MemoryWatch;

struct Process {
    int pid;
    int parent;
    const char* name;
    int private_kb; // split over Private_Clean and Private_Dirty
};

void add_process(const std::filesystem::path& proc, const Process& p) {
    const auto dir = proc / std::to_string(p.pid);
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "comm") << p.name << '\n';
    // The kernel lists a process's children by the thread that started them.
    const auto task = proc / std::to_string(p.parent) / "task" / std::to_string(p.parent + 1);
    std::filesystem::create_directories(task);
    std::ofstream(task / "children", std::ios::app) << p.pid << ' ';
    std::ofstream(dir / "smaps_rollup")
        << "00400000-7ffc0000 ---p 00000000 00:00 0 [rollup]\nRss: 999999 kB\nPss: 99999 kB\n"
        << "Private_Clean: " << p.private_kb / 4 << " kB\n"
        << "Private_Dirty: " << p.private_kb - p.private_kb / 4 << " kB\n";
}

TEST(WebProcessMemory, SumsTheWebProcessesBelowTheProgram) {
    const struct {
        const char* name;
        std::vector<Process> tree; // the program is pid 100
        std::optional<std::uint64_t> expected;
    } cases[] = {
        {"sandboxed, beside the network process and the proxy",
         {{100, 1, "corvalen", 50000},
          {101, 100, "WebKitNetworkPr", 20000},
          {102, 100, "bwrap", 100},
          {103, 102, "xdg-dbus-proxy", 100},
          {104, 100, "bwrap", 100},
          {105, 104, "bwrap", 100},
          {106, 105, "WebKitWebProces", 81000}},
         81000},
        {"two web processes, unsandboxed",
         {{100, 1, "corvalen", 50000},
          {110, 100, "WebKitWebProces", 60000},
          {111, 100, "WebKitWebProces", 40001}},
         100001},
        {"another program's web process is not ours",
         {{100, 1, "corvalen", 50000},
          {200, 1, "epiphany (x)", 50000},
          {201, 200, "WebKitWebProces", 90000}},
         std::nullopt},
        {"no web process yet", {{100, 1, "corvalen", 50000}}, std::nullopt},
    };
    for (const auto& c : cases) {
        TempDir proc;
        for (const Process& p : c.tree) {
            add_process(proc.path(), p);
        }
        std::filesystem::create_directories(proc.path() + "/self"); // not a process
        EXPECT_EQ(controls::web_process_memory(proc.path(), 100), c.expected) << c.name;
    }
    EXPECT_EQ(controls::web_process_memory("/nonexistent", 100), std::nullopt);
}

MemoryWatch::Clock::time_point at(int seconds) {
    return MemoryWatch::Clock::time_point(std::chrono::seconds(seconds));
}

TEST(MemoryWatch, ReplacesWhenItStaysAboveTheLimitWhileNobodyIsThere) {
    constexpr std::uint64_t kOver = 300'001;
    constexpr std::uint64_t kUnder = 200'000;
    const struct {
        int seconds; // -1: visitor input at `input`
        int input;
        std::optional<std::uint64_t> used;
        bool renewed;
    } timeline[] = {
        {0, 0, kOver, false},          // first check, at once: one check is not staying above
        {30, 0, kOver, true},          // twice in a row, nobody there
        {60, 0, kOver, false},         // still above: not again until input
        {-1, 70, {}, false},           // a visitor
        {90, 0, kOver, false},         //
        {120, 0, kOver, false},        // above twice, but the visitor was here 50 s ago
        {150, 0, kOver, true},         // quiet for 80 s
        {-1, 160, {}, false},          //
        {240, 0, kOver, false},        //
        {270, 0, kUnder, false},       // came down by itself
        {300, 0, kOver, false},        // the count starts again
        {330, 0, std::nullopt, false}, // no web process
        {360, 0, kOver, false},        //
        {390, 0, kOver, true},         //
        {420, 0, kUnder, false},       // the fresh process is below the limit,
        {450, 0, kOver, false},        // grows again,
        {480, 0, kOver, true},         // and is replaced again without input
        {510, 0, kOver, false},        // a fresh process above at once is left
        {540, 0, kOver, false},        //
    };
    MemoryWatch watch(300'000);
    EXPECT_EQ(watch.next_tick(at(0)), std::chrono::seconds(0));
    for (const auto& step : timeline) {
        if (step.seconds < 0) {
            watch.input(at(step.input));
            continue;
        }
        SCOPED_TRACE(step.seconds);
        EXPECT_TRUE(watch.due(at(step.seconds)));
        EXPECT_EQ(watch.check(at(step.seconds), step.used), step.renewed);
        EXPECT_FALSE(watch.due(at(step.seconds + 29)));
        EXPECT_EQ(watch.next_tick(at(step.seconds + 10)), std::chrono::seconds(20));
    }
    // A replacement that waits for a load: each second, for half a minute,
    // then it may stop the load; a replacement made, or input, starts afresh.
    MemoryWatch waiting(300'000);
    waiting.check(at(0), kOver);
    ASSERT_TRUE(waiting.check(at(30), kOver));
    for (int second = 30; second < 60; ++second) {
        EXPECT_FALSE(waiting.overdue(at(second))) << second;
        waiting.postpone(at(second));
        EXPECT_TRUE(waiting.check(at(second + 1), kOver)) << second;
    }
    EXPECT_TRUE(waiting.overdue(at(60)));
    waiting.check(at(90), kOver);
    EXPECT_FALSE(waiting.overdue(at(90))) << "the replacement was made";
    waiting.postpone(at(91));
    waiting.input(at(92));
    EXPECT_FALSE(waiting.overdue(at(200))) << "the visitor came back";
    EXPECT_FALSE(MemoryWatch().enabled());
    EXPECT_FALSE(MemoryWatch().due(at(0)));
    EXPECT_EQ(MemoryWatch().next_tick(at(0)), std::nullopt);
}

} // namespace
} // namespace corvalen::test
