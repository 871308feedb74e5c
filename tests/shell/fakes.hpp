// SPDX-License-Identifier: MIT
#pragma once

// Test doubles of the controls: they record what the window's logic asks.

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/controls.hpp"

namespace corvalen::test {

class FakeToolbar : public platform::IToolbar {
public:
    struct Button : platform::IToolbarButton {
        bool visible = true;
        void Visible(bool value) override { visible = value; }
    };

    FakeToolbar() {
        for (const char* key : {"back", "forward", "stop", "refresh", "home", "end"}) {
            buttons[key];
        }
    }
    platform::IToolbarButton& Buttons(const std::string& key) override {
        const auto found = buttons.find(key);
        if (found == buttons.end()) {
            throw std::out_of_range(key);
        }
        return found->second;
    }
    [[nodiscard]] std::vector<std::string> hidden() const {
        std::vector<std::string> keys;
        for (const auto& [key, button] : buttons) {
            if (!button.visible) {
                keys.push_back(key);
            }
        }
        return keys;
    }

    std::map<std::string, Button> buttons;
};

class FakeBrowser : public platform::IBrowserControl {
public:
    void Navigate(const std::string& url) override { calls.push_back("Navigate " + url); }
    void GoBack() override { calls.emplace_back("GoBack"); }
    void GoForward() override { calls.emplace_back("GoForward"); }
    void Stop() override { calls.emplace_back("Stop"); }
    void Refresh() override { calls.emplace_back("Refresh"); }
    void Width(float twips) override { width = twips; }
    void Height(float twips) override { height = twips; }

    std::vector<std::string> calls;
    float width = -1;
    float height = -1;
};

class FakeClientArea : public platform::IClientArea {
public:
    [[nodiscard]] float ScaleWidth() const override { return width; }
    [[nodiscard]] float ScaleHeight() const override { return height; }

    float width = 0;
    float height = 0;
};

} // namespace corvalen::test
