// SPDX-License-Identifier: MIT
#include "browser_control.hpp"

#include <algorithm>
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
#include "controls/site_list.hpp"
#include "engine.hpp"
#include "lockdown.hpp"
#include "page_scripts.hpp"
#include "toolkit/errors.hpp"

namespace corvalen::web {
namespace {

using controls::BrowserFigures;
using Clock = controls::Navigator::Clock;
using Kind = controls::Navigator::Command::Kind;

std::string view_uri(WebKitWebView* view) {
    const char* uri = webkit_web_view_get_uri(view);
    return uri != nullptr ? uri : "";
}

// Ends what `cancellable` stands for, if anything, and forgets it.
void cancel(GCancellable*& cancellable) {
    if (cancellable != nullptr) {
        g_cancellable_cancel(cancellable);
        g_clear_object(&cancellable);
    }
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
            toolkit::guard_callback([&] { Handler(args...); });
        } else {
            return toolkit::guard_callback([&] { return Handler(args...); }, Result{});
        }
    }
};

// The web view's signal handlers; each gets the control as its data.
class BrowserControl::Signals {
public:
    static void connect(BrowserControl* control) {
        WebKitWebView* view = control->m_view;
        connect_lockdown(view);
        g_signal_connect(view, "print", G_CALLBACK(print), control);
        g_signal_connect(view, "decide-policy", G_CALLBACK(decide_policy), control);
        g_signal_connect(view, "create", G_CALLBACK((Guarded<&create>::call)), control);
        g_signal_connect(view, "authenticate", G_CALLBACK(authenticate), control);
        g_signal_connect(view, "script-dialog", G_CALLBACK(script_dialog), control);
        g_signal_connect(view, "web-process-terminated",
                         G_CALLBACK((Guarded<&web_process_terminated>::call)), control);
        g_signal_connect(view, "load-failed", G_CALLBACK((Guarded<&load_failed>::call)), control);
        g_signal_connect(view, "load-changed", G_CALLBACK((Guarded<&load_changed>::call)), control);
        g_signal_connect(view, "notify::is-web-process-responsive",
                         G_CALLBACK((Guarded<&responsiveness_changed>::call)), control);
    }

private:
    // Connected directly: TRUE whatever happens, for FALSE would have the
    // engine run the toolkit's print dialog. The owner may take the ask.
    static gboolean print(WebKitWebView* /*view*/, WebKitPrintOperation* /*operation*/,
                          BrowserControl* control) noexcept {
        if (control->m_print) {
            toolkit::guard_callback([control] { control->m_print(); });
        }
        return TRUE;
    }

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
            toolkit::report_current_exception();
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
        ++control->m_figures.refused_navigations;
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

    // Answered at once: nobody stands at a terminal to dismiss a page's
    // dialogs, and an open one would keep "home" from working. Leaving a page
    // is always allowed. A page that keeps opening dialogs while the visitor's
    // command waits is busy in a loop that the command cannot get through.
    static gboolean script_dialog(WebKitWebView* /*view*/, WebKitScriptDialog* dialog,
                                  BrowserControl* control) {
        toolkit::guard_callback([control] {
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
        ++control->m_figures.web_process_crashes;
        control->m_navigator.crashed(Clock::now());
        control->schedule();
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
        ++control->m_figures.failed_loads;
        control->show_unreachable(uri);
        control->schedule();
        return TRUE;
    }

    static void load_changed(WebKitWebView* /*view*/, WebKitLoadEvent event,
                             BrowserControl* control) {
        if (event == WEBKIT_LOAD_STARTED) {
            control->m_figures.loading = true;
        } else if (event == WEBKIT_LOAD_COMMITTED) {
            control->m_navigator.committed();
            control->schedule();
        } else if (event == WEBKIT_LOAD_FINISHED) {
            BrowserFigures& figures = control->m_figures;
            figures.loading = false;
            ++figures.loads;
            figures.origin = controls::origin_of(view_uri(control->m_view));
            control->m_navigator.finished();
            control->release_freed_memory_later();
            if (control->m_shown) {
                control->m_shown(view_uri(control->m_view));
            }
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
};

BrowserControl::BrowserControl(controls::Drawing drawing) : m_drawing(drawing), m_view(new_view()) {
    Signals::connect(this);
}

WebKitWebView* BrowserControl::new_view() const {
    WebKitWebView* view = create_view(m_drawing);
    wait_for_enter_in_frames(view);
    if (m_page_speech) {
        speak_from_frames(view, m_page_speech.get());
    }
    if (m_filter != nullptr) {
        webkit_user_content_manager_add_filter(webkit_web_view_get_user_content_manager(view),
                                               m_filter);
    }
    return view;
}

BrowserControl::~BrowserControl() {
    dismiss_authentication();
    m_timer.disconnect();
    cancel(m_probe);
    cancel(m_field_check);
    m_trim_timer.disconnect();
    cancel(m_filter_pending);
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
        cancel(m_probe);
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
    cancel(m_probe);
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
            toolkit::guard_callback([control] {
                control->m_navigator.answered(Clock::now(),
                                              webkit_web_view_is_loading(control->m_view) != FALSE);
                control->schedule();
            });
        },
        this);
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
    ++m_figures.web_process_replacements;
    command({Kind::Reload, view_uri(m_view)}, true);
    return true;
}

void BrowserControl::ReplaceWebProcess(const std::string& url) {
    ++m_figures.web_process_replacements;
    webkit_web_view_stop_loading(m_view);
    command({Kind::Load, url}, true);
}

void BrowserControl::UnreachableText(const std::string& text) {
    m_unreachable_text = text;
}

void BrowserControl::on_print(std::function<void()> callback) {
    m_print = std::move(callback);
}

bool BrowserControl::print() {
    if (!m_print) {
        return false;
    }
    m_print();
    return true;
}

void BrowserControl::PrintPage(const controls::Paper& paper, unsigned most_pages,
                               std::function<void(std::optional<std::string>)> done) {
    // Made on the first print, so that start-up loads nothing of printing.
    if (!m_printer) {
        m_printer = std::make_unique<PagePrinter>();
    }
    // An operation of our own, not the page's: the page's would lay the page
    // out while its print() waits, and a print() from the page's
    // beforeprint would then wait on us in turn, for ever.
    WebKitPrintOperation* operation = webkit_print_operation_new(m_view);
    m_printer->print(operation, paper, most_pages, std::move(done));
    g_object_unref(operation);
}

void BrowserControl::press_enter() {
    web::press_enter(m_view);
}

bool BrowserControl::Allows(const std::string& url) const {
    const char* scheme = g_uri_peek_scheme(url.c_str()); // interned, in small letters
    const std::string_view kind = scheme != nullptr ? scheme : "";
    return (kind == "http" || kind == "https" || kind == "file") && m_sites.allows(url, true);
}

void BrowserControl::reveal_focus() {
    web::reveal_focus(m_view);
}

void BrowserControl::focus_edge(bool first) {
    web::focus_page_edge(m_view, first);
}

void BrowserControl::when_field_focused(std::function<void()> then) {
    cancel(m_field_check);
    m_field_check = g_cancellable_new();
    evaluate(m_view, field_focused_script(), m_field_check,
             [then = std::move(then)](JSCValue* value) {
                 if (value != nullptr && jsc_value_to_boolean(value)) {
                     then();
                 }
             });
}

void BrowserControl::speak_page(PageSpeech speech) {
    if (m_page_speech) {
        *m_page_speech = std::move(speech); // where the views' handlers look
        return;
    }
    m_page_speech = std::make_unique<PageSpeech>(std::move(speech));
    speak_from_frames(m_view, m_page_speech.get());
}

void BrowserControl::read_page(std::function<void(const std::string&)> then) {
    read_from_focus(m_view, std::move(then));
}

void BrowserControl::zoom(double level) {
    webkit_web_view_set_zoom_level(m_view, level);
}

double BrowserControl::zoom() const {
    return webkit_web_view_get_zoom_level(m_view);
}

void BrowserControl::ClearSession() {
    dismiss_authentication();
    m_navigator.clear();
    m_timer.disconnect();
    cancel(m_probe);
    cancel(m_field_check);

    // A new view in a new ephemeral network session: the old session's
    // cookies, storage, cache, service workers and logins go with it, and so
    // does the back and forward list, which no call empties.
    WebKitWebView* old = m_view;
    const bool had_focus = gtk_widget_is_focus(GTK_WIDGET(old)) != FALSE;
    g_signal_handlers_disconnect_by_data(old, this);
    webkit_web_view_terminate_web_process(old);
    m_view = new_view();
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
            } else {
                webkit_user_content_manager_add_filter(
                    webkit_web_view_get_user_content_manager(control->m_view), filter);
            }
            toolkit::guard_callback([control] {
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

} // namespace corvalen::web
