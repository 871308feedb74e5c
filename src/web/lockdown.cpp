// SPDX-License-Identifier: MIT
#include "lockdown.hpp"

#include <algorithm>
#include <array>
#include <webkit/webkit.h>

namespace corvalen::web {
namespace {

// The only context menu entries a visitor gets.
constexpr std::array kAllowedMenuActions{
    WEBKIT_CONTEXT_MENU_ACTION_GO_BACK, WEBKIT_CONTEXT_MENU_ACTION_GO_FORWARD,
    WEBKIT_CONTEXT_MENU_ACTION_STOP,    WEBKIT_CONTEXT_MENU_ACTION_RELOAD,
    WEBKIT_CONTEXT_MENU_ACTION_CUT,     WEBKIT_CONTEXT_MENU_ACTION_COPY,
    WEBKIT_CONTEXT_MENU_ACTION_PASTE,   WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL,
};

gboolean context_menu(WebKitWebView* /*view*/, WebKitContextMenu* menu,
                      WebKitHitTestResult* /*hit*/, gpointer /*data*/) {
    GList* items = g_list_copy(webkit_context_menu_get_items(menu));
    for (GList* item = items; item != nullptr; item = item->next) {
        auto* entry = WEBKIT_CONTEXT_MENU_ITEM(item->data);
        const auto action = webkit_context_menu_item_get_stock_action(entry);
        if (std::find(kAllowedMenuActions.begin(), kAllowedMenuActions.end(), action) ==
            kAllowedMenuActions.end()) {
            webkit_context_menu_remove(menu, entry);
        }
    }
    g_list_free(items);
    return webkit_context_menu_get_n_items(menu) == 0 ? TRUE : FALSE;
}

gboolean run_file_chooser(WebKitWebView* /*view*/, WebKitFileChooserRequest* request,
                          gpointer /*data*/) {
    webkit_file_chooser_request_cancel(request);
    return TRUE;
}

// The engine's colour chooser is a toolkit dialog of its own, a second
// window over the toolbar that remembers colours: a colour input keeps
// its value instead.
gboolean run_color_chooser(WebKitWebView* /*view*/, WebKitColorChooserRequest* request,
                           gpointer /*data*/) {
    webkit_color_chooser_request_cancel(request);
    return TRUE;
}

gboolean refuse(WebKitWebView* /*view*/, gpointer /*data*/) {
    return TRUE;
}

gboolean permission_request(WebKitWebView* /*view*/, WebKitPermissionRequest* request,
                            gpointer /*data*/) {
    webkit_permission_request_deny(request);
    return TRUE;
}

gboolean tls_failed(WebKitWebView* /*view*/, const char* /*uri*/, GTlsCertificate* /*certificate*/,
                    GTlsCertificateFlags /*errors*/, gpointer /*data*/) {
    return FALSE; // the engine's error page, with no way to go on
}

void download_started(WebKitNetworkSession* /*session*/, WebKitDownload* download,
                      gpointer /*data*/) {
    webkit_download_cancel(download);
}

} // namespace

void connect_lockdown(WebKitWebView* view) {
    const struct {
        const char* signal;
        GCallback handler;
    } refusals[] = {
        {"context-menu", G_CALLBACK(context_menu)},
        {"run-file-chooser", G_CALLBACK(run_file_chooser)},
        {"run-color-chooser", G_CALLBACK(run_color_chooser)},
        {"enter-fullscreen", G_CALLBACK(refuse)},
        {"leave-fullscreen", G_CALLBACK(refuse)},
        {"permission-request", G_CALLBACK(permission_request)},
        {"load-failed-with-tls-errors", G_CALLBACK(tls_failed)},
    };
    for (const auto& refusal : refusals) {
        g_signal_connect(view, refusal.signal, refusal.handler, nullptr);
    }
    g_signal_connect(webkit_web_view_get_network_session(view), "download-started",
                     G_CALLBACK(download_started), nullptr);
}

} // namespace corvalen::web
