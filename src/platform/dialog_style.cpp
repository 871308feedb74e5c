// SPDX-License-Identifier: MIT
#include "dialog_style.hpp"

#include <gtkmm/cssprovider.h>
#include <gtkmm/stylecontext.h>

namespace corvalen::platform {

void install_dialog_style() {
    static const bool installed = [] {
        auto provider = Gtk::CssProvider::create();
        provider->load_from_data(
            ".corvalen-dialog entry, .corvalen-dialog button {"
            " min-height: 0; min-width: 0; padding-top: 0; padding-bottom: 0; }"
            ".corvalen-dialog entry { padding-left: 3px; padding-right: 3px; }"
            ".corvalen-dialog button { padding-left: 2px; padding-right: 2px; }");
        Gtk::StyleContext::add_provider_for_display(Gdk::Display::get_default(), provider,
                                                    GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        return true;
    }();
    static_cast<void>(installed);
}

} // namespace corvalen::platform
