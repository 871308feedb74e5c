// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>

#include "controls.hpp"

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebView WebKitWebView;

namespace corvalen::platform {

// The embedded browser over a WebKitGTK web view in an ephemeral network
// session: no cookies, cache or history outlive the program.
class BrowserControl : public IBrowserControl {
public:
    BrowserControl();
    ~BrowserControl() override;
    BrowserControl(const BrowserControl&) = delete;
    BrowserControl& operator=(const BrowserControl&) = delete;

    void Navigate(const std::string& url) override;
    void GoBack() override;
    void GoForward() override;
    void Stop() override;
    void Refresh() override;
    // The size the container gives the view, in twips; never below 0.
    void Width(float twips) override;
    void Height(float twips) override;

    [[nodiscard]] GtkWidget* widget() const;
    [[nodiscard]] int pixel_width() const { return m_width; }
    [[nodiscard]] int pixel_height() const { return m_height; }
    // Called when Width or Height changes, so that the container lays out anew.
    void on_size_changed(std::function<void()> callback) { m_size_changed = std::move(callback); }

private:
    WebKitWebView* m_view;
    int m_width = 193; // as designed, until the first resize
    int m_height = 193;
    std::function<void()> m_size_changed;
};

} // namespace corvalen::platform
