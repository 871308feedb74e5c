// SPDX-License-Identifier: MIT
// corvalenctl: the kiosk's remote control on the system bus, for operators'
// scripts. Exit status 0 on success; otherwise one line on standard error.

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <iostream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

constexpr const char* kBusName = "org.corvalen.Kiosk1";
constexpr const char* kObjectPath = "/org/corvalen/Kiosk1";
constexpr const char* kInterface = "org.corvalen.Kiosk1";

constexpr const char* kUsage = R"(Usage: corvalenctl COMMAND [ARGUMENTS]
Controls the Corvalen kiosk on this machine through the system bus (root or
group corvalen-admin).

Commands:
  status                  print the kiosk's state, one Name=value per line
  home                    show the home page
  reload                  load the page again
  end-session             end the visitor session: wipe it and show the home page
  open URL                show URL, if the kiosk's allowed sites take it
  message TEXT SECONDS    show TEXT over the page for SECONDS (1 to 86400)
  screenshot FILE         write a PNG of the screen to FILE (root only)
)";

int fail(const std::string& reason) {
    std::cerr << "corvalenctl: " << reason << '\n';
    return 1;
}

int fail(GError* error) {
    g_dbus_error_strip_remote_error(error);
    const int status = fail(error->message);
    g_error_free(error);
    return status;
}

// Calls `method` with `parameters` (and `fds`); 0 or the failure's status.
int call(GDBusConnection* bus, const char* method, GVariant* parameters,
         GUnixFDList* fds = nullptr) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        bus, kBusName, kObjectPath, kInterface, method, parameters, nullptr, G_DBUS_CALL_FLAGS_NONE,
        30000, fds, nullptr, nullptr, &error);
    if (reply == nullptr) {
        return fail(error);
    }
    g_variant_unref(reply);
    return 0;
}

int status(GDBusConnection* bus) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kBusName, kObjectPath, "org.freedesktop.DBus.Properties", "GetAll",
        g_variant_new("(s)", kInterface), G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE, 30000,
        nullptr, &error);
    if (reply == nullptr) {
        return fail(error);
    }
    GVariantIter* properties = nullptr;
    g_variant_get(reply, "(a{sv})", &properties);
    const char* name = nullptr;
    GVariant* value = nullptr;
    while (g_variant_iter_next(properties, "{&sv}", &name, &value)) {
        std::cout << name << '=';
        if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) {
            std::cout << (g_variant_get_boolean(value) ? "yes" : "no");
        } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT64)) {
            std::cout << g_variant_get_uint64(value);
        } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
            std::cout << g_variant_get_string(value, nullptr);
        }
        std::cout << '\n';
        g_variant_unref(value);
    }
    g_variant_iter_free(properties);
    g_variant_unref(reply);
    return 0;
}

int screenshot(GDBusConnection* bus, const char* path) {
    // Made by the caller, so that the file is the caller's, not the kiosk's.
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return fail(std::string(path) + ": " + std::strerror(errno));
    }
    GUnixFDList* fds = g_unix_fd_list_new_from_array(&fd, 1); // takes the descriptor
    const int result = call(bus, "Screenshot", g_variant_new("(h)", 0), fds);
    g_object_unref(fds);
    if (result != 0) {
        unlink(path);
    }
    return result;
}

} // namespace

int main(int argc, char** argv) {
    const std::string_view command = argc > 1 ? argv[1] : "";
    const int arguments = argc - 2;
    if (command == "--help" || command == "-h") {
        std::cout << kUsage;
        return 0;
    }
    const bool known = ((command == "status" || command == "home" || command == "reload" ||
                         command == "end-session") &&
                        arguments == 0) ||
                       ((command == "open" || command == "screenshot") && arguments == 1) ||
                       (command == "message" && arguments == 2);
    if (!known) {
        std::cerr << kUsage;
        return 2;
    }
    unsigned seconds = 0;
    if (command == "message") {
        const std::string_view text = argv[3];
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (error != std::errc{} || end != text.data() + text.size()) {
            return fail("SECONDS is not a whole number: " + std::string(text));
        }
    }
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    if (bus == nullptr) {
        return fail(error);
    }
    int result = 0;
    if (command == "status") {
        result = status(bus);
    } else if (command == "home") {
        result = call(bus, "GoHome", nullptr);
    } else if (command == "reload") {
        result = call(bus, "Reload", nullptr);
    } else if (command == "end-session") {
        result = call(bus, "EndSession", nullptr);
    } else if (command == "open") {
        result = call(bus, "Open", g_variant_new("(s)", argv[2]));
    } else if (command == "message") {
        result = call(bus, "ShowMessage", g_variant_new("(su)", argv[2], seconds));
    } else {
        result = screenshot(bus, argv[2]);
    }
    g_object_unref(bus);
    return result;
}
