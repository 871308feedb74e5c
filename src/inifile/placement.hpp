// SPDX-License-Identifier: MIT
#pragma once

// What the window-placement operations of cInifile need of a window and its
// screen. All positions and sizes are in twips.

#include <cstdint>
#include <stdexcept>
#include <string>

// Raised by a window that does not offer an operation.
class MissingOperation : public std::runtime_error {
public:
    explicit MissingOperation(const std::string& name)
        : std::runtime_error("the window has no operation " + name) {}
};

// The screen that shows a window.
class IScreenMetrics {
public:
    virtual ~IScreenMetrics() = default;
    [[nodiscard]] virtual float Width() const = 0;
    [[nodiscard]] virtual float Height() const = 0;
    [[nodiscard]] virtual float TwipsPerPixelX() const = 0;
    [[nodiscard]] virtual float TwipsPerPixelY() const = 0;
};

// A window as the placement operations reach it. Every operation raises
// MissingOperation unless the window overrides it; an operation that fails
// raises an exception of its own.
class IFormWindow {
public:
    // WindowState values.
    static constexpr int kMinimised = 1;
    static constexpr int kMaximised = 2;

    virtual ~IFormWindow() = default;
    [[nodiscard]] virtual double WindowState() const { throw MissingOperation("WindowState"); }
    virtual void WindowState(std::int32_t /*state*/) { throw MissingOperation("WindowState"); }
    [[nodiscard]] virtual double Left() const { throw MissingOperation("Left"); }
    [[nodiscard]] virtual double Top() const { throw MissingOperation("Top"); }
    [[nodiscard]] virtual double Width() const { throw MissingOperation("Width"); }
    [[nodiscard]] virtual double Height() const { throw MissingOperation("Height"); }
    virtual void Move(std::int32_t /*left*/, std::int32_t /*top*/, std::int32_t /*width*/,
                      std::int32_t /*height*/) {
        throw MissingOperation("Move");
    }
    // The screen that shows the window.
    [[nodiscard]] virtual const IScreenMetrics& Screen() const { throw MissingOperation("Screen"); }
};
