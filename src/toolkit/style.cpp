// SPDX-License-Identifier: MIT
#include "style.hpp"

#include <gtkmm/cssprovider.h>
#include <gtkmm/stylecontext.h>
#include <set>
#include <string>

namespace corvalen::toolkit {

void install_style(const char* css) {
    static std::set<std::string> installed;
    if (!installed.insert(css).second) {
        return;
    }
    auto provider = Gtk::CssProvider::create();
    provider->load_from_data(css);
    Gtk::StyleContext::add_provider_for_display(Gdk::Display::get_default(), provider,
                                                GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void install_dialog_style() {
    install_style(".corvalen-dialog entry, .corvalen-dialog button {"
                  " min-height: 0; min-width: 0; padding-top: 0; padding-bottom: 0; }"
                  ".corvalen-dialog entry { padding-left: 3px; padding-right: 3px; }"
                  ".corvalen-dialog button { padding-left: 2px; padding-right: 2px; }"
                  // The designed sizes hold the texts in a 9-point font on
                  // every back end; the default is wider on some.
                  ".corvalen-dialog-content { font-size: 9pt; }"
                  // A control reached with the keyboard keeps its mark.
                  ".corvalen-dialog button:focus { outline: 2px solid #1c71d8;"
                  " outline-offset: -2px; }"
                  // A plain frame with a compact title bar.
                  "window.corvalen-dialog { border: 1px solid #a0a0a0; }"
                  ".corvalen-dialog headerbar { border-radius: 0; }"
                  ".corvalen-dialog headerbar { min-height: 30px; padding: 0 4px; }"
                  ".corvalen-dialog headerbar windowcontrols button { min-height: 22px;"
                  " min-width: 22px; padding: 0; margin: 0; }");
}

} // namespace corvalen::toolkit
