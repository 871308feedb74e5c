// SPDX-License-Identifier: MIT
#pragma once

namespace corvalen::platform {

// Lets the dialogs' controls take exactly their designed sizes, which are
// smaller than the theme's defaults.
void install_dialog_style();

} // namespace corvalen::platform
