// SPDX-License-Identifier: MIT
#include "focus_speech.hpp"

#include <glibmm/main.h>
#include <gtkmm/widget.h>
#include <gtkmm/window.h>

#include "toolkit/access.hpp"
#include "toolkit/errors.hpp"

namespace corvalen::windows {
namespace {

constexpr const char* kWatched = "corvalen-focus-speech";

} // namespace

FocusSpeech::FocusSpeech(controls::Narrator& narrator) : m_narrator(narrator) {
    // Every window of the program, those still to come included.
    GListModel* windows = gtk_window_get_toplevels();
    g_signal_connect(windows, "items-changed",
                     G_CALLBACK(+[](GListModel*, guint, guint, guint, gpointer self) {
                         static_cast<FocusSpeech*>(self)->watch_windows();
                     }),
                     this);
    watch_windows();
}

void FocusSpeech::watch_windows() {
    GListModel* windows = gtk_window_get_toplevels();
    for (guint i = 0; i < g_list_model_get_n_items(windows); ++i) {
        auto* window = static_cast<GtkWindow*>(g_list_model_get_item(windows, i));
        if (g_object_get_data(G_OBJECT(window), kWatched) == nullptr) {
            g_object_set_data(G_OBJECT(window), kWatched, this);
            // Shown: introduced (a dialog as it opens). Hidden: its owner's
            // focus is where the keys go again.
            g_signal_connect_after(window, "map", G_CALLBACK(+[](GtkWindow* shown, gpointer self) {
                                       static_cast<FocusSpeech*>(self)->say_focus(shown, true);
                                   }),
                                   this);
            g_signal_connect_after(
                window, "unmap", G_CALLBACK(+[](GtkWindow* hidden, gpointer self) {
                    // Later, unless another window shows first (the message
                    // box that follows the exit dialog).
                    GtkWindow* owner = gtk_window_get_transient_for(hidden);
                    auto* speech = static_cast<FocusSpeech*>(self);
                    if (owner != nullptr) {
                        Glib::signal_idle().connect_once([speech, owner, shown = speech->m_shown] {
                            if (shown == speech->m_shown) {
                                speech->say_focus(owner, false);
                            }
                        });
                    }
                }),
                this);
            g_signal_connect(window, "notify::focus-widget",
                             G_CALLBACK(+[](GtkWindow* changed, GParamSpec*, gpointer self) {
                                 static_cast<FocusSpeech*>(self)->say_focus(changed, false);
                             }),
                             this);
        }
        g_object_unref(window);
    }
}

void FocusSpeech::say_focus(GtkWindow* window, bool entered) {
    // Not while a window is being built: it is said once it shows.
    if (!m_narrator.on() || !gtk_widget_get_mapped(GTK_WIDGET(window))) {
        return;
    }
    if (entered) {
        ++m_shown;
    }
    toolkit::guard_callback([&] {
        std::string said;
        if (entered || window == m_introduced) {
            said = toolkit::spoken_intro(*Glib::wrap(window));
        }
        m_introduced = nullptr;
        // The focus may lie in a part of a control (the text of an entry):
        // the nearest control that has something to say is said.
        std::string control;
        for (GtkWidget* focus = gtk_window_get_focus(window);
             focus != nullptr && focus != GTK_WIDGET(window) && control.empty();
             focus = gtk_widget_get_parent(focus)) {
            control = toolkit::spoken_description(*Glib::wrap(focus));
        }
        // A window that shows may also tell of its focus a moment later:
        // said once, with its introduction.
        if (!entered && window == m_last_window && control == m_last_control) {
            return;
        }
        // Shown before its focus is set: introduced with the focus.
        if (entered && control.empty()) {
            m_introduced = window;
            return;
        }
        m_last_window = window;
        m_last_control = control;
        said += said.empty() || control.empty() ? control : ", " + control;
        m_narrator.Focus(said);
    });
}

} // namespace corvalen::windows
