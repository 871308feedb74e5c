// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace corvalen::controls {

// [Printing], as read at start-up.
struct PrintSettings {
    bool enabled = false;
    std::string printer;             // CUPS's default destination when empty
    unsigned pages_per_session = 10; // 0: no limit
    std::string paper;               // the printer's default when empty
};

// The paper a printer prints on, in hundredths of a millimetre.
struct Paper {
    std::string name; // as the printer calls it, e.g. iso_a4_210x297mm
    int width = 0;
    int length = 0;
    int top = 0;
    int bottom = 0;
    int left = 0;
    int right = 0;
};

// The operator's printer.
class IPrinter {
public:
    virtual ~IPrinter() = default;
    // Looks the printer up; `found` gets the paper it prints on, or none
    // (with what is wrong said on the log) when there is no such printer.
    virtual void Find(const PrintSettings& settings,
                      std::function<void(std::optional<Paper>)> found) = 0;

    // What becomes of one print.
    struct Job {
        std::function<void(unsigned pages)> over;   // more than `most`: nothing printed
        std::function<void(unsigned pages)> queued; // the printer has it
        std::function<void(bool printed)> done;     // it came out, or it failed
    };
    // Prints the PDF document `pdf` on the printer found, unless it has more
    // than `most` pages (0: any number). Each of the job's calls comes at
    // most once; `done` always comes, last, unless `over` came.
    virtual void Print(const std::string& pdf, unsigned most, Job job) = 0;
};

} // namespace corvalen::controls
