// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <sigc++/connection.h>
#include <string>

namespace corvalen::fleet {

// Tells systemd how the kiosk is, where a unit gives it a notify socket:
// ready once the first page (or the message in its place) is shown, which
// site it shows, and a sign of life from the main loop at least twice per
// watchdog period, so that a user interface that stops answering is ended and
// the session restarted. Without a notify socket it does nothing. Made before
// the program starts any process, which must not inherit the socket.
class Health {
public:
    Health();
    ~Health();
    Health(const Health&) = delete;
    Health& operator=(const Health&) = delete;

    // The view finished showing `uri`.
    void shown(const std::string& uri);
    // Whether the kiosk is in use ("in use", "idle 4 min"), for the status,
    // which the pings bring up to date.
    void activity(std::function<std::string()> activity) { m_activity = std::move(activity); }

private:
    void notify(const std::string& message) const;
    void tell(const std::string& site);

    std::string m_socket;
    std::string m_site;
    std::string m_status; // the last sent; empty until ready
    std::function<std::string()> m_activity;

    sigc::connection m_pings;
};

} // namespace corvalen::fleet
