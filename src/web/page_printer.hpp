// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "controls/printing.hpp"

typedef struct _WebKitPrintOperation WebKitPrintOperation;

namespace corvalen::web {

// Lays a page out on paper as a PDF document, through the engine's print
// operation and the toolkit's print-to-file printer with print settings of
// our own: the toolkit's print dialog never shows.
class PagePrinter {
public:
    // Looks for the toolkit's file printer, which is there at once.
    PagePrinter();
    ~PagePrinter();
    PagePrinter(const PagePrinter&) = delete;
    PagePrinter& operator=(const PagePrinter&) = delete;

    // Prints what `operation` stands for on `paper`, at most `most_pages`
    // pages (0: all); `done` gets the document, or none when the engine
    // failed. The document's file is gone by then.
    void print(WebKitPrintOperation* operation, const controls::Paper& paper, unsigned most_pages,
               std::function<void(std::optional<std::string>)> done);

private:
    std::string m_file_printer; // the toolkit's name for it, which is translated
    std::string m_directory;    // ours alone, made on the first print
};

} // namespace corvalen::web
