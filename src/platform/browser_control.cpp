// SPDX-License-Identifier: MIT
#include "browser_control.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <glibmm/main.h>
#include <malloc.h>
#include <memory>
#include <string_view>
#include <type_traits>
#include <unistd.h>
#include <utility>
#include <webkit/webkit.h>

#include "controls/memory.hpp"
#include "errors.hpp"

namespace corvalen::platform {
namespace {

using Clock = controls::Navigator::Clock;
using Kind = controls::Navigator::Command::Kind;

// The only context menu entries a visitor gets.
constexpr std::array kAllowedMenuActions{
    WEBKIT_CONTEXT_MENU_ACTION_GO_BACK, WEBKIT_CONTEXT_MENU_ACTION_GO_FORWARD,
    WEBKIT_CONTEXT_MENU_ACTION_STOP,    WEBKIT_CONTEXT_MENU_ACTION_RELOAD,
    WEBKIT_CONTEXT_MENU_ACTION_CUT,     WEBKIT_CONTEXT_MENU_ACTION_COPY,
    WEBKIT_CONTEXT_MENU_ACTION_PASTE,   WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL,
};

// Shown in place of a page that cannot be reached, with `text` in the middle.
std::string unreachable_page(const std::string& text) {
    char* escaped = g_markup_escape_text(text.c_str(), -1);
    std::string page = R"(<!doctype html>
<html><head><meta charset="utf-8"><style>
html, body { height: 100%; margin: 0; }
body { display: flex; align-items: center; justify-content: center;
       background: #f6f5f4; color: #2e3436; font: 20px sans-serif; text-align: center; }
p { max-width: 24em; }
</style></head><body><p>)";
    page += escaped;
    page += "</p></body></html>";
    g_free(escaped);
    return page;
}

// The memory limit the engine works to in every web and network process:
// from a third of it on, it drops caches it can rebuild, from half of it on,
// everything it can. A quarter of the machine's memory, within bounds that
// leave a large page room and keep a kiosk that runs for weeks from growing
// to fill the machine (the engine's own limit is all of it).
WebKitMemoryPressureSettings* memory_pressure_settings() {
    constexpr std::uint64_t kLeast = 384;
    constexpr std::uint64_t kMost = 1024;
    const auto pages = sysconf(_SC_PHYS_PAGES);
    const auto page_size = sysconf(_SC_PAGE_SIZE);
    const std::uint64_t machine =
        pages > 0 && page_size > 0
            ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size) >> 20
            : 0;
    WebKitMemoryPressureSettings* settings = webkit_memory_pressure_settings_new();
    webkit_memory_pressure_settings_set_memory_limit(
        settings, static_cast<guint>(std::clamp(machine / 4, kLeast, kMost)));
    return settings;
}

// The web context all views share: the engine's default one, but for the
// memory limit, which can only be given as a context is made.
WebKitWebContext* web_context() {
    static WebKitWebContext* context = [] {
        WebKitMemoryPressureSettings* settings = memory_pressure_settings();
        webkit_network_session_set_memory_pressure_settings(settings);
        auto* made = WEBKIT_WEB_CONTEXT(
            g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "memory-pressure-settings", settings, nullptr));
        webkit_memory_pressure_settings_free(settings);
        return made;
    }();
    return context;
}

std::string view_uri(WebKitWebView* view) {
    const char* uri = webkit_web_view_get_uri(view);
    return uri != nullptr ? uri : "";
}

bool is_attachment(WebKitURIResponse* response) {
    SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
    const char* disposition =
        headers != nullptr ? soup_message_headers_get_one(headers, "Content-Disposition") : nullptr;
    return disposition != nullptr && g_ascii_strncasecmp(disposition, "attachment", 10) == 0;
}

} // namespace

// The entry point for C of a signal handler that runs the program's own code:
// no exception may unwind through the engine's frames, so one that leaves the
// handler is reported and a default value returned (FALSE: the engine's own
// handling; no new view).
template <auto Handler> struct Guarded;

template <typename Result, typename... Args, Result (*Handler)(Args...)> struct Guarded<Handler> {
    static Result call(Args... args) noexcept {
        if constexpr (std::is_void_v<Result>) {
            guard_callback([&] { Handler(args...); });
        } else {
            return guard_callback([&] { return Handler(args...); }, Result{});
        }
    }
};

// The web view's signal handlers; each gets the control as its data.
class BrowserControl::Signals {
public:
    static void connect(BrowserControl* control) {
        WebKitWebView* view = control->m_view;
        g_signal_connect(view, "decide-policy", G_CALLBACK(decide_policy), control);
        g_signal_connect(view, "create", G_CALLBACK((Guarded<&create>::call)), control);
        g_signal_connect(view, "context-menu", G_CALLBACK(context_menu), nullptr);
        g_signal_connect(view, "run-file-chooser", G_CALLBACK(run_file_chooser), nullptr);
        g_signal_connect(view, "run-color-chooser", G_CALLBACK(run_color_chooser), nullptr);
        g_signal_connect(view, "authenticate", G_CALLBACK(authenticate), control);
        g_signal_connect(view, "print", G_CALLBACK(refuse), nullptr);
        g_signal_connect(view, "enter-fullscreen", G_CALLBACK(refuse), nullptr);
        g_signal_connect(view, "leave-fullscreen", G_CALLBACK(refuse), nullptr);
        g_signal_connect(view, "permission-request", G_CALLBACK(permission_request), nullptr);
        g_signal_connect(view, "script-dialog", G_CALLBACK(script_dialog), control);
        g_signal_connect(view, "web-process-terminated",
                         G_CALLBACK((Guarded<&web_process_terminated>::call)), control);
        g_signal_connect(view, "load-failed", G_CALLBACK((Guarded<&load_failed>::call)), control);
        g_signal_connect(view, "load-failed-with-tls-errors", G_CALLBACK(tls_failed), nullptr);
        g_signal_connect(view, "load-changed", G_CALLBACK((Guarded<&load_changed>::call)), control);
        g_signal_connect(view, "notify::is-web-process-responsive",
                         G_CALLBACK((Guarded<&responsiveness_changed>::call)), control);
        g_signal_connect(webkit_web_view_get_network_session(view), "download-started",
                         G_CALLBACK(download_started), nullptr);
    }

private:
    // Loads a request for a new window in this view instead, if allowed. The
    // engine would treat that load as the program's own, which it does not
    // restrict, so the page's address rules are applied here.
    static void load_here(BrowserControl* control, WebKitNavigationAction* action) {
        const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        if (uri != nullptr && controls::allows_new_window(view_uri(control->m_view), uri)) {
            webkit_web_view_load_request(control->m_view,
                                         webkit_navigation_action_get_request(action));
        }
    }

    // Connected directly: a decision that cannot be made is a refusal.
    static gboolean decide_policy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                  WebKitPolicyDecisionType type, BrowserControl* control) noexcept {
        try {
            return decide(view, decision, type, control);
        } catch (...) {
            report_current_exception();
            webkit_policy_decision_ignore(decision);
            return TRUE;
        }
    }

    static gboolean decide(WebKitWebView* view, WebKitPolicyDecision* decision,
                           WebKitPolicyDecisionType type, BrowserControl* control) {
        switch (type) {
        case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION: {
            WebKitNavigationAction* action =
                webkit_navigation_policy_decision_get_navigation_action(
                    WEBKIT_NAVIGATION_POLICY_DECISION(decision));
            const char* uri =
                webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
            const std::string target = uri != nullptr ? uri : "";
            // While the visitor's command is on its way (and after Stop), the
            // page's own navigations wait.
            const auto kind = webkit_navigation_action_get_navigation_type(action);
            const bool program_load = control->m_navigator.requested(target);
            const bool ours = program_load || kind == WEBKIT_NAVIGATION_TYPE_BACK_FORWARD ||
                              kind == WEBKIT_NAVIGATION_TYPE_RELOAD ||
                              webkit_navigation_action_is_redirect(action);
            if (!control->m_navigator.allows(ours,
                                             webkit_navigation_action_is_user_gesture(action))) {
                webkit_policy_decision_ignore(decision);
                return TRUE;
            }
            // Whether a frame or the page navigates is not told here: about:blank
            // passes for both, and a page left blank is no way out.
            if (!control->m_sites.allows(target, false)) {
                return refuse_site(control, decision);
            }
            if (!controls::allows_navigation(view_uri(view), target, program_load)) {
                webkit_policy_decision_ignore(decision);
                return TRUE;
            }
            return FALSE;
        }
        case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION:
            load_here(control, webkit_navigation_policy_decision_get_navigation_action(
                                   WEBKIT_NAVIGATION_POLICY_DECISION(decision)));
            webkit_policy_decision_ignore(decision);
            return TRUE;
        case WEBKIT_POLICY_DECISION_TYPE_RESPONSE: {
            // What the engine cannot show would become a download: refuse it.
            auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
            // Where a frame's document comes from after every redirect.
            const char* uri =
                webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response));
            if (!control->m_sites.allows(
                    uri != nullptr ? uri : "",
                    webkit_response_policy_decision_is_main_frame_main_resource(response))) {
                return refuse_site(control, decision);
            }
            const bool attachment =
                is_attachment(webkit_response_policy_decision_get_response(response));
            if (attachment || !webkit_response_policy_decision_is_mime_type_supported(response)) {
                webkit_policy_decision_ignore(decision);
                return TRUE;
            }
            return FALSE;
        }
        }
        return FALSE;
    }

    static gboolean refuse_site(BrowserControl* control, WebKitPolicyDecision* decision) {
        webkit_policy_decision_ignore(decision);
        if (control->m_refused) {
            control->m_refused();
        }
        return TRUE;
    }

    static GtkWidget* create(WebKitWebView* /*view*/, WebKitNavigationAction* action,
                             BrowserControl* control) {
        load_here(control, action);
        return nullptr;
    }

    static gboolean context_menu(WebKitWebView* /*view*/, WebKitContextMenu* menu,
                                 WebKitHitTestResult* /*hit*/, gpointer /*data*/) {
        GList* items = g_list_copy(webkit_context_menu_get_items(menu));
        for (GList* item = items; item != nullptr; item = item->next) {
            auto* entry = WEBKIT_CONTEXT_MENU_ITEM(item->data);
            const auto action = webkit_context_menu_item_get_stock_action(entry);
            if (std::find(kAllowedMenuActions.begin(), kAllowedMenuActions.end(), action) ==
                kAllowedMenuActions.end()) {
                webkit_context_menu_remove(menu, entry);
            }
        }
        g_list_free(items);
        return webkit_context_menu_get_n_items(menu) == 0 ? TRUE : FALSE;
    }

    static gboolean run_file_chooser(WebKitWebView* /*view*/, WebKitFileChooserRequest* request,
                                     gpointer /*data*/) {
        webkit_file_chooser_request_cancel(request);
        return TRUE;
    }

    // The engine's colour chooser is a toolkit dialog of its own, a second
    // window over the toolbar that remembers colours: a colour input keeps
    // its value instead.
    static gboolean run_color_chooser(WebKitWebView* /*view*/, WebKitColorChooserRequest* request,
                                      gpointer /*data*/) {
        webkit_color_chooser_request_cancel(request);
        return TRUE;
    }

    // The engine asks for a sign-in inside the view. The request is kept, so
    // that leaving the page cancels it and takes its box away.
    static gboolean authenticate(WebKitWebView* /*view*/, WebKitAuthenticationRequest* request,
                                 BrowserControl* control) {
        control->dismiss_authentication();
        control->m_authentication = WEBKIT_AUTHENTICATION_REQUEST(g_object_ref(request));
        g_signal_connect(request, "authenticated", G_CALLBACK(authenticated), control);
        g_signal_connect(request, "cancelled", G_CALLBACK(authentication_ended), control);
        return FALSE;
    }

    static void authenticated(WebKitAuthenticationRequest* request, WebKitCredential* /*given*/,
                              BrowserControl* control) {
        authentication_ended(request, control);
    }

    static void authentication_ended(WebKitAuthenticationRequest* request,
                                     BrowserControl* control) {
        if (request == control->m_authentication) {
            g_signal_handlers_disconnect_by_data(request, control);
            control->m_authentication = nullptr;
            g_object_unref(request);
        }
    }

    static gboolean refuse(WebKitWebView* /*view*/, gpointer /*data*/) { return TRUE; }

    static gboolean permission_request(WebKitWebView* /*view*/, WebKitPermissionRequest* request,
                                       gpointer /*data*/) {
        webkit_permission_request_deny(request);
        return TRUE;
    }

    // Answered at once: nobody stands at a terminal to dismiss a page's
    // dialogs, and an open one would keep "home" from working. Leaving a page
    // is always allowed. A page that keeps opening dialogs while the visitor's
    // command waits is busy in a loop that the command cannot get through.
    static gboolean script_dialog(WebKitWebView* /*view*/, WebKitScriptDialog* dialog,
                                  BrowserControl* control) {
        guard_callback([control] {
            control->m_navigator.page_dialog(Clock::now());
            control->schedule();
        });
        switch (webkit_script_dialog_get_dialog_type(dialog)) {
        case WEBKIT_SCRIPT_DIALOG_CONFIRM:
            webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
            break;
        case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
            webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
            break;
        case WEBKIT_SCRIPT_DIALOG_ALERT:
        case WEBKIT_SCRIPT_DIALOG_PROMPT:
            break;
        }
        return TRUE;
    }

    static void web_process_terminated(WebKitWebView* /*view*/,
                                       WebKitWebProcessTerminationReason reason,
                                       BrowserControl* control) {
        if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) {
            return; // our own doing: a command follows
        }
        control->m_navigator.crashed(Clock::now());
        control->schedule();
    }

    static gboolean tls_failed(WebKitWebView* /*view*/, const char* /*uri*/,
                               GTlsCertificate* /*certificate*/, GTlsCertificateFlags /*errors*/,
                               gpointer /*data*/) {
        return FALSE; // the engine's error page, with no way to go on
    }

    static gboolean load_failed(WebKitWebView* /*view*/, WebKitLoadEvent /*event*/,
                                const char* failing_uri, GError* error, BrowserControl* control) {
        const std::string uri = failing_uri != nullptr ? failing_uri : "";
        const bool cancelled =
            g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
            error->domain == WEBKIT_POLICY_ERROR || error->domain == G_TLS_ERROR;
        if (cancelled || !control->m_navigator.unreachable(uri, Clock::now())) {
            return FALSE;
        }
        control->show_unreachable(uri);
        control->schedule();
        return TRUE;
    }

    static void load_changed(WebKitWebView* /*view*/, WebKitLoadEvent event,
                             BrowserControl* control) {
        if (event == WEBKIT_LOAD_COMMITTED) {
            control->m_navigator.committed();
            control->schedule();
        } else if (event == WEBKIT_LOAD_FINISHED) {
            control->m_navigator.finished();
            control->release_freed_memory_later();
        }
    }

    // A page that stops answering while the visitor's command waits is
    // ended, and the command given again to a fresh web process.
    static void responsiveness_changed(WebKitWebView* view, GParamSpec* /*property*/,
                                       BrowserControl* control) {
        if (!webkit_web_view_get_is_web_process_responsive(view)) {
            control->apply(control->m_navigator.unresponsive());
        }
    }

    static void download_started(WebKitNetworkSession* /*session*/, WebKitDownload* download,
                                 gpointer /*data*/) {
        webkit_download_cancel(download);
    }
};

BrowserControl::BrowserControl(controls::Drawing drawing)
    : m_drawing(drawing), m_view(create_view()) {
    Signals::connect(this);
}

WebKitWebView* BrowserControl::create_view() const {
    // The context first: it gives the network process its limit, which
    // applies to sessions made after it.
    WebKitWebContext* context = web_context();
    WebKitNetworkSession* session = webkit_network_session_new_ephemeral();
    auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                              "network-session", session, nullptr));
    g_object_unref(session);
    g_object_ref_sink(view);

    // Said explicitly, so that a change of the engine's defaults cannot
    // reopen what a kiosk must keep shut.
    WebKitSettings* settings = webkit_web_view_get_settings(view);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_enable_fullscreen(settings, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
    // Without a GPU, pages are drawn on the CPU without GL compositing: on
    // software GL the compositor only adds start-up time and memory to the
    // web process (bench/RESULTS.md). Pages, WebGL included, render the same.
    // With one, pages are composited on it, as the engine does by default:
    // video and scrolling stay smooth.
    webkit_settings_set_hardware_acceleration_policy(
        settings, m_drawing == controls::Drawing::Gpu ? WEBKIT_HARDWARE_ACCELERATION_POLICY_ALWAYS
                                                      : WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    webkit_network_session_set_tls_errors_policy(webkit_web_view_get_network_session(view),
                                                 WEBKIT_TLS_ERRORS_POLICY_FAIL);
    wait_for_enter_in_frames(view);
    return view;
}

BrowserControl::~BrowserControl() {
    dismiss_authentication();
    m_timer.disconnect();
    cancel_probe();
    cancel_field_check();
    m_trim_timer.disconnect();
    if (m_filter_pending != nullptr) {
        g_cancellable_cancel(m_filter_pending);
        g_object_unref(m_filter_pending);
    }
    if (m_filter != nullptr) {
        webkit_user_content_filter_unref(m_filter);
    }
    g_signal_handlers_disconnect_by_data(m_view, this);
    if (gtk_widget_get_parent(GTK_WIDGET(m_view)) != nullptr) {
        gtk_widget_unparent(GTK_WIDGET(m_view));
    }
    g_object_unref(m_view);
}

void BrowserControl::release_freed_memory_later() {
    // A terminal spends most of its time showing a loaded page. Once that has
    // been drawn, the frame buffers GTK's cairo renderer allocated and freed
    // (a few MB each at full screen) go back to the system instead of staying
    // in this process's heap (bench/RESULTS.md).
    m_trim_timer.disconnect();
    m_trim_timer = Glib::signal_timeout().connect_seconds(
        [] {
            malloc_trim(0);
            return false;
        },
        1);
}

GtkWidget* BrowserControl::widget() const {
    return GTK_WIDGET(m_view);
}

void BrowserControl::dismiss_authentication() {
    if (m_authentication != nullptr) {
        WebKitAuthenticationRequest* request = std::exchange(m_authentication, nullptr);
        g_signal_handlers_disconnect_by_data(request, this);
        webkit_authentication_request_cancel(request);
        g_object_unref(request);
    }
}

void BrowserControl::command(controls::Navigator::Command command, bool fresh_process) {
    // Nothing loads before every request can be held to the allowed sites.
    if (m_filter_pending != nullptr) {
        m_held = std::move(command);
        return;
    }
    dismiss_authentication();
    const bool responsive =
        !fresh_process && webkit_web_view_get_is_web_process_responsive(m_view) != FALSE;
    apply(m_navigator.command(std::move(command), Clock::now(), responsive));
}

void BrowserControl::apply(const controls::Navigator::Steps& steps) {
    if (steps.end_web_process) {
        cancel_probe();
        webkit_web_view_terminate_web_process(m_view);
    }
    if (steps.run) {
        switch (steps.run->kind) {
        case Kind::Load:
            webkit_web_view_load_uri(m_view, steps.run->url.c_str());
            break;
        case Kind::Back:
            webkit_web_view_go_back(m_view);
            break;
        case Kind::Forward:
            webkit_web_view_go_forward(m_view);
            break;
        case Kind::Reload:
            webkit_web_view_reload(m_view);
            break;
        }
    }
    if (steps.probe) {
        probe();
    }
    schedule();
}

void BrowserControl::schedule() {
    m_timer.disconnect();
    const auto delay = m_navigator.next_tick(Clock::now());
    if (!delay) {
        return;
    }
    m_timer = Glib::signal_timeout().connect(
        [this] {
            m_timer = sigc::connection(); // this one ends as it returns
            apply(m_navigator.tick(Clock::now()));
            return false;
        },
        static_cast<unsigned>(std::chrono::ceil<std::chrono::milliseconds>(*delay).count()));
}

void BrowserControl::probe() {
    cancel_probe();
    m_probe = g_cancellable_new();
    webkit_web_view_evaluate_javascript(
        m_view, "0", -1, nullptr, nullptr, m_probe,
        [](GObject* view, GAsyncResult* result, gpointer data) {
            GError* error = nullptr;
            JSCValue* value =
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
            if (value != nullptr) {
                g_object_unref(value);
            }
            const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
            g_clear_error(&error);
            if (cancelled) {
                return; // the control may be gone
            }
            auto* control = static_cast<BrowserControl*>(data);
            guard_callback([control] {
                control->m_navigator.answered(Clock::now(),
                                              webkit_web_view_is_loading(control->m_view) != FALSE);
                control->schedule();
            });
        },
        this);
}

void BrowserControl::cancel_probe() {
    if (m_probe != nullptr) {
        g_cancellable_cancel(m_probe);
        g_clear_object(&m_probe);
    }
}

void BrowserControl::show_unreachable(const std::string& url) {
    webkit_web_view_load_alternate_html(m_view, unreachable_page(m_unreachable_text).c_str(),
                                        url.c_str(), nullptr);
}

void BrowserControl::Navigate(const std::string& url) {
    command({Kind::Load, url});
}

void BrowserControl::GoBack() {
    command({Kind::Back, {}});
}

void BrowserControl::GoForward() {
    command({Kind::Forward, {}});
}

void BrowserControl::Stop() {
    m_navigator.stop();
    schedule();
    webkit_web_view_stop_loading(m_view);
}

void BrowserControl::Refresh() {
    command({Kind::Reload, view_uri(m_view)});
}

void BrowserControl::HomePage(const std::string& url) {
    m_navigator.home_page(url);
}

std::optional<std::uint64_t> BrowserControl::WebProcessMemory() {
    return controls::web_process_memory("/proc", getpid());
}

bool BrowserControl::RenewWebProcess() {
    // A process ended in the middle of a load leaves no page to load again.
    if (webkit_web_view_is_loading(m_view) != FALSE) {
        return false;
    }
    // The page is loaded again, from the same place in the history.
    command({Kind::Reload, view_uri(m_view)}, true);
    return true;
}

void BrowserControl::ReplaceWebProcess(const std::string& url) {
    webkit_web_view_stop_loading(m_view);
    command({Kind::Load, url}, true);
}

void BrowserControl::UnreachableText(const std::string& text) {
    m_unreachable_text = text;
}

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

void BrowserControl::run_script(const char* script) {
    // In a world of its own, which the page's scripts cannot change.
    webkit_web_view_evaluate_javascript(m_view, script, -1, "corvalen", nullptr, nullptr, nullptr,
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

namespace {

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

void BrowserControl::wait_for_enter_in_frames(WebKitWebView* view) {
    WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view);
    webkit_user_content_manager_register_script_message_handler_with_reply(content, "enter",
                                                                           "corvalen");
    static const std::string source =
        std::string(kFocused) + std::string(kEnter) + std::string(kEnterWaiter);
    WebKitUserScript* script = webkit_user_script_new_for_world(
        source.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, "corvalen", nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
    // The frame that asks now is the one with the focus; the one that asked
    // before is let go.
    g_signal_connect_object(
        content, "script-message-with-reply-received::enter",
        G_CALLBACK(+[](WebKitUserContentManager* /*content*/, JSCValue* message,
                       WebKitScriptMessageReply* reply, WebKitWebView* asked) -> gboolean {
            guard_callback([&] {
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

void BrowserControl::press_enter() {
    if (gpointer waiting = g_object_steal_data(G_OBJECT(m_view), kEnterWaiting)) {
        EnterWaiting::answer(waiting, true);
        return;
    }
    // No frame waits (as when the focus lies in a frame no script runs in):
    // the top frame looks for the focus itself.
    static const std::string script =
        std::string(kFocused) + std::string(kEnter) + "enter();\n})()";
    run_script(script.c_str());
}

void BrowserControl::reveal_focus() {
    run_script(R"(
(() => {
  const reveal = () => {
    const el = document.activeElement;
    if (el && el !== document.body) el.scrollIntoView({block: 'nearest'});
  };
  addEventListener('resize', reveal, {once: true});
  reveal();
})())");
}

void BrowserControl::when_field_focused(std::function<void()> then) {
    static const std::string script = std::string(kFocused) + R"(
  const {foreign, el} = focused();
  if (foreign) return true;
  const plain = ['button', 'checkbox', 'color', 'file', 'hidden', 'image', 'radio', 'range',
                 'reset', 'submit'];
  return !!el && (el.isContentEditable || el.tagName === 'TEXTAREA' ||
                  (el.tagName === 'INPUT' && !plain.includes(el.type)));
})())";
    cancel_field_check();
    m_field_check = g_cancellable_new();
    auto* callback = new std::function<void()>(std::move(then));
    webkit_web_view_evaluate_javascript(
        m_view, script.c_str(), -1, "corvalen", nullptr, m_field_check,
        [](GObject* view, GAsyncResult* result, gpointer data) {
            const std::unique_ptr<std::function<void()>> action(
                static_cast<std::function<void()>*>(data));
            JSCValue* value =
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
            const bool focused = value != nullptr && jsc_value_to_boolean(value);
            g_clear_object(&value);
            if (focused) {
                guard_callback([&action] { (*action)(); });
            }
        },
        callback);
}

void BrowserControl::cancel_field_check() {
    if (m_field_check != nullptr) {
        g_cancellable_cancel(m_field_check);
        g_clear_object(&m_field_check);
    }
}

void BrowserControl::ClearSession() {
    dismiss_authentication();
    m_navigator.clear();
    m_timer.disconnect();
    cancel_probe();
    cancel_field_check();

    // A new view in a new ephemeral network session: the old session's
    // cookies, storage, cache, service workers and logins go with it, and so
    // does the back and forward list, which no call empties.
    WebKitWebView* old = m_view;
    const bool had_focus = gtk_widget_is_focus(GTK_WIDGET(old)) != FALSE;
    g_signal_handlers_disconnect_by_data(old, this);
    webkit_web_view_terminate_web_process(old);
    m_view = create_view();
    apply_filter();
    Signals::connect(this);
    m_view_replaced.emit(GTK_WIDGET(old));
    if (gtk_widget_get_parent(GTK_WIDGET(old)) != nullptr) {
        gtk_widget_unparent(GTK_WIDGET(old));
    }
    g_object_unref(old);
    if (had_focus) {
        gtk_widget_grab_focus(GTK_WIDGET(m_view));
    }

    // What the visitor copied or selected, as long as it is still ours.
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(m_view));
    for (GdkClipboard* clipboard :
         {gdk_display_get_clipboard(display), gdk_display_get_primary_clipboard(display)}) {
        if (gdk_clipboard_is_local(clipboard)) {
            gdk_clipboard_set_content(clipboard, nullptr);
        }
    }
}

void BrowserControl::AllowSites(controls::SiteList sites) {
    m_sites = std::move(sites);
    if (m_sites.enabled() && m_sites.scope() == controls::SiteList::Scope::Requests) {
        filter_requests();
    }
}

void BrowserControl::filter_requests() {
    // The engine compiles the rules into a file that it maps; the file goes
    // as soon as they are loaded, so that nothing of the program stays on disk.
    GError* error = nullptr;
    char* directory = g_dir_make_tmp("corvalen-filter-XXXXXX", &error);
    if (directory == nullptr) {
        filter_failed(error);
        return;
    }
    WebKitUserContentFilterStore* store = webkit_user_content_filter_store_new(directory);
    const std::string rules = m_sites.content_filter();
    GBytes* source = g_bytes_new(rules.data(), rules.size());
    m_filter_pending = g_cancellable_new();
    webkit_user_content_filter_store_save(
        store, "sites", source, m_filter_pending,
        [](GObject* object, GAsyncResult* result, gpointer data) {
            auto* saved = WEBKIT_USER_CONTENT_FILTER_STORE(object);
            GError* failure = nullptr;
            WebKitUserContentFilter* filter =
                webkit_user_content_filter_store_save_finish(saved, result, &failure);
            std::error_code ignored;
            std::filesystem::remove_all(webkit_user_content_filter_store_get_path(saved), ignored);
            g_object_unref(saved);
            if (g_error_matches(failure, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
                g_error_free(failure);
                return; // the control is gone
            }
            auto* control = static_cast<BrowserControl*>(data);
            g_clear_object(&control->m_filter_pending);
            control->m_filter = filter;
            if (filter == nullptr) {
                control->filter_failed(failure);
            }
            control->apply_filter();
            guard_callback([control] {
                if (auto held = std::exchange(control->m_held, std::nullopt)) {
                    control->command(std::move(*held));
                }
            });
        },
        this);
    g_bytes_unref(source);
    g_free(directory);
}

void BrowserControl::filter_failed(GError* error) {
    // The pages themselves are still held to the list.
    g_printerr("corvalen: cannot hold every request to the allowed sites: %s\n",
               error != nullptr ? error->message : "unknown error");
    g_clear_error(&error);
}

void BrowserControl::apply_filter() {
    if (m_filter != nullptr) {
        webkit_user_content_manager_add_filter(webkit_web_view_get_user_content_manager(m_view),
                                               m_filter);
    }
}

void BrowserControl::Width(float twips) {
    m_width = std::max(0, controls::to_pixels(twips));
    if (m_size_changed) {
        m_size_changed();
    }
}

void BrowserControl::Height(float twips) {
    m_height = std::max(0, controls::to_pixels(twips));
    if (m_size_changed) {
        m_size_changed();
    }
}

} // namespace corvalen::platform
