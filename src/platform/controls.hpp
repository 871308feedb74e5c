// SPDX-License-Identifier: MIT
#pragma once

// What the windows need of their controls, as plain C++ interfaces: the
// windows' logic is written against these, the GTK widgets implement them,
// and tests use fakes. Sizes are in twips (15 to the logical pixel).

#include <string>

namespace corvalen::platform {

inline constexpr float kTwipsPerPixel = 15.0F;

class IToolbarButton {
public:
    virtual ~IToolbarButton() = default;
    // A hidden button is neither shown nor clickable; the others close up.
    virtual void Visible(bool visible) = 0;
};

class IToolbar {
public:
    virtual ~IToolbar() = default;
    // The button with this key; throws std::out_of_range when there is none.
    virtual IToolbarButton& Buttons(const std::string& key) = 0;
};

// The embedded browser. Every call returns without waiting for a page.
class IBrowserControl {
public:
    virtual ~IBrowserControl() = default;
    virtual void Navigate(const std::string& url) = 0;
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    virtual void Stop() = 0;
    virtual void Refresh() = 0;
    virtual void Width(float twips) = 0;
    virtual void Height(float twips) = 0;
};

// A window's client area.
class IClientArea {
public:
    virtual ~IClientArea() = default;
    [[nodiscard]] virtual float ScaleWidth() const = 0;
    [[nodiscard]] virtual float ScaleHeight() const = 0;
};

} // namespace corvalen::platform
