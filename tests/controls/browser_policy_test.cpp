// SPDX-License-Identifier: MIT
// The browser control's retry, restart and navigation policies.

#include <gtest/gtest.h>

#include "controls/browser_policy.hpp"
#include "controls/site_list.hpp"

namespace corvalen::test {
namespace {

using namespace std::chrono_literals;

TEST(RetryBackoff, DoublesFromFiveSecondsUpToAMinute) {
    controls::RetryBackoff backoff;
    for (const auto expected : {5s, 10s, 20s, 40s, 60s, 60s, 60s}) {
        EXPECT_EQ(backoff.next(), expected);
    }
    backoff.reset();
    EXPECT_EQ(backoff.next(), 5s) << "a page that loaded starts the pauses again";
}

TEST(CrashRecovery, QuickUnlessItKeepsCrashing) {
    controls::CrashRecovery recovery;
    const auto start = std::chrono::steady_clock::time_point{} + 1h;
    EXPECT_EQ(recovery.on_crash(start), controls::CrashRecovery::kQuickRestart);
    EXPECT_EQ(recovery.on_crash(start + 1s), controls::CrashRecovery::kQuickRestart);
    EXPECT_EQ(recovery.on_crash(start + 2s), controls::CrashRecovery::kQuickRestart);
    EXPECT_EQ(recovery.on_crash(start + 3s), controls::CrashRecovery::kSlowRestart);
    EXPECT_EQ(recovery.on_crash(start + 4s), controls::CrashRecovery::kSlowRestart);
    // Once the earlier crashes are more than a minute old, quick again.
    EXPECT_EQ(recovery.on_crash(start + 3s + 2min), controls::CrashRecovery::kQuickRestart);
}

TEST(CommandGuard, AHungPageIsProbedThenRestartedAndAStormWaits) {
    using controls::CommandGuard;
    using Step = CommandGuard::Step;
    using std::chrono::milliseconds;
    const auto t0 = CommandGuard::Clock::time_point{};
    const auto at = [t0](long ms) { return t0 + milliseconds(ms); };
    const long p = CommandGuard::kPatience.count();
    const long w = CommandGuard::kProbeWait.count();
    // Events at times in ms (c: a command, k: a load commits, n: the page
    // navigates by itself), then ticks with the step each must yield.
    const struct {
        const char* name;
        std::vector<std::pair<long, char>> events;
        std::vector<std::pair<long, Step>> ticks; // after all events
        bool pending;
    } cases[] = {
        {"committed in time", {{0, 'c'}, {p - 1, 'k'}}, {{p, Step::None}}, false},
        {"a hung page",
         {{0, 'c'}},
         {{p - 1, Step::None}, {p, Step::Probe}, {p + w - 1, Step::None}, {p + w, Step::Restart}},
         true},
        {"a page that navigates while the command waits is not probed",
         {{0, 'c'}, {10, 'n'}},
         {{p - 1, Step::None}, {p, Step::Restart}, {2 * p, Step::Probe}},
         true},
        {"nor is one that navigated before the command",
         {{0, 'n'}, {5, 'c'}},
         {{p + 5, Step::Probe}},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CommandGuard guard;
        for (const auto& [time, event] : c.events) {
            if (event == 'c') {
                guard.command(at(time));
            } else if (event == 'k') {
                guard.committed();
            } else if (event == 'n') {
                static_cast<void>(guard.allows(false, false));
            }
        }
        for (const auto& [time, step] : c.ticks) {
            EXPECT_EQ(guard.tick(at(time)), step) << time;
        }
        EXPECT_EQ(guard.pending(), c.pending);
    }

    CommandGuard guard;
    EXPECT_TRUE(guard.allows(false, false)) << "nothing pending: the page navigates";
    guard.command(at(0));
    EXPECT_EQ(guard.next_tick(at(100)), milliseconds(p - 100));
    EXPECT_TRUE(guard.allows(true, false));
    ASSERT_EQ(guard.tick(at(p)), Step::Probe);
    guard.answered(at(p + 1), true);
    EXPECT_EQ(guard.tick(at(p + w)), Step::None) << "a page that answers is not hung";
    EXPECT_EQ(guard.tick(at(2 * p + 1)), Step::Probe);
    EXPECT_FALSE(guard.allows(false, true)) << "pending: only the command's own";
    guard.answered(at(2 * p + 2), false);
    EXPECT_FALSE(guard.pending()) << "nothing loads: the command has gone";
    EXPECT_EQ(guard.next_tick(at(2 * p + 2)), std::nullopt);
    guard.stopped();
    EXPECT_FALSE(guard.allows(false, false)) << "after Stop a loop of its own ends";
    guard.committed();
    EXPECT_FALSE(guard.allows(false, false)) << "not even after a load of its own";
    EXPECT_TRUE(guard.allows(false, true)) << "but the visitor's click goes";
    EXPECT_TRUE(guard.allows(false, false)) << "and lets the page go on";
}

TEST(SameAddress, AsAnEngineWritesIt) {
    EXPECT_TRUE(controls::same_address("http://127.0.0.1:8000", "http://127.0.0.1:8000/"));
    EXPECT_TRUE(controls::same_address("HTTP://Example.org:80/a b", "http://example.org/a%20b"));
    EXPECT_TRUE(controls::same_address("about:blank", "about:blank"));
    EXPECT_FALSE(controls::same_address("http://example.org/a", "http://example.org/a?b"));
    EXPECT_FALSE(controls::same_address("http://example.org/", "https://example.org/"));
    EXPECT_FALSE(controls::same_address("http://example.org:8080/", "http://example.org/"));
}

TEST(AllowsNavigation, NetworkPagesCannotOpenLocalFiles) {
    const struct {
        const char* from;
        const char* to;
        bool by_program;
        bool allowed;
    } cases[] = {
        {"http://127.0.0.1/a", "file:///etc/passwd", false, false},
        {"https://example.org/", "FILE:///etc/passwd", false, false},
        {"", "file:///home/kiosk/start.html", false, false},
        {"http://127.0.0.1/a", "file:///srv/kiosk/home.html", true, true},
        {"file:///srv/kiosk/home.html", "file:///srv/kiosk/other.html", false, true},
        {"http://127.0.0.1/a", "http://127.0.0.1/b", false, true},
        {"file:///srv/kiosk/home.html", "https://example.org/", false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(controls::allows_navigation(c.from, c.to, c.by_program), c.allowed)
            << c.from << " -> " << c.to;
    }
}

TEST(AllowsNewWindow, OnlyWhatAPlainLinkCouldOpen) {
    const struct {
        const char* from;
        const char* to;
        bool allowed;
    } cases[] = {
        {"http://127.0.0.1/a", "http://127.0.0.1/b", true},
        {"http://127.0.0.1/a", "HTTPS://example.org/", true},
        {"file:///srv/kiosk/home.html", "file:///srv/kiosk/b.html", true},
        {"http://127.0.0.1/a", "file:///etc/passwd", false},
        {"http://127.0.0.1/a", "webkit://gpu", false},
        {"http://127.0.0.1/a", "data:text/html,x", false},
        {"http://127.0.0.1/a", "view-source:http://127.0.0.1/a", false},
        {"http://127.0.0.1/a", "resource:///org/webkit/x", false},
        {"http://127.0.0.1/a", "about:blank", false},
        {"http://127.0.0.1/a", "javascript:alert(1)", false},
        {"http://127.0.0.1/a", "httpx://127.0.0.1/", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(controls::allows_new_window(c.from, c.to), c.allowed) << c.from << " -> " << c.to;
    }
}

} // namespace
} // namespace corvalen::test
