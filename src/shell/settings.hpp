// SPDX-License-Identifier: MIT
#pragma once

// Every section and key of corvalen.ini that Corvalen reads, with its default
// and the values it takes: frmBrowser reads the file by these descriptions,
// and `corvalen-ini check` checks a file against them, so that the two agree.

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class cInifile;

namespace corvalen::shell::settings {

// What a key's value may be.
enum class Kind {
    Text,         // any text
    Address,      // any text; an empty one navigates nowhere
    Password,     // any text (see check: an empty password lets anyone out)
    PasswordHash, // empty, or a crypt(3) hash this system accepts (bcrypt: used but reported)
    Switch,       // "0" hides a button; "1" or empty shows it
    Flag,         // "1" on; "0" or empty off
    Seconds,      // a whole number from `least` to `most`
    Number,       // a whole number from `least` to `most`, below 0 too where `least` is
    IdleSeconds,  // as Seconds; "0" or empty too, for never
    Megabytes,    // a whole number from `least` to `most`; "0" or empty too, for none
    SitePattern,  // [scheme://]host[:port][/path]
    Choice,       // one of `choices`
    Layout,       // the name of an on-screen keyboard's layout
    Printer,      // empty, or a name CUPS takes for a queue
    Paper,        // empty, or the name of a paper size (iso_a4, na_letter)
};

struct Key {
    const char* name;
    const char* fallback; // the default, for a missing key
    Kind kind;
    const char* wanted = nullptr;  // what a value must be, for a report
    const char* outcome = nullptr; // what a value that is not becomes
    int least = 0;
    int most = 0;
    bool secret = false; // its value never appears in a report
    std::span<const char* const> choices = {};
};

inline constexpr Key kHomepage{"Homepage", "about:blank", Kind::Address};
inline constexpr Key kPassword{"Password", "", Kind::Password, nullptr, nullptr, 0, 0, true};
inline constexpr Key kPasswordHash{"PasswordHash",
                                   "",
                                   Kind::PasswordHash,
                                   "a hash this system accepts (corvalen-ini passwd makes one)",
                                   "nobody can leave with the exit password",
                                   0,
                                   0,
                                   true};
inline constexpr const char* kRequestChoices[] = {"", "pages", "all"};
inline constexpr Key kAllowedRequests{"AllowedRequests",
                                      "pages",
                                      Kind::Choice,
                                      "pages or all",
                                      "only pages are held to the allowed sites",
                                      0,
                                      0,
                                      false,
                                      kRequestChoices};
inline constexpr std::array kOptions{kHomepage, kPassword, kPasswordHash, kAllowedRequests};

inline constexpr const char* kButtonWanted = "0 or 1";
inline constexpr const char* kButtonOutcome = "the button is shown";
inline constexpr Key kBackEnabled{"BackEnabled", "1", Kind::Switch, kButtonWanted, kButtonOutcome};
inline constexpr Key kForwardEnabled{"ForwardEnabled", "1", Kind::Switch, kButtonWanted,
                                     kButtonOutcome};
inline constexpr Key kStopEnabled{"StopEnabled", "1", Kind::Switch, kButtonWanted, kButtonOutcome};
inline constexpr Key kRefreshEnabled{"RefreshEnabled", "1", Kind::Switch, kButtonWanted,
                                     kButtonOutcome};
inline constexpr Key kHomeEnabled{"HomeEnabled", "1", Kind::Switch, kButtonWanted, kButtonOutcome};
inline constexpr std::array kToolbar{kBackEnabled, kForwardEnabled, kStopEnabled, kRefreshEnabled,
                                     kHomeEnabled};

inline constexpr Key kIdleReset{"IdleReset",
                                "0",
                                Kind::IdleSeconds,
                                "a whole number from 10 to 86400",
                                "sessions do not end for lack of input",
                                10,
                                86400};
// 20 s by default: time enough to hear the notice and answer it, also for a
// visitor who needs more time to find a key.
inline constexpr Key kIdleWarning{"IdleWarning",
                                  "20",
                                  Kind::Seconds,
                                  "a whole number from 0 to 86400",
                                  "the notice stands for the default 20 seconds",
                                  0,
                                  86400};
inline constexpr Key kClearOnHome{"ClearOnHome", "0", Kind::Flag, "0 or 1",
                                  "the home button keeps the session"};
inline constexpr std::array kSession{kIdleReset, kIdleWarning, kClearOnHome};

inline constexpr Key kStillThere{"StillThere", "Are you still there?", Kind::Text};
inline constexpr Key kContinue{"Continue", "Continue", Kind::Text};
inline constexpr Key kBlocked{"Blocked", "This page is not available on this terminal.",
                              Kind::Text};
inline constexpr Key kUnreachable{
    "Unreachable",
    "This page cannot be reached at the moment. It will be tried again automatically.", Kind::Text};
// What assistive technology says each toolbar button is.
inline constexpr Key kBack{"Back", "Back", Kind::Text};
inline constexpr Key kForward{"Forward", "Forward", Kind::Text};
inline constexpr Key kStop{"Stop", "Stop", Kind::Text};
inline constexpr Key kRefresh{"Refresh", "Refresh", Kind::Text};
inline constexpr Key kHome{"Home", "Home", Kind::Text};
inline constexpr Key kExit{"Exit", "Exit", Kind::Text};
// What speech says when the speech key turns it on and off.
inline constexpr Key kSpeechOn{"SpeechOn", "Speech on", Kind::Text};
inline constexpr Key kSpeechOff{"SpeechOff", "Speech off", Kind::Text};
// What a visitor who prints is shown, and told.
inline constexpr Key kPrinting{"Printing", "Printing…", Kind::Text};
inline constexpr Key kPrinted{"Printed", "Printed", Kind::Text};
inline constexpr Key kPrintingFailed{"PrintingFailed", "Printing failed", Kind::Text};
inline constexpr Key kPrintLimit{
    "PrintLimit", "Not printed: that is more pages than one visitor may print here.", Kind::Text};
inline constexpr std::array kTexts{kStillThere, kContinue, kBlocked,        kUnreachable,
                                   kBack,       kForward,  kStop,           kRefresh,
                                   kHome,       kExit,     kSpeechOn,       kSpeechOff,
                                   kPrinting,   kPrinted,  kPrintingFailed, kPrintLimit};

inline constexpr Key kKeyboard{"Keyboard", "0", Kind::Flag, "0 or 1", "no on-screen keyboard"};
inline constexpr Key kKeyboardLayout{"KeyboardLayout", "qwerty", Kind::Layout,
                                     "qwerty, azerty or qwertz", "the keyboard is qwerty"};
inline constexpr const char* kCursorChoices[] = {"", "0", "1", "2"};
inline constexpr Key kHideCursor{
    "HideCursor", "0",           Kind::Choice, "0, 1 or 2", "the cursor is shown", 0, 0,
    false,        kCursorChoices};
inline constexpr Key kPageZoom{"PageZoom", "1", Kind::Flag, "0 or 1", "pages can be zoomed"};
inline constexpr std::array kTouch{kKeyboard, kKeyboardLayout, kHideCursor, kPageZoom};

inline constexpr Key kWebProcessLimit{"WebProcessLimit",
                                      "0",
                                      Kind::Megabytes,
                                      "a whole number of megabytes from 100 to 65536",
                                      "the web process is never replaced",
                                      100,
                                      65536};
inline constexpr std::array kMemory{kWebProcessLimit};

inline constexpr const char* kSpeechChoices[] = {"", "0", "1", "2"};
inline constexpr Key kSpeech{"Speech", "0", Kind::Choice, "0, 1 or 2",   "there is no speech",
                             0,        0,   false,        kSpeechChoices};
// Keys in GTK's accelerator syntax, checked when the program starts.
inline constexpr Key kSpeechKey{"SpeechKey", "<Control><Alt>s", Kind::Text};
inline constexpr Key kReadKey{"ReadKey", "<Control><Alt>r", Kind::Text};
inline constexpr Key kVoice{"Voice", "", Kind::Text};
inline constexpr Key kRate{
    "Rate", "0", Kind::Number, "a whole number from -100 to 100", "speech has the voice's own rate",
    -100,   100};
inline constexpr Key kZoom{
    "Zoom", "100", Kind::Number, "a whole number from 100 to 300", "pages start at 100 %",
    100,    300};
inline constexpr std::array kAccessibility{kSpeech, kSpeechKey, kReadKey, kVoice, kRate, kZoom};

inline constexpr Key kMetricsFile{"MetricsFile", "", Kind::Text};
inline constexpr Key kMetricsInterval{"MetricsInterval",
                                      "15",
                                      Kind::Seconds,
                                      "a whole number of seconds from 1 to 86400",
                                      "the metrics are written every 15 seconds",
                                      1,
                                      86400};
inline constexpr std::array kFleet{kMetricsFile, kMetricsInterval};

inline constexpr Key kPrintingEnabled{"Enabled", "0", Kind::Flag, "0 or 1",
                                      "pages are not printed"};
inline constexpr Key kPrinter{"Printer", "", Kind::Printer, "the name of a CUPS queue",
                              "the default printer"};
inline constexpr Key kPagesPerSession{"PagesPerSession",
                                      "10",
                                      Kind::Number,
                                      "a whole number from 0 to 10000",
                                      "a visitor session prints at most 10 pages",
                                      0,
                                      10000};
inline constexpr Key kPaperSize{"PaperSize", "", Kind::Paper,
                                "a paper size such as iso_a4 or na_letter",
                                "the printer's own paper"};
inline constexpr std::array kPrintingKeys{kPrintingEnabled, kPrinter, kPagesPerSession, kPaperSize};

// [AllowedSites]: key names are free; each value is one pattern.
inline constexpr Key kAllowedSite{"", "", Kind::SitePattern, "a site pattern", "ignored"};

struct Section {
    const char* name;
    std::span<const Key> keys;
    // For a section whose key names are free: what every key holds.
    const Key* any_key = nullptr;
};

inline constexpr std::array kSections{
    Section{"Options", kOptions},
    Section{"Toolbar", kToolbar},
    Section{"Session", kSession},
    Section{"Texts", kTexts},
    Section{"AllowedSites", {}, &kAllowedSite},
    Section{"Touch", kTouch},
    Section{"Memory", kMemory},
    Section{"Accessibility", kAccessibility},
    Section{"Fleet", kFleet},
    Section{"Printing", kPrintingKeys},
};

// The value of key `name` in the accessor's current section; `fallback` when
// the key is missing.
std::string value_of(cInifile& ini, const std::string& name, const char* fallback);

// Whether `key` takes `value` as it is. Text, addresses and passwords take
// anything here; check() has its own words on an empty one.
[[nodiscard]] bool accepts(const Key& key, const std::string& value);

// One line that says a value is not taken and what becomes of it:
// [Session] IdleReset="9" is not a whole number from 10 to 86400; sessions do
// not end for lack of input
[[nodiscard]] std::string refusal(std::string_view section, std::string_view key_name,
                                  const Key& key, const std::string& value);

// The known name nearest to `name` (ignoring letter case), when it is near
// enough to be what was meant.
[[nodiscard]] std::optional<std::string> nearest(std::string_view name,
                                                 const std::vector<std::string>& known);

// Reads the settings file at `path` as Corvalen does and describes, one
// line each, what in it is not as Corvalen expects: unknown sections and
// keys, sections given twice, values a key does not take, and no exit
// password at all. Empty when nothing is wrong. Whether the file can be read
// at all is the caller's business.
[[nodiscard]] std::vector<std::string> check(const std::string& path);

} // namespace corvalen::shell::settings
