// SPDX-License-Identifier: MIT
// The window-placement operations of cInifile and their number conversions.

#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <string_view>

#include "cinifile.hpp"
#include "profile/text.hpp"

namespace {

constexpr const char* kFail = "FAIL";
constexpr double kMarginPixels = 4.0;

// The nearest 32-bit integer, halves to even; out of range is an error.
std::int32_t to_int32(double value) {
    const double rounded = std::nearbyint(value); // the default mode rounds halves to even
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
        throw std::overflow_error("number out of the 32-bit range");
    }
    return static_cast<std::int32_t>(rounded);
}

std::int32_t checked_sum(std::int32_t a, std::int32_t b) {
    std::int32_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        throw std::overflow_error("32-bit sum overflows");
    }
    return sum;
}

// Keeps the far edge (right or bottom) of [start, start + size) at least
// `margin` inside `extent`: first by moving the window, no further than the
// near margin, then by shrinking it.
void fit_far_edge(std::int32_t& start, std::int32_t& size, double extent, double margin) {
    if (checked_sum(start, size) > extent - margin) {
        start = to_int32(extent - margin - size);
        if (start < margin) {
            start = to_int32(margin);
        }
        if (checked_sum(start, size) > extent - margin) {
            size = to_int32(extent - start - margin);
        }
    }
}

// A window value as plain decimal text: digits, and a "-" when negative.
// Plain decimal digits at every magnitude, never an exponent, which the
// reading side would not take.
std::string number_text(double value) {
    std::array<char, 512> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed);
    return {buffer.data(), result.ptr};
}

} // namespace

std::int32_t cInifile::CLngDefault(const std::string& sString, std::int32_t lDefault) {
    const std::string_view mark = std::localeconv()->decimal_point;
    std::string_view text = corvalen::profile::trim_blanks(sString);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::string_view whole =
        text.substr(0, std::min(text.find_first_not_of("0123456789"), text.size()));
    text.remove_prefix(whole.size());
    std::string_view fraction;
    if (!mark.empty() && text.starts_with(mark)) {
        text.remove_prefix(mark.size());
        fraction = text.substr(0, std::min(text.find_first_not_of("0123456789"), text.size()));
        text.remove_prefix(fraction.size());
    }
    if (!text.empty() || (whole.empty() && fraction.empty())) {
        return lDefault;
    }
    while (whole.size() > 1 && whole.front() == '0') {
        whole.remove_prefix(1);
    }
    if (whole.size() > 10) {
        return lDefault;
    }
    std::int64_t magnitude = 0;
    for (const char digit : whole) {
        magnitude = magnitude * 10 + (digit - '0');
    }
    // Round the fraction: above one half up, below down, exactly one half to
    // the even neighbour.
    if (!fraction.empty()) {
        const bool above_half_digit = fraction.front() > '5';
        const bool half_digit = fraction.front() == '5';
        const bool rest_zero = fraction.find_first_not_of('0', 1) == std::string_view::npos;
        if (above_half_digit || (half_digit && !rest_zero) ||
            (half_digit && rest_zero && magnitude % 2 == 1)) {
            ++magnitude;
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) {
        return lDefault;
    }
    return static_cast<std::int32_t>(value);
}

void cInifile::SaveFormPosition(IFormWindow& frmThis) {
    const String saved_key = m_sKey;
    try {
        if (frmThis.WindowState() != IFormWindow::kMinimised) {
            Key("Maximised");
            Value(frmThis.WindowState() == IFormWindow::kMaximised ? "1" : "0");
            if (frmThis.WindowState() != IFormWindow::kMaximised) {
                Key("Left");
                Value(number_text(frmThis.Left()));
                Key("Top");
                Value(number_text(frmThis.Top()));
                Key("Width");
                Value(number_text(frmThis.Width()));
                Key("Height");
                Value(number_text(frmThis.Height()));
            }
        }
        Key(saved_key);
    } catch (...) {
        Key(saved_key);
        m_lLastReturnCode = 0;
    }
}

void cInifile::LoadFormPosition(IFormWindow& frmThis, double lMinWidth, double lMinHeight) {
    const String saved_key = m_sKey;
    const String saved_default = m_sDefault;
    try {
        Default(kFail);
        // The stored text, else the window's own value.
        const auto stored = [&](const char* name, double (IFormWindow::*current)() const) {
            Key(name);
            const std::string text = Value();
            return CLngDefault(text, to_int32((frmThis.*current)()));
        };
        std::int32_t left = stored("Left", &IFormWindow::Left);
        std::int32_t top = stored("Top", &IFormWindow::Top);
        std::int32_t width = stored("Width", &IFormWindow::Width);
        if (width < lMinWidth) {
            width = to_int32(lMinWidth);
        }
        std::int32_t height = stored("Height", &IFormWindow::Height);
        if (height < lMinHeight) {
            height = to_int32(lMinHeight);
        }

        const IScreenMetrics& screen = frmThis.Screen();
        const double margin_x = kMarginPixels * static_cast<double>(screen.TwipsPerPixelX());
        const double margin_y = kMarginPixels * static_cast<double>(screen.TwipsPerPixelY());
        if (left < margin_x) {
            left = to_int32(margin_x);
        }
        if (top < margin_y) {
            top = to_int32(margin_y);
        }
        fit_far_edge(left, width, screen.Width(), margin_x);
        fit_far_edge(top, height, screen.Height(), margin_y);
        if (width >= lMinWidth && height >= lMinHeight) {
            frmThis.Move(left, top, width, height);
        }

        Key("Maximised");
        if (CLngDefault(Value(), 0) != 0) {
            frmThis.WindowState(IFormWindow::kMaximised);
        }
        Key(saved_key);
        Default(saved_default);
    } catch (...) {
        Key(saved_key);
        Default(saved_default);
        m_lLastReturnCode = 0;
    }
}
