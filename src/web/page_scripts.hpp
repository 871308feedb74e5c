// SPDX-License-Identifier: MIT
#pragma once

// What the program asks of a page, in a script world of its own that the
// page's scripts can neither see nor change: where the focus is, an Enter
// from the on-screen keyboard, the focused field in sight.

#include <functional>
#include <string>

typedef struct _WebKitWebView WebKitWebView;
typedef struct _JSCValue JSCValue;
typedef struct _GCancellable GCancellable;

namespace corvalen::web {

inline constexpr const char* kScriptWorld = "corvalen";

// Lets every frame of `view`, of any site, take the keyboard's Enter from
// press_enter.
void wait_for_enter_in_frames(WebKitWebView* view);
// Gives the focused element, in whatever frame, an Enter, as a key would:
// key events to its handlers, then a line break in a text area or an
// editable element, or the submission of the form of a text field.
void press_enter(WebKitWebView* view);
// Scrolls the focused element into view, also after the view was resized.
void reveal_focus(WebKitWebView* view);
// Focuses the page's first element in the order of Tab, or its last.
void focus_page_edge(WebKitWebView* view, bool first);
// Runs `script` in the top frame, in the program's script world; `then`
// gets its value, or null when it failed or `cancellable` (may be null) was
// cancelled first.
void evaluate(WebKitWebView* view, const std::string& script, GCancellable* cancellable,
              std::function<void(JSCValue* value)> then);
// A script whose value tells whether a text field, or an element in a frame
// of another site, has the focus.
const std::string& field_focused_script();

// What speech hears of a page: the element that takes the focus, described
// (its name, what it is, its value), and each character typed into a field
// ('*' for a password field's).
struct PageSpeech {
    std::function<void(const std::string& description)> focus;
    std::function<void(const std::string& character)> typed;
};
// Makes every frame of `view` tell `speech`, which must outlive the view.
void speak_from_frames(WebKitWebView* view, PageSpeech* speech);
// The page's text from its focused element on (from its start when nothing
// has the focus), for `then`.
void read_from_focus(WebKitWebView* view, std::function<void(const std::string&)> then);

} // namespace corvalen::web
