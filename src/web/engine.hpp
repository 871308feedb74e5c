// SPDX-License-Identifier: MIT
#pragma once

// The engine's side of the browser control: the web context every view
// shares, with its memory limits, a view made with the settings a kiosk
// needs, and the page shown where one cannot be reached.

#include <string>

#include "controls/drawing.hpp"

typedef struct _WebKitWebView WebKitWebView;

namespace corvalen::web {

// A new view, floating reference sunk, in the shared web context and a new
// ephemeral network session; drawn on the GPU or the CPU as `drawing` says.
WebKitWebView* create_view(controls::Drawing drawing);

// Shown in place of a page that cannot be reached, with `text` in the middle.
std::string unreachable_page(const std::string& text);

} // namespace corvalen::web
