// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <sigc++/connection.h>
#include <sigc++/signal.h>
#include <string>

#include "controls/controls.hpp"
#include "controls/drawing.hpp"
#include "controls/figures.hpp"
#include "controls/navigator.hpp"
#include "page_printer.hpp"
#include "page_scripts.hpp"

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitAuthenticationRequest WebKitAuthenticationRequest;
typedef struct _GCancellable GCancellable;
typedef struct _GError GError;
typedef struct _WebKitUserContentFilter WebKitUserContentFilter;

namespace corvalen::web {

// The embedded browser over a WebKitGTK web view in an ephemeral network
// session: no cookies, cache or history outlive the program, or the visitor's
// session when that is cleared.
//
// Locked down for a public terminal: new windows open in the same view, and
// only web addresses; downloads, file pickers, colour choosers, full screen
// and permission requests are refused, and printing unless the owner takes
// it; pages from the network cannot open local files; the context menu
// offers only navigation and editing; page dialogs are answered at once, so
// that they cannot hold the terminal, and a sign-in box goes with its page; a
// crashed web process brings the home page back; a page that cannot be
// reached shows a plain message and is tried again with growing pauses.
class BrowserControl : public controls::IBrowserControl {
public:
    explicit BrowserControl(controls::Drawing drawing = controls::Drawing::Cpu);
    ~BrowserControl() override;
    BrowserControl(const BrowserControl&) = delete;
    BrowserControl& operator=(const BrowserControl&) = delete;

    void Navigate(const std::string& url) override;
    [[nodiscard]] bool Allows(const std::string& url) const override;
    void GoBack() override;
    void GoForward() override;
    void Stop() override;
    void Refresh() override;
    // The size the container gives the view, in twips; never below 0.
    void Width(float twips) override;
    void Height(float twips) override;
    void ClearSession() override;
    void AllowSites(controls::SiteList sites) override;
    void HomePage(const std::string& url) override;
    void UnreachableText(const std::string& text) override;
    std::optional<std::uint64_t> WebProcessMemory() override;
    bool RenewWebProcess() override;
    void ReplaceWebProcess(const std::string& url) override;
    void PrintPage(const controls::Paper& paper, unsigned most_pages,
                   std::function<void(std::optional<std::string>)> done) override;

    [[nodiscard]] GtkWidget* widget() const;
    [[nodiscard]] int pixel_width() const { return m_width; }
    [[nodiscard]] int pixel_height() const { return m_height; }
    // Called when Width or Height changes, so that the container lays out anew.
    void on_size_changed(std::function<void()> callback) { m_size_changed = std::move(callback); }
    // Called when a frame was kept from an address the sites do not allow.
    void on_refused(std::function<void()> callback) { m_refused = std::move(callback); }
    // Called when a page asks to be printed (its print(), in any frame), or
    // print() below; without it, such asks are refused.
    void on_print(std::function<void()> callback);
    // Asks as a page's print() does; false when nobody takes prints.
    bool print();
    // Called when the view finished showing a page, or the message in place
    // of one that cannot be reached, with its address.
    void on_shown(std::function<void(const std::string& uri)> callback) {
        m_shown = std::move(callback);
    }
    // What it counted since the program started, and what it shows.
    [[nodiscard]] const controls::BrowserFigures& figures() const { return m_figures; }
    // Emitted when ClearSession put a new view in place of `old`, so that the
    // container puts it where the old one was.
    sigc::signal<void(GtkWidget* old)>& signal_view_replaced() { return m_view_replaced; }
    // Gives the page's focused element, in whatever frame, an Enter, as a key
    // would: key events to its handlers, then a line break in a text area or
    // an editable element, or the submission of the form of a text field.
    void press_enter();
    // Scrolls the page's focused element into view, also after the view was
    // resized.
    void reveal_focus();
    // Focuses the page's first element in the order of Tab, or its last.
    void focus_edge(bool first);
    // Calls `then` once the page has handled the input before this call, if
    // a text field (or an element in a frame of another site) has the focus.
    void when_field_focused(std::function<void()> then);
    // From now on, also in the views after this one, the page tells
    // `speech` where its focus goes and what is typed into it.
    void speak_page(PageSpeech speech);
    // The page's text from its focused element on, for `then`.
    void read_page(std::function<void(const std::string&)> then);
    // The page's zoom: 1 for 100 %. A new view starts at 1.
    void zoom(double level);
    [[nodiscard]] double zoom() const;

private:
    class Signals;
    friend class Signals;

    // A view for this control: with the page scripts, and the filter once
    // there is one.
    [[nodiscard]] WebKitWebView* new_view() const;
    // Gives a visitor's command to the navigator, and does what it says; with
    // `fresh_process`, in a new web process, as for a page that cannot answer.
    void command(controls::Navigator::Command command, bool fresh_process = false);
    void apply(const controls::Navigator::Steps& steps);
    // Runs the navigator's next step when it is due.
    void schedule();
    void show_unreachable(const std::string& url);
    void release_freed_memory_later();
    // Asks the page for a sign of life; the answer goes to the navigator.
    void probe();
    // Cancels a sign-in the page asked for, which takes its box away.
    void dismiss_authentication();
    // Holds every request of the view's pages to the allowed sites, through
    // a content filter of the engine's; commands wait until it is in place.
    void filter_requests();
    static void filter_failed(GError* error);

    controls::Drawing m_drawing;
    // Before the view, which is made with the filter.
    GCancellable* m_filter_pending = nullptr;
    WebKitUserContentFilter* m_filter = nullptr;
    WebKitWebView* m_view;
    WebKitAuthenticationRequest* m_authentication = nullptr;
    controls::Navigator m_navigator;
    sigc::connection m_timer;
    GCancellable* m_probe = nullptr;
    GCancellable* m_field_check = nullptr;
    sigc::connection m_trim_timer;
    std::string m_unreachable_text;
    int m_width = 193; // as designed, until the first resize
    int m_height = 193;
    std::function<void()> m_size_changed;
    sigc::signal<void(GtkWidget*)> m_view_replaced;
    std::function<void()> m_refused;
    std::function<void(const std::string&)> m_shown;
    controls::BrowserFigures m_figures;
    controls::SiteList m_sites;
    std::optional<controls::Navigator::Command> m_held; // given while the filter was made
    std::unique_ptr<PageSpeech> m_page_speech;          // where every view's pages speak
    std::function<void()> m_print;
    std::unique_ptr<PagePrinter> m_printer;
};

} // namespace corvalen::web
