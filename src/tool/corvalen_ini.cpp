// SPDX-License-Identifier: MIT
// corvalen-ini: reads and changes a terminal's settings file through the same
// accessor that Corvalen uses, so operators and scripts see exactly what the
// browser sees.

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inifile/application.hpp"
#include "inifile/cinifile.hpp"
#include "password/password_hash.hpp"
#include "profile/file_access.hpp"
#include "profile/profile.hpp"
#include "profile/text.hpp"
#include "shell/settings.hpp"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A settings value never holds a line break, so this default cannot be
// mistaken for a value that is there.
constexpr const char* kMissing = "\n";

constexpr std::string_view kUsage =
    R"(Usage: corvalen-ini [--file PATH] [--null] COMMAND [ARGUMENTS]
Reads and changes a Corvalen settings file exactly as Corvalen reads it.

Commands:
  get SECTION KEY [DEFAULT]  print the key's value, or DEFAULT when it is missing
  set SECTION KEY VALUE      set the key, creating it and its section if needed
  delete SECTION [KEY]       remove the key, or the section with all its keys
  keys SECTION               list the key names of the section
  sections                   list the section names of the file
  passwd [--stdin]           ask twice for a new exit password (or read one
                             line from standard input) and store its hash as
                             [Options] PasswordHash, removing Password
  check                      report what in the file Corvalen would not take:
                             unknown names, bad values, no exit password

Options:
  --file PATH  the settings file (default: corvalen.ini beside this program)
  --null       end each listed name with NUL instead of a newline
  --help       show this help and exit
  --version    show the version and exit

Exit status: 0 on success; 1 when a key asked for without a default is
missing, a write fails, a new password is refused or check finds something
wrong; 2 for a usage error.
)";

// Where Corvalen looks for its settings: the directory of its executable,
// which this tool shares.
std::string default_settings_path() {
    const std::string directory = corvalen::application_directory();
    return directory.empty() ? "corvalen.ini" : directory + "/corvalen.ini";
}

int usage_error(const std::string& message) {
    std::cerr << "corvalen-ini: " << message << "\nTry 'corvalen-ini --help'.\n";
    return kExitUsage;
}

int failure(const std::string& path, const std::string& reason) {
    std::cerr << "corvalen-ini: " << path << ": " << reason << '\n';
    return kExitFailure;
}

std::string write_failure_reason() {
    switch (const int error = corvalen::profile::last_write_error()) {
    case EINVAL:
        return "refused: a line break, or a key that holds '=' or starts with '[' or ';', "
               "would break the file's structure";
    case EILSEQ:
        return "refused: the file's encoding cannot hold the text";
    default:
        return std::strerror(error);
    }
}

int report_write(const cInifile& ini, const std::string& path) {
    return ini.Success() ? 0 : failure(path, "cannot write: " + write_failure_reason());
}

// The file itself, as Corvalen would find it; empty when it can be read.
std::string file_problem(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return path + ": " + std::strerror(errno) +
               "; every key has its default, and anyone can leave";
    }
    if (!S_ISREG(status.st_mode)) {
        return path + ": not a regular file; Corvalen reads none of it";
    }
    if (static_cast<std::uintmax_t>(status.st_size) > corvalen::profile::kMaxFileSize) {
        return path + ": larger than 16 MiB; Corvalen reads none of it";
    }
    if (!std::ifstream(path, std::ios::binary)) {
        return path + ": cannot read: " + std::strerror(errno);
    }
    return {};
}

int check(const std::string& path) {
    if (const std::string problem = file_problem(path); !problem.empty()) {
        std::cout << problem << '\n';
        return kExitFailure;
    }
    const std::vector<std::string> lines = corvalen::shell::settings::check(path);
    for (const std::string& line : lines) {
        std::cout << line << '\n';
    }
    return lines.empty() ? 0 : kExitFailure;
}

// The terminal's settings while echo is off, to put back also when the
// program is interrupted.
termios g_saved_terminal{};

void restore_terminal_and_die(int signal_number) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved_terminal);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// One line typed at the terminal without echo; nullopt at the end of input.
std::optional<std::string> read_hidden(const char* prompt) {
    std::cerr << prompt << std::flush;
    const bool terminal = ::tcgetattr(STDIN_FILENO, &g_saved_terminal) == 0;
    if (terminal) {
        termios quiet = g_saved_terminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        std::signal(SIGINT, restore_terminal_and_die);
        std::signal(SIGTERM, restore_terminal_and_die);
        std::signal(SIGHUP, restore_terminal_and_die);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved_terminal);
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGHUP, SIG_DFL);
        std::cerr << '\n';
    }
    if (!got) {
        return std::nullopt;
    }
    return line;
}

// Why a new exit password cannot be used, or empty when it can.
std::string password_refusal(const std::string& password) {
    if (password.empty()) {
        return "an empty password would let anyone out";
    }
    // Longer ones the hash would not take whole, or not at all.
    if (const std::size_t most = corvalen::password::max_new_password_bytes();
        password.size() > most) {
        return "longer than " + std::to_string(most) + " bytes, the most a password hash reads";
    }
    if (!corvalen::profile::is_valid_utf8(password)) {
        return "not valid UTF-8; set the terminal to UTF-8";
    }
    for (const char c : password) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            return "it holds a control character, which cannot be typed into the dialog";
        }
    }
    return {};
}

int passwd(cInifile& ini, const std::string& path, bool from_stdin) {
    std::optional<std::string> password;
    if (from_stdin) {
        std::string line;
        if (std::getline(std::cin, line)) {
            // A script may end its line the Windows way.
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            password = line;
        }
    } else {
        if (::isatty(STDIN_FILENO) == 0) {
            return usage_error("standard input is not a terminal; use 'passwd --stdin'");
        }
        password = read_hidden("New exit password: ");
        if (password) {
            const std::optional<std::string> again = read_hidden("Type it again: ");
            if (!again || *again != *password) {
                return failure(path, "the two entries differ; nothing changed");
            }
        }
    }
    if (!password) {
        return failure(path, "no password given; nothing changed");
    }
    if (const std::string why = password_refusal(*password); !why.empty()) {
        return failure(path, "password refused: " + why + "; nothing changed");
    }
    const std::optional<std::string> hash = corvalen::password::make_hash(*password);
    if (!hash) {
        return failure(path, std::string("cannot make a password hash: ") + std::strerror(errno));
    }
    // The hash first: should removing Password then fail, the hash already
    // takes its place.
    ini.Section("Options");
    ini.Key(corvalen::shell::settings::kPasswordHash.name);
    ini.Value(*hash);
    if (!ini.Success()) {
        return report_write(ini, path);
    }
    ini.Key(corvalen::shell::settings::kPassword.name);
    ini.DeleteKey();
    return report_write(ini, path);
}

void print_names(const std::vector<std::string>& names, bool null_separated) {
    for (const std::string& name : names) {
        std::cout << name << (null_separated ? '\0' : '\n');
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<std::string> path;
    bool null_separated = false;
    std::size_t next = 0;
    for (; next < args.size(); ++next) {
        const std::string& arg = args[next];
        if (arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "corvalen-ini " << CORVALEN_VERSION << '\n';
            return 0;
        }
        if (arg == "--null") {
            null_separated = true;
        } else if (arg == "--file") {
            if (++next == args.size()) {
                return usage_error("--file needs a path");
            }
            path = args[next];
        } else if (arg.starts_with("--file=")) {
            path = arg.substr(7);
        } else if (arg == "--") {
            ++next;
            break;
        } else if (arg.starts_with("-") && arg != "-") {
            return usage_error("unknown option '" + arg + "'");
        } else {
            break;
        }
    }
    if (next == args.size()) {
        return usage_error("no command given");
    }
    const std::string command = args[next];
    const std::vector<std::string> operands(args.begin() + static_cast<std::ptrdiff_t>(next) + 1,
                                            args.end());
    // Stored as it is, such an argument would turn into replacement
    // characters: a text that nobody can type.
    for (const std::string& operand : operands) {
        if (!corvalen::profile::is_valid_utf8(operand)) {
            return usage_error("'" + corvalen::profile::repair_utf8(operand) +
                               "' is not valid UTF-8; set the terminal to UTF-8");
        }
    }
    const std::string file = path.value_or(default_settings_path());
    if (file.empty()) {
        return usage_error("--file needs a path");
    }

    cInifile ini;
    ini.Path(file);
    auto expect = [&](std::size_t least, std::size_t most) {
        return operands.size() >= least && operands.size() <= most;
    };

    if (command == "get" && expect(2, 3)) {
        ini.Section(operands[0]);
        ini.Key(operands[1]);
        ini.Default(operands.size() == 3 ? operands[2] : kMissing);
        const std::string value = ini.Value();
        if (operands.size() == 2 && value == kMissing) {
            return failure(file, "no key '" + operands[1] + "' in section [" + operands[0] + "]");
        }
        std::cout << value << '\n';
        return 0;
    }
    if (command == "set" && expect(3, 3)) {
        ini.Section(operands[0]);
        ini.Key(operands[1]);
        ini.Value(operands[2]);
        return report_write(ini, file);
    }
    if (command == "delete" && expect(1, 2)) {
        ini.Section(operands[0]);
        if (operands.size() == 2) {
            ini.Key(operands[1]);
            ini.DeleteKey();
        } else {
            ini.DeleteSection();
        }
        return report_write(ini, file);
    }
    if (command == "keys" && expect(1, 1)) {
        std::vector<std::string> names;
        std::int32_t count = 0;
        ini.Section(operands[0]);
        ini.EnumerateCurrentSection(names, count);
        print_names(names, null_separated);
        return 0;
    }
    if (command == "sections" && expect(0, 0)) {
        std::vector<std::string> names;
        std::int32_t count = 0;
        ini.EnumerateAllSections(names, count);
        print_names(names, null_separated);
        return 0;
    }
    if (command == "passwd" &&
        (operands.empty() || (operands.size() == 1 && operands[0] == "--stdin"))) {
        return passwd(ini, file, !operands.empty());
    }
    if (command == "check" && expect(0, 0)) {
        return check(file);
    }
    if (command == "get" || command == "set" || command == "delete" || command == "keys" ||
        command == "sections" || command == "passwd" || command == "check") {
        return usage_error("wrong number of arguments for '" + command + "'");
    }
    return usage_error("unknown command '" + command + "'");
}
