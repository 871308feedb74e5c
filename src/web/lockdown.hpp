// SPDX-License-Identifier: MIT
#pragma once

typedef struct _WebKitWebView WebKitWebView;

namespace corvalen::web {

// Shuts what a kiosk keeps shut in `view`, whatever its page asks: the
// context menu keeps only navigation and editing, file and colour pickers,
// full screen, permissions and downloads are refused, and a certificate
// error is a dead end. These handlers keep no state, so one table connects
// them all. (Printing is the browser control's, which may take it.)
void connect_lockdown(WebKitWebView* view);

} // namespace corvalen::web
