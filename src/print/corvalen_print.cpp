// SPDX-License-Identifier: MIT
// corvalen-print: the kiosk's go-between to CUPS. The kiosk starts it for
// each print, so that the kiosk links neither CUPS's client library nor a PDF
// reader (they would cost every start-up, printing on or off), and a
// document is read, and CUPS spoken to, outside the kiosk.
//
//   corvalen-print paper PRINTER PAPER
//       PRINTER (empty: CUPS's default destination) and the paper it prints
//       on (PAPER, or when empty or not one the printer takes, its default)
//       as one line: NAME TAB MEDIA TAB WIDTH TAB LENGTH TAB TOP TAB BOTTOM
//       TAB LEFT TAB RIGHT, in hundredths of a millimetre. Status 1 when
//       there is no such printer.
//   corvalen-print print PRINTER MEDIA MOST
//       Prints the PDF document on standard input on MEDIA, one copy, unless
//       it has more than MOST pages (0: any number). Says "over N" (nothing
//       printed), or "queued N" once CUPS has the job and then "printed" or
//       "failed". The finished job is purged from CUPS with its document.
//
// Anything wrong is one line on standard error, "corvalen: ...", as the
// kiosk reports its settings.

#include <charconv>
#include <chrono>
#include <cups/cups.h>
#include <iostream>
#include <iterator>
#include <optional>
#include <poppler.h>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>

namespace {

// A job that has not come out by then has hung (a printer off or out of
// paper): it is cancelled, so that it cannot come out for the next visitor.
constexpr auto kLongestJob = std::chrono::minutes(5);
constexpr auto kPoll = std::chrono::milliseconds(250);
// Whatever hangs beyond the job's own limit ends the program.
constexpr unsigned kLongestRun = 6 * 60;

int complain(const std::string& what) {
    std::cerr << "corvalen: " << what << '\n';
    return 1;
}

std::string cups_error() {
    const char* text = cupsLastErrorString();
    return text != nullptr ? text : "no reason given";
}

std::string printer_named(const std::string& name) {
    return name.empty() ? "the default printer" : "printer \"" + name + "\"";
}

std::string unknown(const std::string& printer) {
    return "[Printing] " + printer_named(printer) + " is not known to CUPS (" + cups_error() + ")";
}

// The destination, with what the printer says of itself, reached through
// the CUPS server that has the queue (CUPS_SERVER, or the local one).
struct Destination {
    http_t* const http = CUPS_HTTP_DEFAULT;
    cups_dest_t* dest = nullptr;
    cups_dinfo_t* info = nullptr;

    explicit Destination(const std::string& name)
        : dest(cupsGetNamedDest(http, name.empty() ? nullptr : name.c_str(), nullptr)) {
        if (dest != nullptr) {
            info = cupsCopyDestInfo(http, dest);
        }
    }
    ~Destination() {
        cupsFreeDestInfo(info);
        cupsFreeDests(dest != nullptr ? 1 : 0, dest);
    }
    Destination(const Destination&) = delete;
    Destination& operator=(const Destination&) = delete;
    [[nodiscard]] bool usable() const { return info != nullptr; }
};

// A paper's short name (iso_a4) as the printer's full one
// (iso_a4_210x297mm); other names as they are.
std::string full_media_name(const Destination& destination, const std::string& name) {
    const std::string prefix = name + "_";
    const int count = cupsGetDestMediaCount(destination.http, destination.dest, destination.info,
                                            CUPS_MEDIA_FLAGS_DEFAULT);
    for (int i = 0; i < count; ++i) {
        cups_size_t size{};
        if (cupsGetDestMediaByIndex(destination.http, destination.dest, destination.info, i,
                                    CUPS_MEDIA_FLAGS_DEFAULT, &size) != 0 &&
            std::string_view(size.media).starts_with(prefix)) {
            return size.media;
        }
    }
    return name;
}

int paper(const std::string& printer, const std::string& wanted) {
    Destination destination(printer);
    if (!destination.usable()) {
        return complain(unknown(printer) + "; printing stays off");
    }
    cups_size_t size{};
    bool found = false;
    if (!wanted.empty()) {
        const std::string name = full_media_name(destination, wanted);
        found = cupsGetDestMediaByName(destination.http, destination.dest, destination.info,
                                       name.c_str(), CUPS_MEDIA_FLAGS_DEFAULT, &size) != 0;
        if (!found) {
            complain("[Printing] PaperSize=\"" + wanted + "\" is not a paper " +
                     printer_named(printer) + " takes; its default paper");
        }
    }
    if (!found && cupsGetDestMediaDefault(destination.http, destination.dest, destination.info,
                                          CUPS_MEDIA_FLAGS_DEFAULT, &size) == 0) {
        return complain("[Printing] " + printer_named(printer) +
                        " names no paper of its own; printing stays off");
    }
    // A variant printed to the edge is the same paper to ask for.
    std::string media = size.media;
    if (constexpr std::string_view kEdge = "_borderless";
        media.size() > kEdge.size() && media.ends_with(kEdge)) {
        media.resize(media.size() - kEdge.size());
    }
    std::cout << destination.dest->name << '\t' << media << '\t' << size.width << '\t'
              << size.length << '\t' << size.top << '\t' << size.bottom << '\t' << size.left << '\t'
              << size.right << '\n';
    return 0;
}

std::optional<unsigned> page_count(const std::string& pdf) {
    GBytes* bytes = g_bytes_new(pdf.data(), pdf.size());
    GError* error = nullptr;
    PopplerDocument* document = poppler_document_new_from_bytes(bytes, nullptr, &error);
    g_bytes_unref(bytes);
    if (document == nullptr) {
        complain(std::string("the page to print is no PDF document: ") + error->message);
        g_error_free(error);
        return std::nullopt;
    }
    const int pages = poppler_document_get_n_pages(document);
    g_object_unref(document);
    return pages > 0 ? std::optional(static_cast<unsigned>(pages)) : std::nullopt;
}

std::optional<ipp_jstate_t> job_state(const Destination& destination, int job) {
    cups_job_t* jobs = nullptr;
    const int count =
        cupsGetJobs2(destination.http, &jobs, destination.dest->name, 1, CUPS_WHICHJOBS_ALL);
    std::optional<ipp_jstate_t> state;
    for (int i = 0; i < count; ++i) {
        if (jobs[i].id == job) {
            state = jobs[i].state;
        }
    }
    cupsFreeJobs(count, jobs);
    return state;
}

struct Outcome {
    bool printed = false;
    bool gone = false; // CUPS keeps nothing of the job
};

// Waits for the job to end.
Outcome wait_for(const Destination& destination, int job) {
    const auto deadline = std::chrono::steady_clock::now() + kLongestJob;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto state = job_state(destination, job);
        if (!state) {
            // A server that keeps no job history drops a job when it is done.
            return {true, true};
        }
        if (*state == IPP_JSTATE_COMPLETED) {
            return {true, false};
        }
        if (*state >= IPP_JSTATE_STOPPED) {
            complain("the print job ended without printing (" +
                     std::string(ippEnumString("job-state", *state)) + ")");
            return {};
        }
        std::this_thread::sleep_for(kPoll);
    }
    complain("the print job did not come out within 5 minutes; it is cancelled");
    return {};
}

int print(const std::string& printer, const std::string& media, unsigned most) {
    const std::string pdf{std::istreambuf_iterator<char>(std::cin),
                          std::istreambuf_iterator<char>()};
    const auto pages = page_count(pdf);
    if (!pages) {
        std::cout << "failed" << std::endl;
        return 1;
    }
    if (most != 0 && *pages > most) {
        std::cout << "over " << *pages << std::endl;
        return 0;
    }
    Destination destination(printer);
    if (!destination.usable()) {
        complain(unknown(printer));
        std::cout << "failed" << std::endl;
        return 1;
    }
    cups_option_t* options = nullptr;
    int count = cupsAddOption("copies", "1", 0, &options);
    if (!media.empty()) {
        count = cupsAddOption("media", media.c_str(), count, &options);
    }
    // The job's name stays in CUPS's logs: never the page's title.
    int job = 0;
    const bool sent =
        cupsCreateDestJob(destination.http, destination.dest, destination.info, &job, "Corvalen",
                          count, options) == IPP_STATUS_OK &&
        cupsStartDestDocument(destination.http, destination.dest, destination.info, job, "page",
                              CUPS_FORMAT_PDF, 0, nullptr, 1) == HTTP_STATUS_CONTINUE &&
        cupsWriteRequestData(destination.http, pdf.data(), pdf.size()) == HTTP_STATUS_CONTINUE &&
        cupsFinishDestDocument(destination.http, destination.dest, destination.info) ==
            IPP_STATUS_OK;
    cupsFreeOptions(count, options);
    if (!sent) {
        complain("CUPS took no print job for " + printer_named(printer) + ": " + cups_error());
        if (job != 0) {
            cupsCancelDestJob(destination.http, destination.dest, job);
        }
        std::cout << "failed" << std::endl;
        return 1;
    }
    std::cout << "queued " << *pages << std::endl;
    const Outcome outcome = wait_for(destination, job);
    // What a visitor printed does not outlive the job: purging takes the
    // job, its document and its history out of CUPS (a job not done is
    // cancelled first).
    if (!outcome.gone &&
        cupsCancelJob2(destination.http, destination.dest->name, job, 1) != IPP_STATUS_OK) {
        complain("CUPS did not purge print job " + std::to_string(job) + ": " + cups_error());
    }
    std::cout << (outcome.printed ? "printed" : "failed") << std::endl;
    return outcome.printed ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    alarm(kLongestRun);
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "paper" && argc == 4) {
        return paper(argv[2], argv[3]);
    }
    unsigned most = 0;
    if (command == "print" && argc == 5) {
        const std::string_view text = argv[4];
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), most);
        if (error == std::errc() && end == text.data() + text.size()) {
            return print(argv[2], argv[3], most);
        }
    }
    return complain("usage: corvalen-print paper PRINTER PAPER | print PRINTER MEDIA MOST");
}
