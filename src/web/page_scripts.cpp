// SPDX-License-Identifier: MIT
#include "page_scripts.hpp"

#include <memory>
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

void focus_page_edge(WebKitWebView* view, bool first) {
    // The page's order of Tab: positive tab indices first, then document order.
    static constexpr std::string_view kEdge = R"(
  const all = [...document.querySelectorAll(
      'a[href], area[href], button, input, select, textarea, iframe, summary, [tabindex], ' +
      '[contenteditable]')].filter(el => el.tabIndex >= 0 && !el.disabled && el.type !== 'hidden' &&
                                       el.getClientRects().length);
  const order = all.filter(el => el.tabIndex > 0).sort((a, b) => a.tabIndex - b.tabIndex)
                   .concat(all.filter(el => el.tabIndex === 0));
  order.at(first ? 0 : -1)?.focus();
})())";
    const std::string script =
        std::string("(() => {\nconst first = ") + (first ? "true;" : "false;") + std::string(kEdge);
    run_script(view, script.c_str());
}

namespace {

// Names an element as assistive technology would: its labels, its own
// text, its text alternative; then says what it is and holds. A password
// field's value is never part of it.
constexpr std::string_view kDescribe = R"(
const squeeze = t => (t || '').replace(/\s+/g, ' ').trim();
const textOf = el => squeeze(el.innerText || el.textContent) ||
    squeeze([...el.querySelectorAll('img[alt]')].map(i => i.alt).join(' '));
const nameOf = el => {
  const ids = el.getAttribute('aria-labelledby');
  const named = ids && squeeze(ids.split(/\s+/).map(id => el.ownerDocument.getElementById(id))
                                  .filter(Boolean).map(textOf).join(' '));
  if (named) return named;
  const label = squeeze(el.getAttribute('aria-label'));
  if (label) return label;
  if (el.labels && el.labels.length) return squeeze([...el.labels].map(textOf).join(' '));
  const tag = el.tagName;
  if (tag === 'IMG' || (tag === 'INPUT' && el.type === 'image')) return squeeze(el.alt);
  if (tag === 'INPUT' && ['submit', 'reset', 'button'].includes(el.type)) return squeeze(el.value);
  if (['A', 'BUTTON', 'SUMMARY', 'OPTION'].includes(tag) || /^H[1-6]$/.test(tag)) {
    const text = textOf(el);
    if (text) return text;
  }
  return squeeze(el.title || el.placeholder);
};
const kinds = {checkbox: 'check box', radio: 'radio button', password: 'password text',
               range: 'slider', submit: 'button', reset: 'button', button: 'button',
               image: 'button'};
const roleOf = el => {
  const tag = el.tagName;
  if (el.getAttribute('role')) return el.getAttribute('role');
  if (tag === 'A') return el.hasAttribute('href') ? 'link' : '';
  if (tag === 'BUTTON' || tag === 'SUMMARY') return 'button';
  if (/^H[1-6]$/.test(tag)) return 'heading level ' + tag[1];
  if (tag === 'IMG') return 'image';
  if (tag === 'SELECT') return 'combo box';
  if (tag === 'INPUT') return kinds[el.type] || 'text';
  if (tag === 'TEXTAREA' || el.isContentEditable) return 'text';
  return '';
};
const valueOf = el => {
  if (el.tagName === 'INPUT' && ['checkbox', 'radio'].includes(el.type))
    return el.checked ? 'checked' : 'not checked';
  if (el.tagName === 'SELECT') return squeeze(el.selectedOptions[0]?.text);
  if (el.tagName === 'TEXTAREA' || (el.tagName === 'INPUT' && !kinds[el.type])) return el.value;
  return '';
};
const describe = el => [nameOf(el), roleOf(el), valueOf(el)].filter(Boolean).join(', ');
)";

// Runs in every frame: tells the program where the focus goes, what is
// typed, and (the top frame) when the page has loaded. A page cannot see or
// change this world's listeners; what it makes them hear is only its own
// content.
constexpr std::string_view kSpeaker = R"(
const say = (kind, text) => window.webkit.messageHandlers.speech.postMessage([kind, text]);
addEventListener('focusin', e => {
  if (e.target instanceof Element) say('focus', describe(e.target));
}, true);
// A page that has loaded says its title, and where the focus is, as a
// screen reader does: a visitor who cannot see knows that a link worked.
if (window === top) addEventListener('load', () => {
  const el = document.activeElement;
  say('focus', [squeeze(document.title), el && el !== document.body ? describe(el) : '']
                   .filter(Boolean).join(', '));
});
addEventListener('input', e => {
  if (e.inputType === 'insertText' && e.data)
    say('typed', e.target.type === 'password' ? '*' : e.data);
}, true);
})())";

// The text from the focused element on, images by their text alternatives,
// as far as the eye would read: nothing hidden.
constexpr std::string_view kReader = R"(
  const {doc, el} = focused();
  const root = (doc || document).body;
  if (!root) return '';
  const start = el && el !== root ? el : root;
  const walker = (doc || document).createTreeWalker(root, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT);
  const parts = [];
  let reading = start === root, length = 0;
  const add = text => {
    if (text) {
      parts.push(text);
      length += text.length;
    }
  };
  for (let node = walker.currentNode; node && length < 20000; node = walker.nextNode()) {
    if (node === start) reading = true;
    if (!reading) continue;
    if (node.nodeType === Node.ELEMENT_NODE) {
      if (node.tagName === 'SCRIPT' || node.tagName === 'STYLE' || !node.getClientRects().length)
        continue;
      if (node.tagName === 'IMG') add(squeeze(node.alt));
      if (node.tagName === 'INPUT' || node.tagName === 'SELECT' || node.tagName === 'TEXTAREA')
        add(describe(node));
    } else if (node.parentElement && node.parentElement.getClientRects().length &&
               !['SCRIPT', 'STYLE', 'TEXTAREA', 'OPTION'].includes(node.parentElement.tagName)) {
      add(squeeze(node.data));
    }
  }
  return parts.join(' ');
})())";

void speech_message(WebKitUserContentManager* /*content*/, JSCValue* message, gpointer data) {
    toolkit::guard_callback([&] {
        auto* speech = static_cast<PageSpeech*>(data);
        if (!jsc_value_is_array(message)) {
            return;
        }
        auto part = [message](unsigned index) {
            JSCValue* value = jsc_value_object_get_property_at_index(message, index);
            char* text = jsc_value_is_string(value) ? jsc_value_to_string(value) : nullptr;
            std::string result = text != nullptr ? text : "";
            g_free(text);
            g_object_unref(value);
            return result;
        };
        const std::string kind = part(0);
        const std::string text = part(1);
        if (kind == "focus" && speech->focus) {
            speech->focus(text);
        } else if (kind == "typed" && speech->typed) {
            speech->typed(text);
        }
    });
}

} // namespace

void speak_from_frames(WebKitWebView* view, PageSpeech* speech) {
    WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view);
    webkit_user_content_manager_register_script_message_handler(content, "speech", kScriptWorld);
    static const std::string source = "(() => {\n" + std::string(kDescribe) + std::string(kSpeaker);
    WebKitUserScript* script = webkit_user_script_new_for_world(
        source.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kScriptWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
    g_signal_connect(content, "script-message-received::speech", G_CALLBACK(speech_message),
                     speech);
}

void evaluate(WebKitWebView* view, const std::string& script, GCancellable* cancellable,
              std::function<void(JSCValue* value)> then) {
    using Then = std::function<void(JSCValue*)>;
    webkit_web_view_evaluate_javascript(
        view, script.c_str(), -1, kScriptWorld, nullptr, cancellable,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            const std::unique_ptr<Then> action(static_cast<Then*>(data));
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source),
                                                                         result, nullptr);
            toolkit::guard_callback([&] { (*action)(value); });
            g_clear_object(&value);
        },
        new Then(std::move(then)));
}

void read_from_focus(WebKitWebView* view, std::function<void(const std::string&)> then) {
    static const std::string script =
        std::string(kFocused) + std::string(kDescribe) + std::string(kReader);
    evaluate(view, script, nullptr, [then = std::move(then)](JSCValue* value) {
        if (value != nullptr && jsc_value_is_string(value)) {
            char* text = jsc_value_to_string(value);
            const std::string read = text;
            g_free(text);
            then(read);
        }
    });
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
