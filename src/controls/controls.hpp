// SPDX-License-Identifier: MIT
#pragma once

// What the windows need of their controls, as plain C++ interfaces: the
// windows' logic is written against these, the GTK widgets implement them,
// and tests use fakes. Sizes are in twips (15 to the logical pixel).

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "printing.hpp"
#include "site_list.hpp"

namespace corvalen::controls {

inline constexpr float kTwipsPerPixel = 15.0F;
// The toolbar's height as designed.
inline constexpr float kToolbarHeight = 480.0F;

// A length in twips as whole logical pixels, to the nearest.
inline int to_pixels(double twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

// A toolbar button as designed: its key, and its picture's index in the
// image lists, from 1.
struct ToolbarButtonDesign {
    const char* key;
    int picture;
};

class IToolbarButton {
public:
    virtual ~IToolbarButton() = default;
    // A hidden button is neither shown nor clickable; the others close up.
    virtual void Visible(bool visible) = 0;
    // What assistive technology says the button is; the picture shows it.
    virtual void AccessibleName(const std::string& name) = 0;
};

class IToolbar {
public:
    virtual ~IToolbar() = default;
    // The button with this key; throws std::out_of_range when there is none.
    virtual IToolbarButton& Buttons(const std::string& key) = 0;
};

// The embedded browser. Every call returns without waiting for a page.
class IBrowserControl {
public:
    virtual ~IBrowserControl() = default;
    virtual void Navigate(const std::string& url) = 0;
    // Whether Navigate would show `url`: a web page or file the allowed sites
    // take.
    [[nodiscard]] virtual bool Allows(const std::string& url) const = 0;
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    virtual void Stop() = 0;
    virtual void Refresh() = 0;
    virtual void Width(float twips) = 0;
    virtual void Height(float twips) = 0;
    // Forgets everything visitors left: cookies, storage, cache, logins,
    // form data, the back and forward history and the clipboard the program
    // holds. The next Navigate loads into a fresh web process.
    virtual void ClearSession() = 0;
    // From now on every frame shows only what `sites` allows; a refused
    // address loads nothing, and the page shown stays.
    virtual void AllowSites(SiteList sites) = 0;
    // The page that comes back when the web process ended unexpectedly; none
    // when empty, as before the first call.
    virtual void HomePage(const std::string& url) = 0;
    // The message shown in place of a page that cannot be reached.
    virtual void UnreachableText(const std::string& text) = 0;
    // The private memory of the web processes in kB; none when there is no
    // web process.
    virtual std::optional<std::uint64_t> WebProcessMemory() = 0;
    // Ends the web process and shows the same page in a fresh one, with the
    // back and forward history and the session as they were. False, and
    // nothing done, while a page is loading: that load is left to finish.
    virtual bool RenewWebProcess() = 0;
    // Stops whatever loads, ends the web process and loads `url` in a fresh
    // one, with the session as it was.
    virtual void ReplaceWebProcess(const std::string& url) = 0;
    // Lays the page out on `paper` as a PDF document of at most `most_pages`
    // pages (0: all); `done` gets the document, or none when the page could
    // not be printed. No dialog shows.
    virtual void PrintPage(const Paper& paper, unsigned most_pages,
                           std::function<void(std::optional<std::string>)> done) = 0;
};

// The main window's notices to visitors.
class INotice {
public:
    virtual ~INotice() = default;
    // Over the whole main window: whether a visitor is still there, with a
    // countdown and one button. While it stands it takes every click, touch
    // and key, so that none reaches the page or the toolbar.
    virtual void Show(const std::string& text, const std::string& button, int seconds_left) = 0;
    virtual void Hide() = 0;
    // A line over the page for a few seconds; it takes no input.
    virtual void Flash(const std::string& text) = 0;
    // An operator's message in the idle notice's card, over the page for
    // `seconds`; it takes no input.
    virtual void Message(const std::string& text, unsigned seconds) = 0;
};

// A window's client area.
class IClientArea {
public:
    virtual ~IClientArea() = default;
    [[nodiscard]] virtual float ScaleWidth() const = 0;
    [[nodiscard]] virtual float ScaleHeight() const = 0;
};

// The password dialog's window, built from its design when created: an empty
// text box, centred on the screen. Destroyed with the object.
class IPasswordWindow {
public:
    virtual ~IPasswordWindow() = default;
    // Shows the window modally, with the focus in the text box, and returns
    // when OK, Enter, Annuleren or Escape hid it, or when it was closed from
    // its title bar. Meanwhile no other window takes input.
    virtual void show_modal() = 0;
    // True when the window was closed from its title bar.
    [[nodiscard]] virtual bool closed() const = 0;
    // The text typed into the text box.
    [[nodiscard]] virtual std::string text() const = 0;
};

class IPasswordDialog {
public:
    virtual ~IPasswordDialog() = default;
    // True exactly when the visitor's entry equals sPassword.
    virtual bool AskPassword(std::string sPassword) = 0;
    // True exactly when the visitor's entry hashes to sHash (crypt(3)); an
    // unrecognised hash lets nobody out.
    virtual bool AskPasswordHash(std::string sHash) = 0;
};

// Services of the windowing system and runtime.
class IRuntime {
public:
    virtual ~IRuntime() = default;
    // A modal message box with the error icon and one OK button.
    virtual void MsgBoxCritical(const std::string& prompt, const std::string& title) = 0;
    // Ends the program at once: no further handler runs, nothing is saved,
    // exit status 0. The real one does not return.
    virtual void End() = 0;
    // Hides an open message box or password dialog, which then returns as
    // if cancelled.
    virtual void CloseDialogs() = 0;
};

} // namespace corvalen::controls
