// SPDX-License-Identifier: MIT
// When a visitor's session ends, on a fake clock.

#include <gtest/gtest.h>

#include "shell/idle_timer.hpp"

namespace corvalen::test {
namespace {

using shell::IdleTimer;
using Action = IdleTimer::Action;
using std::chrono::milliseconds;

IdleTimer::Clock::time_point at(double seconds) {
    return IdleTimer::Clock::time_point(milliseconds(static_cast<long>(seconds * 1000)));
}

// One step on the clock: input, or a tick with what it must yield.
struct Step {
    double at;
    bool input;
    Action action = Action::None;
    int seconds_left = 0;
};
Step input(double t) {
    return {t, true};
}
Step tick(double t, Action action = Action::None, int seconds_left = 0) {
    return {t, false, action, seconds_left};
}

TEST(IdleTimer, EndsOnlyAfterThePeriodWithoutInputAndNoticesBefore) {
    const struct {
        const char* name;
        int reset, warning;
        std::vector<Step> steps;
    } cases[] = {
        {"untouched, never", 10, 3, {tick(0), tick(100), tick(100000)}},
        {"notice at the start of the warning, counting down, then the end",
         10,
         3,
         {input(0), tick(6.999), tick(7, Action::Notice, 3), tick(7.5, Action::Notice, 3),
          tick(8.001, Action::Notice, 2), tick(9.999, Action::Notice, 1), tick(10, Action::End)}},
        {"input keeps the session",
         10,
         3,
         {input(0), input(6), tick(12.9), tick(13, Action::Notice, 3), tick(16, Action::End)}},
        {"input during the notice cancels the end",
         10,
         3,
         {input(0), tick(8, Action::Notice, 2), input(8.5), tick(10), tick(15.4),
          tick(15.5, Action::Notice, 3), tick(18.5, Action::End)}},
        {"no notice", 10, 0, {input(0), tick(9.999), tick(10, Action::End)}},
        {"a warning as long as the period is cut to half of it",
         10,
         10,
         {input(0), tick(4.9), tick(5, Action::Notice, 5), tick(10, Action::End)}},
        {"a longer one too", 11, 600, {input(0), tick(5.9), tick(6, Action::Notice, 5)}},
        {"off", 0, 3, {input(0), tick(10), tick(100000)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IdleTimer timer(std::chrono::seconds(c.reset), std::chrono::seconds(c.warning));
        for (const Step& step : c.steps) {
            SCOPED_TRACE(step.at);
            if (step.input) {
                timer.input(at(step.at));
                continue;
            }
            const IdleTimer::Step got = timer.tick(at(step.at));
            EXPECT_EQ(got.action, step.action);
            if (step.action == Action::Notice) {
                EXPECT_EQ(got.seconds_left, step.seconds_left);
            }
            if (got.action == Action::End) {
                timer.restart(at(step.at));
            }
        }
    }
}

TEST(IdleTimer, AfterAnEndOnlyNewInputCounts) {
    IdleTimer timer(std::chrono::seconds(10), std::chrono::seconds(3));
    timer.input(at(0));
    ASSERT_EQ(timer.tick(at(10)).action, Action::End);
    timer.restart(at(10));
    EXPECT_FALSE(timer.input(at(9.5))) << "input from before the new session";
    EXPECT_EQ(timer.tick(at(30)).action, Action::None);
    EXPECT_EQ(timer.next_tick(at(30)), std::nullopt) << "no timer for an untouched terminal";
    timer.input(at(31));
    EXPECT_EQ(timer.tick(at(41)).action, Action::End);
}

TEST(IdleTimer, NextTickIsWhenSomethingChanges) {
    IdleTimer timer(std::chrono::seconds(10), std::chrono::seconds(3));
    EXPECT_EQ(timer.next_tick(at(0)), std::nullopt);
    timer.input(at(0));
    EXPECT_EQ(timer.next_tick(at(0)), std::chrono::seconds(7));
    EXPECT_EQ(timer.next_tick(at(7.25)), milliseconds(750)) << "the countdown's next second";
    EXPECT_EQ(timer.next_tick(at(8)), std::chrono::seconds(1));
    EXPECT_EQ(timer.next_tick(at(12)), IdleTimer::Clock::duration::zero()) << "overdue";
    EXPECT_TRUE(timer.tick(at(8)).action == Action::Notice && timer.input(at(8.1)))
        << "input reports that it dismissed the notice";
    EXPECT_FALSE(timer.input(at(8.2))) << "the notice is gone after the first";
}

TEST(IdleTimer, WholeSecondsAreDigitsInRange) {
    const struct {
        const char* text;
        std::optional<int> value;
    } cases[] = {
        {"10", 10},
        {"86400", 86400},
        {"010", 10},
        {"9", std::nullopt},
        {"86401", {}},
        {"", {}},
        {" 10", {}},
        {"+10", {}},
        {"-10", {}},
        {"10.0", {}},
        {"1e3", {}},
        {"0x10", {}},
        {"99999999999999999999", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shell::whole_number(c.text, 10, 86400), c.value) << c.text;
    }
}

} // namespace
} // namespace corvalen::test
