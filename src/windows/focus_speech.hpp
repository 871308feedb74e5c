// SPDX-License-Identifier: MIT
#pragma once

#include <gtk/gtk.h>
#include <string>

#include "controls/speech.hpp"

namespace corvalen::windows {

// Says what takes the keyboard focus in any of the program's windows, as
// toolkit::spoken_description words it; a window that shows is introduced
// first (a dialog as it opens), and when it goes its owner's focus is said.
// The page's own elements are said by the page (BrowserControl::speak_page).
class FocusSpeech {
public:
    explicit FocusSpeech(controls::Narrator& narrator);
    FocusSpeech(const FocusSpeech&) = delete;
    FocusSpeech& operator=(const FocusSpeech&) = delete;

private:
    void watch_windows();
    void say_focus(GtkWindow* window, bool entered);

    controls::Narrator& m_narrator;
    // What was said last, to be said once. (Compared only, never followed.)
    const GtkWindow* m_last_window = nullptr;
    std::string m_last_control;
    const GtkWindow* m_introduced = nullptr; // shown, its introduction still to say
    unsigned m_shown = 0;                    // windows shown so far
};

} // namespace corvalen::windows
