// SPDX-License-Identifier: MIT
// The browser control's retry, restart and navigation policies.

#include <gtest/gtest.h>

#include "platform/browser_policy.hpp"

namespace corvalen::test {
namespace {

using namespace std::chrono_literals;

TEST(RetryBackoff, DoublesFromFiveSecondsUpToAMinute) {
    platform::RetryBackoff backoff;
    for (const auto expected : {5s, 10s, 20s, 40s, 60s, 60s, 60s}) {
        EXPECT_EQ(backoff.next(), expected);
    }
    backoff.reset();
    EXPECT_EQ(backoff.next(), 5s) << "a page that loaded starts the pauses again";
}

TEST(CrashRecovery, QuickUnlessItKeepsCrashing) {
    platform::CrashRecovery recovery;
    const auto start = std::chrono::steady_clock::time_point{} + 1h;
    EXPECT_EQ(recovery.on_crash(start), platform::CrashRecovery::kQuickRestart);
    EXPECT_EQ(recovery.on_crash(start + 1s), platform::CrashRecovery::kQuickRestart);
    EXPECT_EQ(recovery.on_crash(start + 2s), platform::CrashRecovery::kQuickRestart);
    EXPECT_EQ(recovery.on_crash(start + 3s), platform::CrashRecovery::kSlowRestart);
    EXPECT_EQ(recovery.on_crash(start + 4s), platform::CrashRecovery::kSlowRestart);
    // Once the earlier crashes are more than a minute old, quick again.
    EXPECT_EQ(recovery.on_crash(start + 3s + 2min), platform::CrashRecovery::kQuickRestart);
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
        EXPECT_EQ(platform::allows_navigation(c.from, c.to, c.by_program), c.allowed)
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
        EXPECT_EQ(platform::allows_new_window(c.from, c.to), c.allowed) << c.from << " -> " << c.to;
    }
}

} // namespace
} // namespace corvalen::test
