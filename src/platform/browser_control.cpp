// SPDX-License-Identifier: MIT
#include "browser_control.hpp"

#include <algorithm>
#include <cmath>
#include <webkit/webkit.h>

namespace corvalen::platform {
namespace {

int to_pixels(float twips) {
    return std::max(0, static_cast<int>(std::lround(twips / kTwipsPerPixel)));
}

} // namespace

BrowserControl::BrowserControl() {
    WebKitNetworkSession* session = webkit_network_session_new_ephemeral();
    m_view =
        WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "network-session", session, nullptr));
    g_object_unref(session);
    g_object_ref_sink(m_view);
}

BrowserControl::~BrowserControl() {
    if (gtk_widget_get_parent(GTK_WIDGET(m_view)) != nullptr) {
        gtk_widget_unparent(GTK_WIDGET(m_view));
    }
    g_object_unref(m_view);
}

GtkWidget* BrowserControl::widget() const {
    return GTK_WIDGET(m_view);
}

void BrowserControl::Navigate(const std::string& url) {
    webkit_web_view_load_uri(m_view, url.c_str());
}

void BrowserControl::GoBack() {
    webkit_web_view_go_back(m_view);
}

void BrowserControl::GoForward() {
    webkit_web_view_go_forward(m_view);
}

void BrowserControl::Stop() {
    webkit_web_view_stop_loading(m_view);
}

void BrowserControl::Refresh() {
    webkit_web_view_reload(m_view);
}

void BrowserControl::Width(float twips) {
    m_width = to_pixels(twips);
    if (m_size_changed) {
        m_size_changed();
    }
}

void BrowserControl::Height(float twips) {
    m_height = to_pixels(twips);
    if (m_size_changed) {
        m_size_changed();
    }
}

} // namespace corvalen::platform
