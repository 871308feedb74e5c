// SPDX-License-Identifier: MIT
#include "printer.hpp"

#include <cerrno>
#include <charconv>
#include <gio/gio.h>
#include <memory>
#include <sstream>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace corvalen::print {
namespace {

// Starts the program with `arguments` and `input` (a file, so that a
// program that ends early cannot break a pipe under us) as its standard
// input, its output piped to us; null, with the reason on `log`, when it
// cannot start.
GSubprocess* start(const std::vector<std::string>& arguments, const std::string& input,
                   std::ostream& log) {
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    GSubprocessLauncher* launcher = g_subprocess_launcher_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE);
    const int fd = memfd_create("corvalen-print", MFD_CLOEXEC);
    const bool written =
        fd >= 0 && write(fd, input.data(), input.size()) == static_cast<ssize_t>(input.size()) &&
        lseek(fd, 0, SEEK_SET) == 0;
    GError* error = nullptr;
    GSubprocess* process = nullptr;
    if (written) {
        g_subprocess_launcher_take_stdin_fd(launcher, fd);
        process = g_subprocess_launcher_spawnv(launcher, argv.data(), &error);
    } else {
        if (fd >= 0) {
            close(fd);
        }
        error = g_error_new_literal(G_IO_ERROR, g_io_error_from_errno(errno), g_strerror(errno));
    }
    g_object_unref(launcher);
    if (process == nullptr) {
        log << "corvalen: cannot print: " << error->message << '\n';
        g_error_free(error);
    }
    return process;
}

// "over 3" -> 3
std::optional<unsigned> count_after(const std::string& line, std::string_view word) {
    if (line.size() <= word.size() + 1 || line.compare(0, word.size(), word) != 0 ||
        line[word.size()] != ' ') {
        return std::nullopt;
    }
    unsigned pages = 0;
    const char* first = line.data() + word.size() + 1;
    const char* last = line.data() + line.size();
    const auto [end, error] = std::from_chars(first, last, pages);
    return error == std::errc() && end == last ? std::optional(pages) : std::nullopt;
}

// One print under way: the program, its answer and what is left to tell.
struct Run {
    GSubprocess* process = nullptr;
    GDataInputStream* lines = nullptr;
    controls::IPrinter::Job job;
    bool told = false; // over or done came

    ~Run() {
        g_clear_object(&lines);
        g_clear_object(&process);
    }
    void finish(bool printed) {
        if (!told) {
            told = true;
            job.done(printed);
        }
    }
};

void read_line(std::unique_ptr<Run> run);
void answered(GObject* source, GAsyncResult* result, std::unique_ptr<Run> run);

// The owner's code runs from the main loop's C frames, which no exception
// may cross.
template <typename Body> void guarded(Body&& body) noexcept {
    try {
        body();
    } catch (const std::exception& error) {
        g_critical("printing: %s", error.what());
    } catch (...) {
        g_critical("printing: an unknown error");
    }
}

// One line of the program's answer.
void line_read(GObject* source, GAsyncResult* result, gpointer data) {
    guarded([&] { answered(source, result, std::unique_ptr<Run>(static_cast<Run*>(data))); });
}

void answered(GObject* source, GAsyncResult* result, std::unique_ptr<Run> run) {
    char* text = g_data_input_stream_read_line_finish_utf8(G_DATA_INPUT_STREAM(source), result,
                                                           nullptr, nullptr);
    if (text == nullptr) {
        run->finish(false); // the program ended without a word
        return;
    }
    const std::string line = text;
    g_free(text);
    if (const auto pages = count_after(line, "over")) {
        run->told = true;
        run->job.over(*pages);
        return;
    }
    if (const auto pages = count_after(line, "queued")) {
        run->job.queued(*pages);
    } else if (line == "printed" || line == "failed") {
        run->finish(line == "printed");
        return;
    }
    read_line(std::move(run));
}

void read_line(std::unique_ptr<Run> run) {
    GDataInputStream* lines = run->lines;
    g_data_input_stream_read_line_async(lines, G_PRIORITY_DEFAULT, nullptr, line_read,
                                        run.release());
}

// The printer's name and paper, as the program found them.
std::optional<std::pair<std::string, controls::Paper>> read_paper(GSubprocess* process,
                                                                  GAsyncResult* result) {
    char* out = nullptr;
    const bool read = g_subprocess_communicate_utf8_finish(process, result, &out, nullptr, nullptr);
    std::istringstream line(read && out != nullptr ? out : "");
    g_free(out);
    std::string name;
    controls::Paper paper;
    if (g_subprocess_get_if_exited(process) && g_subprocess_get_exit_status(process) == 0 &&
        std::getline(line, name, '\t') && std::getline(line, paper.name, '\t') &&
        line >> paper.width >> paper.length >> paper.top >> paper.bottom >> paper.left >>
            paper.right) {
        return std::pair{name, paper};
    }
    return std::nullopt;
}

} // namespace

Printer::Printer(std::string program, std::ostream& log)
    : m_program(std::move(program)), m_log(log) {}

void Printer::Find(const controls::PrintSettings& settings,
                   std::function<void(std::optional<controls::Paper>)> found) {
    GSubprocess* process = start({m_program, "paper", settings.printer, settings.paper}, {}, m_log);
    if (process == nullptr) {
        found(std::nullopt);
        return;
    }
    struct Finding {
        Printer* printer;
        std::function<void(std::optional<controls::Paper>)> found;
    };
    g_subprocess_communicate_utf8_async(
        process, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Finding> finding(static_cast<Finding*>(data));
            guarded([&] {
                auto answer = read_paper(G_SUBPROCESS(source), result);
                if (answer) {
                    Printer& printer = *finding->printer;
                    printer.m_printer = answer->first;
                    printer.m_media = answer->second.name;
                    printer.m_log << "corvalen: pages print on \"" << printer.m_printer
                                  << "\", paper " << printer.m_media << '\n';
                    finding->found(std::move(answer->second));
                } else {
                    finding->found(std::nullopt);
                }
            });
            g_object_unref(source);
        },
        new Finding{this, std::move(found)});
}

void Printer::Print(const std::string& pdf, unsigned most, Job job) {
    GSubprocess* process =
        start({m_program, "print", m_printer, m_media, std::to_string(most)}, pdf, m_log);
    if (process == nullptr) {
        job.done(false);
        return;
    }
    auto run = std::make_unique<Run>();
    run->process = process;
    run->job = std::move(job);
    run->lines = g_data_input_stream_new(g_subprocess_get_stdout_pipe(process));
    read_line(std::move(run));
}

} // namespace corvalen::print
