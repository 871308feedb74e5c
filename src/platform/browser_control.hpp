// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <sigc++/connection.h>
#include <string>

#include "controls/browser_policy.hpp"
#include "controls/controls.hpp"

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitAuthenticationRequest WebKitAuthenticationRequest;
typedef struct _GCancellable GCancellable;

namespace corvalen::platform {

// The embedded browser over a WebKitGTK web view in an ephemeral network
// session: no cookies, cache or history outlive the program, or the visitor's
// session when that is cleared.
//
// Locked down for a public terminal: new windows open in the same view, and
// only web addresses; downloads, file pickers, colour choosers, printing, full
// screen and permission requests are refused; pages from the network cannot
// open local files; the context menu offers only navigation and editing; page
// dialogs are answered at once, so that they cannot hold the terminal, and a
// sign-in box goes with its page; a crashed web process brings the home page
// back; a page that cannot be reached shows a plain message and is tried again
// with growing pauses.
class BrowserControl : public controls::IBrowserControl {
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
    void ClearSession() override;
    void AllowSites(controls::SiteList sites) override;

    [[nodiscard]] GtkWidget* widget() const;
    [[nodiscard]] int pixel_width() const { return m_width; }
    [[nodiscard]] int pixel_height() const { return m_height; }
    // Called when Width or Height changes, so that the container lays out anew.
    void on_size_changed(std::function<void()> callback) { m_size_changed = std::move(callback); }
    // The page loaded again after the web process ended unexpectedly.
    void set_home_page(std::string url) { m_home_page = std::move(url); }
    // Called when a frame was kept from an address the sites do not allow.
    void on_refused(std::function<void()> callback) { m_refused = std::move(callback); }
    // Called when ClearSession put a new view in place of `old`, so that the
    // container puts it where the old one was.
    void on_view_replaced(std::function<void(GtkWidget* old)> callback) {
        m_view_replaced = std::move(callback);
    }

private:
    class Signals;
    friend class Signals;

    // Every command of the visitor ends a pending retry. A command that loads
    // is remembered until the load starts: if the page does not answer in the
    // meantime (stuck in a script loop), its web process is ended and the
    // command given again.
    static WebKitWebView* create_view();
    void run_command(std::function<void()> command);
    // Ends the web process of a page that keeps the pending command from
    // getting through, and gives the command again.
    void restart_pending_command();
    void load(const std::string& url);
    void show_unreachable(const std::string& url);
    void release_freed_memory_later();
    // Runs the guard's next step when it is due.
    void guard_later();
    // Asks the page for a sign of life; the answer goes to the guard.
    void probe();
    void cancel_probe();
    // Cancels a sign-in the page asked for, which takes its box away.
    void dismiss_authentication();

    WebKitWebView* m_view;
    WebKitAuthenticationRequest* m_authentication = nullptr;
    std::string m_home_page;
    std::string m_program_uri; // the last address the program itself asked for
    std::string m_unreachable_uri;
    bool m_loading_message = false;
    controls::RetryBackoff m_retry;
    controls::CrashRecovery m_crashes;
    controls::CommandGuard m_guard;
    sigc::connection m_guard_timer;
    GCancellable* m_probe = nullptr;
    sigc::connection m_retry_timer;
    sigc::connection m_restart_timer;
    sigc::connection m_trim_timer;
    std::function<void()> m_pending_command;
    int m_width = 193; // as designed, until the first resize
    int m_height = 193;
    std::function<void()> m_size_changed;
    std::function<void(GtkWidget*)> m_view_replaced;
    std::function<void()> m_refused;
    controls::SiteList m_sites;
};

} // namespace corvalen::platform
