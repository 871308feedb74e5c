// SPDX-License-Identifier: MIT
#include "password_window.hpp"

#include "secret_buffer.hpp"
#include "toolkit/access.hpp"
#include "toolkit/style.hpp"
#include "window_rules.hpp"

namespace corvalen::windows {
namespace {

// GTK 4.8 tells the accessibility bus every character typed into an entry,
// a password's too: every listener there, and a screen reader that speaks
// it, would have it. The entry's accessibility context connects to its text
// widget's changes once it is set up (with GTK's own "accessible-text-data"
// on the entry as their data); each change meets this handler first, which
// blocks those handlers before they run. Nothing of the text, not even where
// the caret went, goes out then. tests/gui/test_accessibility.py listens.
void block_published_changes(GtkEditable* text, gpointer entry) {
    gpointer published = g_object_get_data(G_OBJECT(entry), "accessible-text-data");
    if (published != nullptr &&
        g_object_get_data(G_OBJECT(text), "corvalen-unpublished") == nullptr) {
        g_signal_handlers_block_matched(text, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                        published);
        g_object_set_data(G_OBJECT(text), "corvalen-unpublished", published);
    }
}

void keep_off_the_bus(Gtk::Entry& entry) {
    GtkEditable* text = gtk_editable_get_delegate(GTK_EDITABLE(entry.gobj()));
    g_signal_connect(text, "insert-text",
                     G_CALLBACK(+[](GtkEditable* changed, const char*, int, int*, gpointer data) {
                         block_published_changes(changed, data);
                     }),
                     entry.gobj());
    g_signal_connect(text, "delete-text",
                     G_CALLBACK(+[](GtkEditable* changed, int, int, gpointer data) {
                         block_published_changes(changed, data);
                     }),
                     entry.gobj());
}

constexpr int kWidth = 304; // client area, pixels
constexpr int kHeight = 88;

void place(Gtk::Fixed& layout, Gtk::Widget& control, int left, int top, int width, int height) {
    control.set_size_request(width, height);
    layout.put(control, left, top);
}

} // namespace

PasswordWindow::PasswordWindow(Gtk::Window& owner, const controls::KeyboardLayout* keypad)
    : DialogWindow(owner, "Afsluiten", kWidth, kHeight), m_content(Gtk::Orientation::VERTICAL),
      Label1("Wachtwoord:"), txtPassword(make_secret_buffer()), cmdOK("OK"),
      cmdCancel("Annuleren") {
    toolkit::install_dialog_style();
    set_icon_name("corvalen-password");

    Label1.set_xalign(0.0F);
    toolkit::set_labelled_by(txtPassword, Label1);
    txtPassword.set_visibility(false);
    txtPassword.set_invisible_char('*');
    // A password purpose keeps input methods from composing or showing text.
    txtPassword.set_input_purpose(Gtk::InputPurpose::PASSWORD);
    txtPassword.set_input_hints(Gtk::InputHints::NO_SPELLCHECK | Gtk::InputHints::NO_EMOJI |
                                Gtk::InputHints::PRIVATE);
    txtPassword.set_activates_default(true);
    keep_off_the_bus(txtPassword);

    place(m_layout, Label1, 16, 16, 81, 17);
    place(m_layout, txtPassword, 104, 16, 185, 19);
    place(m_layout, cmdOK, 208, 48, 81, 25);
    place(m_layout, cmdCancel, 120, 48, 81, 25);
    if (keypad == nullptr) {
        set_content(m_layout);
    } else {
        constexpr int kKeyWidth = 48;
        constexpr int kKeyHeight = 48;
        m_layout.set_size_request(kWidth, kHeight);
        m_layout.set_halign(Gtk::Align::START);
        m_keypad = std::make_unique<widgets::KeyboardPanel>(*keypad, kKeyWidth, kKeyHeight);
        m_keypad->type_into({.text = [this](const std::string& text) { type(text); },
                             .backspace = [this] { backspace(); },
                             .enter = [this] { cmdOK.activate(); }});
        m_content.append(m_layout);
        m_content.append(*m_keypad);
        set_content(m_content);
    }
    set_default_widget(cmdOK);
    // The label takes no focus; the buttons follow the text box in this
    // order, not in the order of their places.
    set_tab_order(*this, [this] {
        return std::vector<Gtk::Widget*>{&txtPassword, &cmdOK, &cmdCancel};
    });

    // Both buttons only hide the window; the caller reads the text afterwards.
    cmdOK.signal_clicked().connect([this] { hide(); });
    cmdCancel.signal_clicked().connect([this] { hide(); });

    press_on_escape(cmdCancel);
}

void PasswordWindow::show_modal() {
    txtPassword.grab_focus();
    run_modal();
}

void PasswordWindow::type(const std::string& text) {
    txtPassword.delete_selection();
    int position = txtPassword.get_position();
    txtPassword.insert_text(text, -1, position);
    txtPassword.set_position(position);
}

void PasswordWindow::backspace() {
    int start = 0;
    int end = 0;
    const int position = txtPassword.get_position();
    if (txtPassword.get_selection_bounds(start, end)) {
        txtPassword.delete_selection();
    } else if (position > 0) {
        txtPassword.delete_text(position - 1, position);
    }
}

std::string PasswordWindow::text() const {
    return secret_text(*txtPassword.get_buffer());
}

bool PasswordWindow::on_close_request() {
    // Closed from the title bar: the entry is lost, as if the controls went.
    m_closed = true;
    hide();
    return true;
}

} // namespace corvalen::windows
