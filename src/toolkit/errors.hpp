// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace corvalen::toolkit {

// Ends the program at once with `status`: no further handler, no destructor,
// nothing written. The web engine's helper processes end when their
// connection to us closes.
[[noreturn]] void end_program(int status);

// Makes an exception that leaves an event handler a report on standard error
// instead of the end of the program: a kiosk must keep running.
void report_handler_errors();

// Runs a handler the same way when the event does not come from a signal.
void run_handler(const std::function<void()>& handler);

// Reports the exception being handled, as an event handler's is.
void report_current_exception() noexcept;

// Runs the body of a callback that C code (GLib, GTK, WebKit) calls: no
// exception may unwind through C frames, so one that leaves the body is
// reported, and `fallback` returned where the callback returns a value.
template <typename Body> void guard_callback(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        report_current_exception();
    }
}

template <typename Body, typename Result>
Result guard_callback(Body&& body, Result fallback) noexcept {
    try {
        return body();
    } catch (...) {
        report_current_exception();
        return fallback;
    }
}

} // namespace corvalen::toolkit
