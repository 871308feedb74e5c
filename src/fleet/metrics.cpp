// SPDX-License-Identifier: MIT
#include "metrics.hpp"

#include <glib.h>
#include <glibmm/main.h>
#include <sstream>

namespace corvalen::fleet {
namespace {

// A label's value as the text format wants it: backslash, quote and line
// feed escaped.
std::string label(const std::string& value) {
    std::string escaped;
    for (const char c : value) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
            escaped += c;
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

} // namespace

const char* version() {
    return CORVALEN_VERSION;
}

std::string metrics_text(const Reading& reading) {
    std::ostringstream out;
    auto metric = [&out](const char* name, const char* type, const char* help, auto value) {
        out << "# HELP corvalen_" << name << ' ' << help << "\n# TYPE corvalen_" << name << ' '
            << type << "\ncorvalen_" << name << ' ' << value << '\n';
    };
    const controls::BrowserFigures& browser = reading.browser;
    out << "# HELP corvalen_info The program's version and the site it shows.\n"
           "# TYPE corvalen_info gauge\n"
           "corvalen_info{version=\""
        << label(version()) << "\",origin=\"" << label(browser.origin) << "\"} 1\n";
    metric("start_time_seconds", "gauge", "When the program started, in seconds since 1970.",
           reading.start_time);
    metric("in_use", "gauge", "1 while a visitor uses the terminal (input within a minute).",
           reading.in_use ? 1 : 0);
    metric("idle_seconds", "gauge", "Seconds since the last input.", reading.idle_seconds);
    metric("loading", "gauge", "1 while a page loads.", browser.loading ? 1 : 0);
    metric("loads_total", "counter", "Page loads that ended, failed ones included.", browser.loads);
    metric("failed_loads_total", "counter", "Pages that could not be reached.",
           browser.failed_loads);
    metric("refused_navigations_total", "counter", "Navigations to sites not allowed.",
           browser.refused_navigations);
    metric("sessions_ended_total", "counter", "Visitor sessions ended.", reading.sessions_ended);
    metric("web_process_crashes_total", "counter", "Web processes that ended unasked.",
           browser.web_process_crashes);
    metric("web_process_replacements_total", "counter", "Web processes replaced for their memory.",
           browser.web_process_replacements);
    if (reading.web_process_memory) {
        metric("web_process_memory_bytes", "gauge", "Private memory of the web processes.",
               *reading.web_process_memory);
    }
    return out.str();
}

MetricsFile::MetricsFile(std::string path, unsigned interval,
                         std::function<Reading(bool memory)> read, std::ostream& log)
    : m_path(std::move(path)), m_read(std::move(read)), m_log(log) {
    write();
    m_timer = Glib::signal_timeout().connect_seconds(
        [this] {
            write();
            return true;
        },
        interval);
}

MetricsFile::~MetricsFile() {
    m_timer.disconnect();
}

void MetricsFile::write() {
    const std::int64_t now = g_get_monotonic_time() / G_USEC_PER_SEC;
    // (Again at once while there was no web process to read.)
    const bool memory = !m_memory || now - m_memory_read >= 60;
    Reading reading = m_read(memory);
    if (memory) {
        m_memory = reading.web_process_memory;
        m_memory_read = now;
    }
    reading.web_process_memory = m_memory;
    const std::string text = metrics_text(reading);
    GError* error = nullptr;
    // A temporary file in the same directory, renamed onto the name.
    if (g_file_set_contents_full(m_path.c_str(), text.data(), static_cast<gssize>(text.size()),
                                 G_FILE_SET_CONTENTS_CONSISTENT, 0644, &error) == FALSE) {
        if (!m_failing) {
            m_log << "corvalen: [Fleet] MetricsFile: " << error->message << '\n';
        }
        m_failing = true;
        g_error_free(error);
        return;
    }
    m_failing = false;
}

} // namespace corvalen::fleet
