// SPDX-License-Identifier: MIT
#include "page_scripts.hpp"

#include <string_view>
#include <webkit/webkit.h>

#include "toolkit/errors.hpp"

namespace corvalen::web {
namespace {

// The start of a script about the element with the focus, down through
// frames: `focused()` gives it with its document, or `foreign` when it lies in
// a frame of another site, whose document cannot be seen. The script goes on
// inside the same function, so that nothing stays in the world's scope.
constexpr std::string_view kFocused = R"(
(() => {
const focused = () => {
  let doc = document, el = doc.activeElement;
  while (el && (el.tagName === 'IFRAME' || el.tagName === 'FRAME')) {
    doc = el.contentDocument;
    if (!doc) return {foreign: true};
    el = doc.activeElement;
  }
  return {doc, el};
};
)";

void run_script(WebKitWebView* view, const char* script) {
    // In a world of its own, which the page's scripts cannot change.
    webkit_web_view_evaluate_javascript(view, script, -1, kScriptWorld, nullptr, nullptr, nullptr,
                                        nullptr);
}

// A function `enter()` that gives the focused element an Enter, as a key
// would: key events to its handlers, then a line break in a text area or an
// editable element, or the submission of the form of a text field.
constexpr std::string_view kEnter = R"(
const enter = () => {
  const {doc, el} = focused();
  if (!el || el === doc.body) return;
  const init = {key: 'Enter', code: 'Enter', keyCode: 13, which: 13, bubbles: true,
                cancelable: true};
  if (el.dispatchEvent(new KeyboardEvent('keydown', init)) &&
      el.dispatchEvent(new KeyboardEvent('keypress', init))) {
    if (el.isContentEditable || el.tagName === 'TEXTAREA') {
      doc.execCommand('insertLineBreak');
    } else if (el.form) {
      const button = el.form.querySelector(
          'button:not([type]):not([disabled]), [type=submit]:not([disabled])');
      if (button) button.click(); else el.form.requestSubmit();
    }
  }
  el.dispatchEvent(new KeyboardEvent('keyup', init));
};
)";

// Runs in every frame. The program can run a script in the top frame only,
// but it can answer a message of any frame: so the one frame that sees the
// focused element (the top frame, or one whose parent is of another site)
// asks for the keyboard's Enter while the focus lies there, and gives it when
// the answer says so.
constexpr std::string_view kEnterWaiter = R"(
const root = (() => {
  try {
    return window === window.top || !parent.document;
  } catch (e) {
    return true;
  }
})();
const ours = () => root && document.hasFocus() && !focused().foreign;
let waiting = false;
const wait = () => {
  if (waiting || !ours()) return;
  waiting = true;
  window.webkit.messageHandlers.enter.postMessage(null).then(pressed => {
    waiting = false;
    if (pressed && ours()) enter();
    wait();
  }, () => {
    waiting = false;
  });
};
addEventListener('focus', wait, true);
wait();
})())";

constexpr const char* kEnterWaiting = "corvalen-enter-waiting";

// The frame that waits for the keyboard's Enter: its request, to answer, and
// what it asked with, whose context makes the answer.
struct EnterWaiting {
    WebKitScriptMessageReply* reply;
    JSCValue* message;

    static void answer(gpointer data, bool pressed) {
        auto* waiting = static_cast<EnterWaiting*>(data);
        JSCValue* value = jsc_value_new_boolean(jsc_value_get_context(waiting->message), pressed);
        webkit_script_message_reply_return_value(waiting->reply, value);
        g_object_unref(value);
        release(waiting);
    }

    static void release(gpointer data) {
        auto* waiting = static_cast<EnterWaiting*>(data);
        webkit_script_message_reply_unref(waiting->reply);
        g_object_unref(waiting->message);
        delete waiting;
    }
};

} // namespace

void wait_for_enter_in_frames(WebKitWebView* view) {
    WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view);
    webkit_user_content_manager_register_script_message_handler_with_reply(content, "enter",
                                                                           kScriptWorld);
    static const std::string source =
        std::string(kFocused) + std::string(kEnter) + std::string(kEnterWaiter);
    WebKitUserScript* script = webkit_user_script_new_for_world(
        source.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kScriptWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
    // The frame that asks now is the one with the focus; the one that asked
    // before is let go.
    g_signal_connect_object(
        content, "script-message-with-reply-received::enter",
        G_CALLBACK(+[](WebKitUserContentManager* /*content*/, JSCValue* message,
                       WebKitScriptMessageReply* reply, WebKitWebView* asked) -> gboolean {
            toolkit::guard_callback([&] {
                auto* waiting = new EnterWaiting{webkit_script_message_reply_ref(reply),
                                                 JSC_VALUE(g_object_ref(message))};
                if (gpointer before = g_object_steal_data(G_OBJECT(asked), kEnterWaiting)) {
                    EnterWaiting::answer(before, false);
                }
                g_object_set_data_full(G_OBJECT(asked), kEnterWaiting, waiting,
                                       EnterWaiting::release);
            });
            return TRUE;
        }),
        view, static_cast<GConnectFlags>(0));
}

void press_enter(WebKitWebView* view) {
    if (gpointer waiting = g_object_steal_data(G_OBJECT(view), kEnterWaiting)) {
        EnterWaiting::answer(waiting, true);
        return;
    }
    // No frame waits (as when the focus lies in a frame no script runs in):
    // the top frame looks for the focus itself.
    static const std::string script =
        std::string(kFocused) + std::string(kEnter) + "enter();\n})()";
    run_script(view, script.c_str());
}

void reveal_focus(WebKitWebView* view) {
    run_script(view, R"(
(() => {
  const reveal = () => {
    const el = document.activeElement;
    if (el && el !== document.body) el.scrollIntoView({block: 'nearest'});
  };
  addEventListener('resize', reveal, {once: true});
  reveal();
})())");
}

const std::string& field_focused_script() {
    static const std::string script = std::string(kFocused) + R"(
  const {foreign, el} = focused();
  if (foreign) return true;
  const plain = ['button', 'checkbox', 'color', 'file', 'hidden', 'image', 'radio', 'range',
                 'reset', 'submit'];
  return !!el && (el.isContentEditable || el.tagName === 'TEXTAREA' ||
                  (el.tagName === 'INPUT' && !plain.includes(el.type)));
})())";
    return script;
}

} // namespace corvalen::web
