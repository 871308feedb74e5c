// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitInputMethodContext WebKitInputMethodContext;

namespace corvalen::web {

// The web view's input method, in place of the toolkit's: it learns when a
// text field of the page gains or loses the focus, and types into it what
// the on-screen keyboard gives. Keys from a real keyboard pass through to
// the page unchanged.
class InputMethod {
public:
    // `focus` is told true with `digits` when a text field gains the focus,
    // or the focus moves straight on to a field that asks for other keys;
    // false when it loses it.
    using FocusCallback = std::function<void(bool focused, bool digits)>;

    explicit InputMethod(FocusCallback focus);
    ~InputMethod();
    InputMethod(const InputMethod&) = delete;
    InputMethod& operator=(const InputMethod&) = delete;

    // Takes the text input of `view` from now on, and no other view's.
    void attach(GtkWidget* view);
    void type(const std::string& text);
    // Deletes the character before the caret.
    void backspace();

private:
    void release();

    WebKitInputMethodContext* m_context = nullptr;
    FocusCallback m_focus;
};

} // namespace corvalen::web
