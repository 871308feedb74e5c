// SPDX-License-Identifier: MIT
// What the browser loads and when: commands, unreachable pages, crashes and
// hung pages, played on a fake clock as a timer loop would.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "controls/navigator.hpp"

namespace corvalen::test {
namespace {

using controls::Navigator;
using Kind = Navigator::Command::Kind;

// Plays `events` ("<ms> <event> [address]") on a navigator whose home page is
// http://home/, running every tick when due as the browser's timer does,
// until `until` ms. Returns what the view was told to do, as "<ms> <step>".
// The events are the engine's, as it reports them: a failed load is followed
// by the commit of the page shown instead.
std::vector<std::string> play(const std::vector<std::string>& events, long until) {
    Navigator navigator;
    navigator.home_page("http://home/");
    const auto t0 = Navigator::Clock::time_point{};
    long now = 0;
    bool responsive = true;
    std::vector<std::string> done;
    const auto record = [&](const Navigator::Steps& steps) {
        const std::string at = std::to_string(now) + ' ';
        if (steps.end_web_process) {
            done.push_back(at + "end");
            responsive = true;
        }
        if (steps.run) {
            static const char* const kNames[] = {"load ", "back", "forward", "reload"};
            done.push_back(at + kNames[static_cast<int>(steps.run->kind)] + steps.run->url);
        }
        if (steps.probe) {
            done.push_back(at + "probe");
        }
    };
    const auto run_ticks_until = [&](long end) {
        for (auto next = navigator.next_tick(t0 + std::chrono::milliseconds(now));
             next && now + std::chrono::ceil<std::chrono::milliseconds>(*next).count() <= end;
             next = navigator.next_tick(t0 + std::chrono::milliseconds(now))) {
            now += std::chrono::ceil<std::chrono::milliseconds>(*next).count();
            record(navigator.tick(t0 + std::chrono::milliseconds(now)));
        }
        now = end;
    };
    for (const std::string& line : events) {
        std::istringstream in(line);
        long at = 0;
        std::string event;
        std::string address;
        in >> at >> event >> address;
        run_ticks_until(at);
        const auto time = t0 + std::chrono::milliseconds(now);
        if (event == "load" || event == "back" || event == "forward" || event == "reload") {
            const Kind kind = event == "load"      ? Kind::Load
                              : event == "back"    ? Kind::Back
                              : event == "forward" ? Kind::Forward
                                                   : Kind::Reload;
            record(navigator.command({kind, address}, time, responsive));
        } else if (event == "stop") {
            navigator.stop();
        } else if (event == "commit") {
            navigator.committed();
        } else if (event == "finish") {
            navigator.finished();
        } else if (event == "fail") {
            if (navigator.unreachable(address, time)) {
                done.push_back(std::to_string(now) + " message " + address);
            }
        } else if (event == "crash") {
            navigator.crashed(time);
        } else if (event == "hang") {
            responsive = false;
            record(navigator.unresponsive());
        } else if (event == "dialog") {
            navigator.page_dialog(time);
        } else if (event == "answer-loading" || event == "answer-idle") {
            navigator.answered(time, event == "answer-loading");
        } else if (event == "clear") {
            navigator.clear();
        } else {
            ADD_FAILURE() << "unknown event " << event;
        }
    }
    run_ticks_until(until);
    return done;
}

TEST(Navigator, PlaysOutOverTime) {
    const struct {
        const char* name;
        std::vector<std::string> events;
        long until;
        std::vector<std::string> done;
    } cases[] = {
        {"a command that commits in time",
         {"0 load http://a/", "300 commit"},
         5000,
         {"0 load http://a/"}},
        {"a page that hangs while being left is probed, then ended, the command given again",
         {"0 back"},
         1500,
         {"0 back", "700 probe", "1000 end", "1000 back"}},
        {"a page that answers while still loading gets more time",
         {"0 load http://a/", "750 answer-loading"},
         1500,
         {"0 load http://a/", "700 probe", "1450 probe"}},
        {"a page that answers with nothing loading let the command go",
         {"0 forward", "750 answer-idle"},
         5000,
         {"0 forward", "700 probe"}},
        {"a page that stops answering during a command is ended",
         {"0 load http://a/", "100 hang", "200 commit"},
         5000,
         {"0 load http://a/", "100 end", "100 load http://a/"}},
        {"a command to a page that does not answer ends it first",
         {"0 hang", "100 load http://b/", "200 commit"},
         5000,
         {"100 end", "100 load http://b/"}},
        {"dialogs in a loop while a command waits end the page, each time",
         {"0 load http://a/", "50 dialog", "60 dialog", "70 commit", "80 dialog"},
         5000,
         {"0 load http://a/", "50 end", "50 load http://a/", "60 end", "60 load http://a/"}},
        {"stop ends the wait", {"0 load http://a/", "100 stop"}, 5000, {"0 load http://a/"}},
        {"an unreachable page is tried again after 5, 10, then 5 s once one loaded",
         {"0 load http://a/", "100 fail http://a/", "120 commit", "150 finish",
          "5200 fail http://a/", "5220 commit", "5250 finish", "15300 commit", "15400 finish",
          "20000 fail http://a/", "20020 commit", "20050 finish"},
         26000,
         {"0 load http://a/", "100 message http://a/", "5100 load http://a/",
          "5200 message http://a/", "15200 load http://a/", "20000 message http://a/",
          "25000 load http://a/"}},
        {"only web addresses get the message",
         {"0 load file:///x", "100 fail file:///x", "120 commit"},
         60000,
         {"0 load file:///x"}},
        {"refresh on the message loads the page itself, and the retry goes",
         {"0 load http://a/", "100 fail http://a/", "120 commit", "150 finish", "2000 reload",
          "2100 commit"},
         60000,
         {"0 load http://a/", "100 message http://a/", "2000 load http://a/"}},
        {"refresh on a page reloads it", {"0 reload", "100 commit"}, 5000, {"0 reload"}},
        {"the home page comes back after a crash, slowly when it keeps crashing",
         {"0 crash", "1000 crash", "2000 crash", "3000 crash"},
         40000,
         {"500 load http://home/", "1500 load http://home/", "2500 load http://home/",
          "33000 load http://home/"}},
        {"a command supersedes the restart after a crash",
         {"0 crash", "100 load http://b/", "200 commit"},
         5000,
         {"100 load http://b/"}},
        {"a new session forgets retries and commands, not the home page",
         {"0 load http://a/", "100 fail http://a/", "200 clear", "300 crash"},
         60000,
         {"0 load http://a/", "100 message http://a/", "800 load http://home/"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(play(c.events, c.until), c.done) << c.name;
    }
}

TEST(Navigator, KnowsWhatTheProgramAskedFor) {
    Navigator navigator;
    navigator.command({Kind::Load, "http://a.example/x"}, {}, true);
    EXPECT_TRUE(navigator.requested("HTTP://A.example/x"));
    EXPECT_FALSE(navigator.requested("http://a.example/y"));
    EXPECT_TRUE(navigator.unreachable("http://b.example/", {}));
    EXPECT_TRUE(navigator.requested("http://b.example/")) << "the message stands in for it";
    // A page reloaded in a fresh web process is the program's doing too.
    Navigator reloading;
    EXPECT_EQ(reloading.command({Kind::Reload, "http://c.example/"}, {}, false).run->kind,
              Kind::Reload);
    EXPECT_TRUE(reloading.requested("http://c.example/"));
}

TEST(Navigator, NoHomePageNoRestart) {
    Navigator navigator;
    navigator.crashed({});
    EXPECT_FALSE(navigator.next_tick({}));
}

} // namespace
} // namespace corvalen::test
