// SPDX-License-Identifier: MIT
// The engine floor for bench/startup.py: a bare WebKitGTK 6.0 web view filling a
// full-screen GTK 4 window, loading the URL it is given. Nothing else, so that
// what Corvalen costs beyond the engine can be told apart.

#include <gtk/gtk.h>
#include <webkit/webkit.h>

static const char* start_url = "about:blank";

static void activate(GtkApplication* app, gpointer data) {
    (void)data;
    GtkWidget* window = gtk_application_window_new(app);
    GtkWidget* view = webkit_web_view_new();
    gtk_window_set_child(GTK_WINDOW(window), view);
    gtk_window_fullscreen(GTK_WINDOW(window));
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), start_url);
    gtk_window_present(GTK_WINDOW(window));
}

int main(int argc, char** argv) {
    if (argc > 1) {
        start_url = argv[1];
    }
    GtkApplication* app = gtk_application_new("org.corvalen.BenchFloor", G_APPLICATION_NON_UNIQUE);
    g_signal_connect(app, "activate", G_CALLBACK(activate), NULL);
    int status = g_application_run(G_APPLICATION(app), 1, argv);
    g_object_unref(app);
    return status;
}
