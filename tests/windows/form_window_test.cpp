// SPDX-License-Identifier: MIT
// A real GTK window saved and restored through cInifile, on an X server
// without a window manager.

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/init.h>
#include <gtkmm/window.h>

#include "inifile/cinifile.hpp"
#include "support/temp_dir.hpp"
#include "windows/form_window.hpp"

namespace corvalen::test {
namespace {

// Runs the main loop until condition holds or a few seconds pass.
template <class Condition> bool settle(Condition condition) {
    const gint64 deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
    while (!condition() && g_get_monotonic_time() < deadline) {
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(1000);
    }
    return condition();
}

TEST(FormWindow, SavedAndRestoredThroughTheSettingsFile) {
    ASSERT_TRUE(gtk_init_check()) << "needs an X display";
    Gtk::init_gtkmm_internals();
    TempDir dir;
    Gtk::Window window;
    window.set_default_size(300, 200);
    window.present();
    windows::FormWindow form(window);
    ASSERT_TRUE(settle([&] { return window.get_mapped() && form.Width() == 300 * 15.0; }));

    EXPECT_EQ(form.Screen().Width(), 1024 * 15.0F);
    EXPECT_EQ(form.Screen().Height(), 768 * 15.0F);

    cInifile ini;
    ini.Path(dir.file("window.ini"));
    ini.Section("Window");
    ini.SaveFormPosition(form);
    EXPECT_TRUE(ini.Success());
    EXPECT_EQ(read_bytes(dir.file("window.ini")),
              "[Window]\nMaximised=0\nLeft=0\nTop=0\nWidth=4500\nHeight=3000\n");

    write_bytes(dir.file("window.ini"),
                "[Window]\nLeft=1500\nTop=1500\nWidth=6000\nHeight=4500\nMaximised=0\n");
    ini.LoadFormPosition(form);
    EXPECT_TRUE(settle([&] {
        return form.Left() == 1500 && form.Top() == 1500 && form.Width() == 6000 &&
               form.Height() == 4500;
    })) << form.Left()
        << " " << form.Top() << " " << form.Width() << " " << form.Height();
}

} // namespace
} // namespace corvalen::test
