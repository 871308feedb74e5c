// SPDX-License-Identifier: MIT
#include "engine.hpp"

#include <algorithm>
#include <cstdint>
#include <unistd.h>
#include <webkit/webkit.h>

namespace corvalen::web {
namespace {

// The memory limit the engine works to in every web and network process:
// from a third of it on, it drops caches it can rebuild, from half of it on,
// everything it can. A quarter of the machine's memory, within bounds that
// leave a large page room and keep a kiosk that runs for weeks from growing
// to fill the machine (the engine's own limit is all of it).
WebKitMemoryPressureSettings* memory_pressure_settings() {
    constexpr std::uint64_t kLeast = 384;
    constexpr std::uint64_t kMost = 1024;
    const auto pages = sysconf(_SC_PHYS_PAGES);
    const auto page_size = sysconf(_SC_PAGE_SIZE);
    const std::uint64_t machine =
        pages > 0 && page_size > 0
            ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size) >> 20
            : 0;
    WebKitMemoryPressureSettings* settings = webkit_memory_pressure_settings_new();
    webkit_memory_pressure_settings_set_memory_limit(
        settings, static_cast<guint>(std::clamp(machine / 4, kLeast, kMost)));
    return settings;
}

// The web context all views share: the engine's default one, but for the
// memory limit, which can only be given as a context is made.
WebKitWebContext* web_context() {
    static WebKitWebContext* context = [] {
        WebKitMemoryPressureSettings* settings = memory_pressure_settings();
        webkit_network_session_set_memory_pressure_settings(settings);
        auto* made = WEBKIT_WEB_CONTEXT(
            g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "memory-pressure-settings", settings, nullptr));
        webkit_memory_pressure_settings_free(settings);
        return made;
    }();
    return context;
}

} // namespace

// Shown in place of a page that cannot be reached, with `text` in the middle.
std::string unreachable_page(const std::string& text) {
    char* escaped = g_markup_escape_text(text.c_str(), -1);
    std::string page = R"(<!doctype html>
<html><head><meta charset="utf-8"><style>
html, body { height: 100%; margin: 0; }
body { display: flex; align-items: center; justify-content: center;
       background: #f6f5f4; color: #2e3436; font: 20px sans-serif; text-align: center; }
p { max-width: 24em; }
</style></head><body><p>)";
    page += escaped;
    page += "</p></body></html>";
    g_free(escaped);
    return page;
}

WebKitWebView* create_view(controls::Drawing drawing) {
    // The context first: it gives the network process its limit, which
    // applies to sessions made after it.
    WebKitWebContext* context = web_context();
    WebKitNetworkSession* session = webkit_network_session_new_ephemeral();
    auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                              "network-session", session, nullptr));
    g_object_unref(session);
    g_object_ref_sink(view);

    // Said explicitly, so that a change of the engine's defaults cannot
    // reopen what a kiosk must keep shut.
    WebKitSettings* settings = webkit_web_view_get_settings(view);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_enable_fullscreen(settings, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
    // Without a GPU, pages are drawn on the CPU without GL compositing: on
    // software GL the compositor only adds start-up time and memory to the
    // web process (bench/RESULTS.md). Pages, WebGL included, render the same.
    // With one, pages are composited on it, as the engine does by default:
    // video and scrolling stay smooth.
    webkit_settings_set_hardware_acceleration_policy(
        settings, drawing == controls::Drawing::Gpu ? WEBKIT_HARDWARE_ACCELERATION_POLICY_ALWAYS
                                                    : WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    webkit_network_session_set_tls_errors_policy(webkit_web_view_get_network_session(view),
                                                 WEBKIT_TLS_ERRORS_POLICY_FAIL);
    return view;
}

} // namespace corvalen::web
