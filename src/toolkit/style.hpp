// SPDX-License-Identifier: MIT
#pragma once

namespace corvalen::toolkit {

// Adds `css` to the style of the program's display, once: a later call with
// the same text does nothing.
void install_style(const char* css);

// Lets the dialogs' controls take exactly their designed sizes, which are
// smaller than the theme's defaults.
void install_dialog_style();

} // namespace corvalen::toolkit
