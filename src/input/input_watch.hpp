// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <sigc++/connection.h>

typedef struct _GdkEvent GdkEvent;

namespace corvalen::input {

// Watches every window of the program for a visitor's input (a key, a click,
// a touch, a scroll or a move of the pointer; not what pages do by
// themselves), and runs a timer when the logic asks for one. Each callback
// returns how long until the timer is due, or none; `first_tick` is when it
// is first due, before any input.
class InputWatch {
public:
    using Clock = std::chrono::steady_clock;
    using Callback = std::function<std::optional<Clock::duration>(Clock::time_point)>;

    InputWatch(Callback on_input, Callback on_timer,
               std::optional<Clock::duration> first_tick = std::nullopt);
    ~InputWatch();
    InputWatch(const InputWatch&) = delete;
    InputWatch& operator=(const InputWatch&) = delete;

private:
    void on_event(GdkEvent* event);
    void schedule(std::optional<Clock::duration> delay);

    Callback m_on_input;
    Callback m_on_timer;
    sigc::connection m_events;
    sigc::connection m_timer;
    sigc::connection m_input;
    Clock::time_point m_input_time;
    double m_pointer_x = -1;
    double m_pointer_y = -1;
};

} // namespace corvalen::input
