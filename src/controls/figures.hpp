// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace corvalen::controls {

// What the browser control counts for a fleet's operators since the program
// started, and what it shows now.
struct BrowserFigures {
    std::uint64_t loads = 0;        // pages shown
    std::uint64_t failed_loads = 0; // pages that could not be reached
    std::uint64_t refused_navigations = 0;
    std::uint64_t web_process_crashes = 0;
    std::uint64_t web_process_replacements = 0;
    bool loading = false;
    std::string origin; // scheme, host and port of the page shown: never a path or query
};

} // namespace corvalen::controls
