// SPDX-License-Identifier: MIT
#include "health.hpp"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <glibmm/main.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "controls/site_list.hpp"

namespace corvalen::fleet {
namespace {

// The variables a unit gives, taken out of the environment at once: the
// processes the program starts (the engine's, an accessibility bus) must not
// speak for the kiosk, and would otherwise report it ready before its page.
std::string take_variable(const char* name) {
    const char* value = std::getenv(name);
    std::string taken = value != nullptr ? value : "";
    unsetenv(name);
    return taken;
}

// The watchdog's period in microseconds; 0 when systemd asks for no pings.
// Under the kiosk units the session script is the service's main process, so
// WATCHDOG_PID names that script, not this program, whose pings the unit
// takes all the same (NotifyAccess=all): the period is read as it stands.
std::uint64_t watchdog_usec(const std::string& text) {
    std::uint64_t usec = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), usec);
    return error == std::errc{} && end == text.data() + text.size() ? usec : 0;
}

} // namespace

void Health::notify(const std::string& message) const {
    // systemd's notification protocol: one datagram to the socket it named,
    // in the abstract namespace when the name starts with "@".
    if (m_socket.empty() || m_socket.size() >= sizeof(sockaddr_un::sun_path)) {
        return;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    m_socket.copy(address.sun_path, m_socket.size());
    if (address.sun_path[0] == '@') {
        address.sun_path[0] = '\0';
    }
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    sendto(fd, message.data(), message.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
           static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + m_socket.size()));
    close(fd);
}

Health::Health() : m_socket(take_variable("NOTIFY_SOCKET")) {
    const std::uint64_t usec = watchdog_usec(take_variable("WATCHDOG_USEC"));
    unsetenv("WATCHDOG_PID");
    if (usec > 0 && !m_socket.empty()) {
        // A third of the period: a ping that comes late in a busy moment
        // still lands well within it.
        const auto every = static_cast<unsigned>(std::max<std::uint64_t>(usec / 3000, 1));
        notify("WATCHDOG=1");
        m_pings = Glib::signal_timeout().connect(
            [this] {
                notify("WATCHDOG=1");
                if (!m_status.empty()) {
                    tell(m_site);
                }
                return true;
            },
            every);
    }
}

Health::~Health() {
    m_pings.disconnect();
}

void Health::shown(const std::string& uri) {
    // Only the site: the path and query of a page can hold a visitor's search.
    m_site = controls::origin_of(uri);
    tell(m_site);
}

void Health::tell(const std::string& site) {
    std::string status = "STATUS=showing " + site;
    if (m_activity) {
        status += ", " + m_activity();
    }
    if (status != m_status) {
        // The first status is also the first page shown.
        notify((m_status.empty() ? "READY=1\n" : "") + status);
        m_status = status;
    }
}

} // namespace corvalen::fleet
