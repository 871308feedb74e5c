// SPDX-License-Identifier: MIT
#include "input_method.hpp"

#include <webkit/webkit.h>

#include "toolkit/errors.hpp"

namespace corvalen::web {
namespace {

// A WebKitInputMethodContext that composes nothing: it only reports focus,
// and what the focused field asks for.
struct KeyboardContext {
    WebKitInputMethodContext parent;
    InputMethod::FocusCallback* focus;
    bool focused;
    bool digits;
};

struct KeyboardContextClass {
    WebKitInputMethodContextClass parent_class;
};

GType keyboard_context_get_type();

G_DEFINE_TYPE(KeyboardContext, keyboard_context, WEBKIT_TYPE_INPUT_METHOD_CONTEXT)

bool asks_for_digits(WebKitInputMethodContext* context) {
    const auto purpose = webkit_input_method_context_get_input_purpose(context);
    return purpose == WEBKIT_INPUT_PURPOSE_DIGITS || purpose == WEBKIT_INPUT_PURPOSE_NUMBER ||
           purpose == WEBKIT_INPUT_PURPOSE_PHONE;
}

void report_focus(WebKitInputMethodContext* context, bool focused) {
    auto* self = reinterpret_cast<KeyboardContext*>(context);
    self->focused = focused;
    self->digits = asks_for_digits(context);
    if (self->focus == nullptr) {
        return;
    }
    toolkit::guard_callback([&] { (*self->focus)(focused, self->digits); });
}

// The focus that moves straight from one field to another is no focus out
// and in: the engine only gives the context the new field's purpose. A field
// that asks for other keys is reported as a field that gained the focus, so
// that the keyboard shows its page of keys.
void on_context_purpose_notify(WebKitInputMethodContext* context, GParamSpec* /*property*/,
                               gpointer /*data*/) {
    auto* self = reinterpret_cast<KeyboardContext*>(context);
    if (self->focused && asks_for_digits(context) != self->digits) {
        report_focus(context, true);
    }
}

void keyboard_context_get_preedit(WebKitInputMethodContext* /*context*/, gchar** text,
                                  GList** underlines, guint* cursor_offset) {
    if (text != nullptr) {
        *text = g_strdup("");
    }
    if (underlines != nullptr) {
        *underlines = nullptr;
    }
    if (cursor_offset != nullptr) {
        *cursor_offset = 0;
    }
}

gboolean keyboard_context_filter_key_event(WebKitInputMethodContext* /*context*/,
                                           GdkEvent* /*event*/) {
    return FALSE; // a real keyboard types as it would without us
}

void keyboard_context_class_init(KeyboardContextClass* klass) {
    auto* context_class = WEBKIT_INPUT_METHOD_CONTEXT_CLASS(klass);
    context_class->get_preedit = keyboard_context_get_preedit;
    context_class->filter_key_event = keyboard_context_filter_key_event;
    context_class->notify_focus_in = [](WebKitInputMethodContext* context) {
        report_focus(context, true);
    };
    context_class->notify_focus_out = [](WebKitInputMethodContext* context) {
        report_focus(context, false);
    };
}

void keyboard_context_init(KeyboardContext* self) {
    self->focus = nullptr;
    self->focused = false;
    self->digits = false;
    g_signal_connect(self, "notify::input-purpose", G_CALLBACK(on_context_purpose_notify), nullptr);
}

} // namespace

InputMethod::InputMethod(FocusCallback focus) : m_focus(std::move(focus)) {}

InputMethod::~InputMethod() {
    release();
}

void InputMethod::release() {
    if (m_context != nullptr) {
        reinterpret_cast<KeyboardContext*>(m_context)->focus = nullptr;
        g_clear_object(&m_context);
    }
}

void InputMethod::attach(GtkWidget* view) {
    // A context of its own for each view: the one a replaced view had may
    // still be reached by it until it goes.
    release();
    m_context = WEBKIT_INPUT_METHOD_CONTEXT(g_object_new(keyboard_context_get_type(), nullptr));
    reinterpret_cast<KeyboardContext*>(m_context)->focus = &m_focus;
    webkit_web_view_set_input_method_context(WEBKIT_WEB_VIEW(view), m_context);
}

void InputMethod::type(const std::string& text) {
    if (m_context != nullptr) {
        g_signal_emit_by_name(m_context, "committed", text.c_str());
    }
}

void InputMethod::backspace() {
    if (m_context != nullptr) {
        g_signal_emit_by_name(m_context, "delete-surrounding", -1, 1U);
    }
}

} // namespace corvalen::web
