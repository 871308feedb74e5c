// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace corvalen::platform {

// Makes an exception that leaves an event handler a report on standard error
// instead of the end of the program: a kiosk must keep running.
void report_handler_errors();

// Runs a handler the same way when the event does not come from a signal.
void run_handler(const std::function<void()>& handler);

} // namespace corvalen::platform
