// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <sigc++/connection.h>

typedef struct _GdkSurface GdkSurface;
typedef struct _GdkEvent GdkEvent;

namespace corvalen::input {

// Every event of every window of the program, before the toolkit handles
// it: one emission hook on GdkSurface's "event" signal, which the visitor
// watch, the cursor hiding and the dialogs share. A subscriber only looks;
// the event goes on to its window whatever it does.
class SurfaceEvents {
public:
    using Handler = std::function<void(GdkSurface* surface, GdkEvent* event)>;

    // `handler` sees each event from now on, until the connection is
    // disconnected; an exception that leaves it is reported.
    static sigc::connection subscribe(Handler handler);
};

} // namespace corvalen::input
