// SPDX-License-Identifier: MIT
#include "errors.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <glibmm/error.h>
#include <glibmm/exceptionhandler.h>
#include <iostream>

namespace corvalen::toolkit {

void report_current_exception() noexcept {
    try {
        throw;
    } catch (const Glib::Error& error) {
        std::cerr << "corvalen: error in a handler: " << error.what() << '\n';
    } catch (const std::exception& error) {
        std::cerr << "corvalen: error in a handler: " << error.what() << '\n';
    } catch (...) {
        std::cerr << "corvalen: unknown error in a handler\n";
    }
}

void end_program(int status) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(status);
}

void report_handler_errors() {
    Glib::add_exception_handler(&report_current_exception);
}

void run_handler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        report_current_exception();
    }
}

} // namespace corvalen::toolkit
