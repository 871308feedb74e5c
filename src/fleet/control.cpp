// SPDX-License-Identifier: MIT
#include "control.hpp"

#include <exception>
#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <glibmm/main.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvalen::fleet {
namespace {

constexpr const char* kInterface = "org.corvalen.Kiosk1";

constexpr const char* kIntrospection = R"(<node>
  <interface name="org.corvalen.Kiosk1">
    <method name="GoHome"/>
    <method name="Reload"/>
    <method name="EndSession"/>
    <method name="Open"><arg name="url" type="s" direction="in"/></method>
    <method name="ShowMessage">
      <arg name="text" type="s" direction="in"/>
      <arg name="seconds" type="u" direction="in"/>
    </method>
    <method name="Screenshot"><arg name="png" type="h" direction="in"/></method>
    <property name="InUse" type="b" access="read"/>
    <property name="IdleSeconds" type="t" access="read">
      <annotation name="org.freedesktop.DBus.Property.EmitsChangeSignal" value="false"/>
    </property>
    <property name="Origin" type="s" access="read"/>
    <property name="Loading" type="b" access="read"/>
    <property name="Loads" type="t" access="read"/>
    <property name="FailedLoads" type="t" access="read"/>
    <property name="RefusedNavigations" type="t" access="read"/>
    <property name="SessionsEnded" type="t" access="read"/>
    <property name="WebProcessCrashes" type="t" access="read"/>
    <property name="WebProcessReplacements" type="t" access="read"/>
    <property name="WebProcessMemory" type="t" access="read">
      <annotation name="org.freedesktop.DBus.Property.EmitsChangeSignal" value="false"/>
    </property>
    <property name="Version" type="s" access="read">
      <annotation name="org.freedesktop.DBus.Property.EmitsChangeSignal" value="const"/>
    </property>
    <property name="StartTime" type="t" access="read">
      <annotation name="org.freedesktop.DBus.Property.EmitsChangeSignal" value="const"/>
    </property>
  </interface>
</node>)";

// How often the properties are compared for their change signals: often
// enough for a fleet's dashboard, seldom enough to cost nothing at rest.
constexpr unsigned kLookEvery = 5;

// The longest text ShowMessage takes: a notice, not a page.
constexpr std::size_t kMessageMost = 1000;
constexpr unsigned kMessageSecondsMost = 86400;

// A property's value in `reading`; nullptr for a name that is none.
GVariant* property(const std::string& name, const Reading& reading) {
    const controls::BrowserFigures& browser = reading.browser;
    if (name == "InUse") {
        return g_variant_new_boolean(reading.in_use ? TRUE : FALSE);
    }
    if (name == "IdleSeconds") {
        return g_variant_new_uint64(reading.idle_seconds);
    }
    if (name == "Origin") {
        return g_variant_new_string(browser.origin.c_str());
    }
    if (name == "Loading") {
        return g_variant_new_boolean(browser.loading ? TRUE : FALSE);
    }
    const std::pair<const char*, std::uint64_t> counts[] = {
        {"Loads", browser.loads},
        {"FailedLoads", browser.failed_loads},
        {"RefusedNavigations", browser.refused_navigations},
        {"SessionsEnded", reading.sessions_ended},
        {"WebProcessCrashes", browser.web_process_crashes},
        {"WebProcessReplacements", browser.web_process_replacements},
        {"WebProcessMemory", reading.web_process_memory.value_or(0)},
        {"StartTime", static_cast<std::uint64_t>(reading.start_time)},
    };
    for (const auto& [count_name, value] : counts) {
        if (name == count_name) {
            return g_variant_new_uint64(value);
        }
    }
    if (name == "Version") {
        return g_variant_new_string(version());
    }
    return nullptr;
}

// The properties whose change is signalled.
constexpr const char* kSignalled[] = {"InUse",
                                      "Origin",
                                      "Loading",
                                      "Loads",
                                      "FailedLoads",
                                      "RefusedNavigations",
                                      "SessionsEnded",
                                      "WebProcessCrashes",
                                      "WebProcessReplacements"};

} // namespace

struct Control::Private {
    Private(Commands given, std::ostream& logged) : commands(std::move(given)), log(logged) {}

    Commands commands;
    std::ostream& log;
    GDBusNodeInfo* info = nullptr;
    guint owner = 0;
    guint registration = 0;
    GDBusConnection* connection = nullptr;
    Reading last;
    sigc::connection poll;

    // The calling user's id, asked of the bus; nullopt when it will not say.
    std::optional<guint32> caller(const char* sender) const {
        GVariant* reply = g_dbus_connection_call_sync(
            connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "GetConnectionUnixUser", g_variant_new("(s)", sender), G_VARIANT_TYPE("(u)"),
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        if (reply == nullptr) {
            return std::nullopt;
        }
        guint32 uid = 0;
        g_variant_get(reply, "(u)", &uid);
        g_variant_unref(reply);
        return uid;
    }

    void call(const char* sender, const char* method, GVariant* parameters,
              GDBusMethodInvocation* invocation) {
        const auto uid = caller(sender);
        std::string who = "an unknown user";
        if (uid) {
            passwd entry{};
            passwd* found = nullptr;
            char buffer[1024];
            getpwuid_r(*uid, &entry, buffer, sizeof buffer, &found);
            who = (found != nullptr ? std::string(found->pw_name) : "uid") + " (uid " +
                  std::to_string(*uid) + ")";
        }
        log << "corvalen: " << method << " called on the system bus by " << who << '\n';
        const std::string name = method;
        if (name == "GoHome" || name == "Reload" || name == "EndSession") {
            (name == "GoHome"   ? commands.go_home
             : name == "Reload" ? commands.reload
                                : commands.end_session)();
        } else if (name == "Open") {
            const char* url = nullptr;
            g_variant_get(parameters, "(&s)", &url);
            if (!commands.open(url)) {
                g_dbus_method_invocation_return_dbus_error(invocation,
                                                           "org.corvalen.Kiosk1.Error.Refused",
                                                           "the kiosk may not show this address");
                return;
            }
        } else if (name == "ShowMessage") {
            const char* text = nullptr;
            guint32 seconds = 0;
            g_variant_get(parameters, "(&su)", &text, &seconds);
            const std::string message = text;
            if (message.empty() || message.size() > kMessageMost || seconds == 0 ||
                seconds > kMessageSecondsMost || !g_utf8_validate(text, -1, nullptr)) {
                g_dbus_method_invocation_return_error(
                    invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                    "a message is 1 to 1000 bytes of text, shown 1 to 86400 seconds");
                return;
            }
            commands.show_message(message, seconds);
        } else if (name == "Screenshot") {
            screenshot(uid, parameters, invocation);
            return;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
        look(); // what the command changed is signalled at once
    }

    // A visitor's screen: for root alone, into a file the caller opened.
    void screenshot(std::optional<guint32> uid, GVariant* parameters,
                    GDBusMethodInvocation* invocation) {
        if (uid != 0U) {
            g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR,
                                                  G_DBUS_ERROR_ACCESS_DENIED,
                                                  "only root may take a screenshot");
            return;
        }
        gint32 index = 0;
        g_variant_get(parameters, "(h)", &index);
        GUnixFDList* fds =
            g_dbus_message_get_unix_fd_list(g_dbus_method_invocation_get_message(invocation));
        const int fd = fds != nullptr ? g_unix_fd_list_get(fds, index, nullptr) : -1;
        struct stat status {};
        // Only a file: a pipe nobody reads would stop the program.
        const bool file = fd >= 0 && fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
        const bool written = file && commands.screenshot(fd);
        if (fd >= 0) {
            close(fd);
        }
        if (!written) {
            g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_FAILED,
                                                  file ? "the screen could not be written"
                                                       : "the descriptor is not a file");
            return;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    // Signals the properties that changed since the last look.
    void look() {
        const Reading now = commands.read(false);
        GVariantBuilder changed;
        g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
        bool any = false;
        for (const char* name : kSignalled) {
            GVariant* before = g_variant_ref_sink(property(name, last));
            GVariant* after = g_variant_ref_sink(property(name, now));
            if (!g_variant_equal(before, after)) {
                g_variant_builder_add(&changed, "{sv}", name, after);
                any = true;
            }
            g_variant_unref(before);
            g_variant_unref(after);
        }
        last = now;
        if (any) {
            g_dbus_connection_emit_signal(
                connection, nullptr, kObjectPath, "org.freedesktop.DBus.Properties",
                "PropertiesChanged", g_variant_new("(sa{sv}as)", kInterface, &changed, nullptr),
                nullptr);
        } else {
            g_variant_builder_clear(&changed);
        }
    }
};

namespace {

void method_call(GDBusConnection* /*connection*/, const gchar* sender, const gchar* /*path*/,
                 const gchar* /*interface*/, const gchar* method, GVariant* parameters,
                 GDBusMethodInvocation* invocation, gpointer data) {
    // Nothing may unwind through the bus's C code.
    try {
        static_cast<Control::Private*>(data)->call(sender, method, parameters, invocation);
    } catch (const std::exception& error) {
        g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_FAILED, "%s",
                                              error.what());
    }
}

GVariant* get_property(GDBusConnection* /*connection*/, const gchar* /*sender*/,
                       const gchar* /*path*/, const gchar* /*interface*/, const gchar* name,
                       GError** error, gpointer data) {
    auto* control = static_cast<Control::Private*>(data);
    const std::string wanted = name;
    GVariant* value = property(wanted, control->commands.read(wanted == "WebProcessMemory"));
    if (value == nullptr) {
        g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", name);
    }
    return value;
}

const GDBusInterfaceVTable kVTable{method_call, get_property, nullptr, {}};

} // namespace

Control::Control(Commands commands, std::ostream& log)
    : m_private(std::make_unique<Private>(std::move(commands), log)) {
    Private* p = m_private.get();
    p->info = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    p->last = p->commands.read(false);
    p->owner = g_bus_own_name(
        G_BUS_TYPE_SYSTEM, kBusName, G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
        +[](GDBusConnection* connection, const gchar* /*name*/, gpointer data) {
            auto* owner = static_cast<Private*>(data);
            owner->connection = connection;
            owner->registration = g_dbus_connection_register_object(
                connection, kObjectPath, owner->info->interfaces[0], &kVTable, owner, nullptr,
                nullptr);
            // Changes are looked for only where someone can be told of them.
            owner->poll = Glib::signal_timeout().connect_seconds(
                [owner] {
                    owner->look();
                    return true;
                },
                kLookEvery);
        },
        nullptr,
        +[](GDBusConnection* connection, const gchar* /*name*/, gpointer data) {
            // No bus at all says nothing; a bus that refuses the name is told.
            if (connection != nullptr) {
                static_cast<Private*>(data)->log
                    << "corvalen: the system bus did not give the name " << kBusName
                    << " (see its policy): no remote control\n";
            }
        },
        p, nullptr);
}

Control::~Control() {
    m_private->poll.disconnect();
    if (m_private->registration != 0) {
        g_dbus_connection_unregister_object(m_private->connection, m_private->registration);
    }
    g_bus_unown_name(m_private->owner);
    g_dbus_node_info_unref(m_private->info);
}

} // namespace corvalen::fleet
