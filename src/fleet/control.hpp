// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <sigc++/connection.h>
#include <string>

#include "metrics.hpp"

namespace corvalen::fleet {

// The name, object and interface of the kiosk on the system bus.
inline constexpr const char* kBusName = "org.corvalen.Kiosk1";
inline constexpr const char* kObjectPath = "/org/corvalen/Kiosk1";

// What remote callers may have the kiosk do.
struct Commands {
    std::function<void()> go_home;
    std::function<void()> reload;
    std::function<void()> end_session;
    // False when the address is not one the kiosk may show.
    std::function<bool(const std::string& url)> open;
    std::function<void(const std::string& text, unsigned seconds)> show_message;
    // Writes a PNG of the main window to `fd`; false when it could not.
    std::function<bool(int fd)> screenshot;
    // The figures; the web processes' memory only when `memory` is true.
    std::function<Reading(bool memory)> read;
};

// The kiosk's control interface on the system bus, where the bus and its
// policy let the program own the name (the package's policy: only root and
// group corvalen-admin may call it, not the kiosk's own user). No network
// port is opened. Every call is written to `log` (the journal) with the
// caller's user. Without a system bus nothing happens.
class Control {
public:
    Control(Commands commands, std::ostream& log);
    ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    struct Private;

private:
    std::unique_ptr<Private> m_private;
};

} // namespace corvalen::fleet
