// SPDX-License-Identifier: MIT
#pragma once

#include <ostream>
#include <string>

#include "controls/printing.hpp"

namespace corvalen::print {

// The operator's printer, reached through the corvalen-print program beside
// the kiosk: one run to find the printer and its paper, one per print.
class Printer : public controls::IPrinter {
public:
    // `program`: the path of corvalen-print. Its complaints go straight to
    // the kiosk's standard error; failures of its own go to `log`.
    Printer(std::string program, std::ostream& log);

    void Find(const controls::PrintSettings& settings,
              std::function<void(std::optional<controls::Paper>)> found) override;
    void Print(const std::string& pdf, unsigned most, Job job) override;

private:
    std::string m_program;
    std::ostream& m_log;
    std::string m_printer; // as found
    std::string m_media;
};

} // namespace corvalen::print
