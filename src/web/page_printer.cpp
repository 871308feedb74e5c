// SPDX-License-Identifier: MIT
#include "page_printer.hpp"

#include <algorithm>
#include <cstring>
#include <gtk/gtkunixprint.h>
#include <memory>
#include <unistd.h>
#include <webkit/webkit.h>

#include "toolkit/errors.hpp"

namespace corvalen::web {
namespace {

// Pages keep a margin of their own even on paper printed to the edge.
constexpr double kLeastMarginMm = 10.0;

GtkPageSetup* page_setup(const controls::Paper& paper) {
    GtkPaperSize* size =
        gtk_paper_size_new_custom(paper.name.c_str(), paper.name.c_str(), paper.width / 100.0,
                                  paper.length / 100.0, GTK_UNIT_MM);
    GtkPageSetup* setup = gtk_page_setup_new();
    gtk_page_setup_set_orientation(setup, GTK_PAGE_ORIENTATION_PORTRAIT);
    gtk_page_setup_set_paper_size(setup, size);
    const auto margin = [](int hundredths) { return std::max(kLeastMarginMm, hundredths / 100.0); };
    gtk_page_setup_set_top_margin(setup, margin(paper.top), GTK_UNIT_MM);
    gtk_page_setup_set_bottom_margin(setup, margin(paper.bottom), GTK_UNIT_MM);
    gtk_page_setup_set_left_margin(setup, margin(paper.left), GTK_UNIT_MM);
    gtk_page_setup_set_right_margin(setup, margin(paper.right), GTK_UNIT_MM);
    gtk_paper_size_free(size);
    return setup;
}

// One print under way.
struct Printing {
    std::string path;
    std::function<void(std::optional<std::string>)> done;
    bool failed = false;
};

void print_failed(WebKitPrintOperation* /*operation*/, GError* error, Printing* printing) {
    g_warning("The page could not be printed: %s", error->message);
    printing->failed = true;
}

// The engine always ends with this one, also after a failure.
void print_finished(WebKitPrintOperation* operation, Printing* printing) {
    g_signal_handlers_disconnect_by_data(operation, printing);
    std::unique_ptr<Printing> owned(printing);
    gchar* contents = nullptr;
    gsize length = 0;
    const bool read = g_file_get_contents(owned->path.c_str(), &contents, &length, nullptr);
    unlink(owned->path.c_str());
    std::optional<std::string> document;
    if (read && !owned->failed) {
        document.emplace(contents, length);
    }
    g_free(contents);
    toolkit::guard_callback([&] { owned->done(std::move(document)); });
}

} // namespace

PagePrinter::PagePrinter() {
    // Pages print only to a file, which corvalen-print takes to CUPS: the
    // toolkit's own CUPS back end is not started, so the kiosk neither
    // speaks to CUPS nor looks for printers on the network.
    g_object_set(gtk_settings_get_default(), "gtk-print-backends", "file", nullptr);
    gtk_enumerate_printers(
        [](GtkPrinter* printer, gpointer data) -> gboolean {
            if (std::strcmp(G_OBJECT_TYPE_NAME(gtk_printer_get_backend(printer)),
                            "GtkPrintBackendFile") != 0) {
                return FALSE;
            }
            static_cast<PagePrinter*>(data)->m_file_printer = gtk_printer_get_name(printer);
            return TRUE;
        },
        this, nullptr, TRUE);
}

PagePrinter::~PagePrinter() {
    if (!m_directory.empty()) {
        rmdir(m_directory.c_str());
    }
}

void PagePrinter::print(WebKitPrintOperation* operation, const controls::Paper& paper,
                        unsigned most_pages, std::function<void(std::optional<std::string>)> done) {
    if (m_directory.empty()) {
        if (char* directory = g_dir_make_tmp("corvalen-print-XXXXXX", nullptr)) {
            m_directory = directory;
            g_free(directory);
        }
    }
    if (m_file_printer.empty() || m_directory.empty()) {
        done(std::nullopt);
        return;
    }
    auto* printing = new Printing{m_directory + "/page.pdf", std::move(done)};
    GtkPrintSettings* settings = gtk_print_settings_new();
    gtk_print_settings_set_printer(settings, m_file_printer.c_str());
    char* uri = g_filename_to_uri(printing->path.c_str(), nullptr, nullptr);
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
    g_free(uri);
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
    gtk_print_settings_set_n_copies(settings, 1);
    if (most_pages != 0) {
        GtkPageRange range{0, static_cast<int>(most_pages) - 1};
        gtk_print_settings_set_print_pages(settings, GTK_PRINT_PAGES_RANGES);
        gtk_print_settings_set_page_ranges(settings, &range, 1);
    }
    GtkPageSetup* setup = page_setup(paper);
    webkit_print_operation_set_print_settings(operation, settings);
    webkit_print_operation_set_page_setup(operation, setup);
    g_object_unref(settings);
    g_object_unref(setup);
    g_signal_connect(operation, "failed", G_CALLBACK(print_failed), printing);
    g_signal_connect(operation, "finished", G_CALLBACK(print_finished), printing);
    // From the main loop, once the page's own print() (if it asked) has
    // been answered: printing meanwhile would clash with the engine's
    // handling of that call.
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) {
            webkit_print_operation_print(WEBKIT_PRINT_OPERATION(data));
            return G_SOURCE_REMOVE;
        },
        g_object_ref(operation), g_object_unref);
}

} // namespace corvalen::web
