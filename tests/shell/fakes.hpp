// SPDX-License-Identifier: MIT
#pragma once

// Test doubles of the controls: they record what the window's logic asks.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "controls/controls.hpp"
#include "shell/frm_browser.hpp"

namespace corvalen::test {

class FakeToolbar : public controls::IToolbar {
public:
    struct Button : controls::IToolbarButton {
        bool visible = true;
        std::string name;
        void Visible(bool value) override { visible = value; }
        void AccessibleName(const std::string& value) override { name = value; }
    };

    FakeToolbar() {
        for (const char* key : {"back", "forward", "stop", "refresh", "home", "end"}) {
            buttons[key];
        }
    }
    controls::IToolbarButton& Buttons(const std::string& key) override {
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

class FakeBrowser : public controls::IBrowserControl {
public:
    void Navigate(const std::string& url) override { calls.push_back("Navigate " + url); }
    [[nodiscard]] bool Allows(const std::string& url) const override {
        return sites.allows(url, true);
    }
    void GoBack() override { calls.emplace_back("GoBack"); }
    void GoForward() override { calls.emplace_back("GoForward"); }
    void Stop() override { calls.emplace_back("Stop"); }
    void Refresh() override { calls.emplace_back("Refresh"); }
    void Width(float twips) override { width = twips; }
    void Height(float twips) override { height = twips; }
    void ClearSession() override { calls.emplace_back("ClearSession"); }
    void AllowSites(controls::SiteList list) override {
        calls.emplace_back("AllowSites");
        sites = std::move(list);
    }

    void HomePage(const std::string& url) override { home_page = url; }
    void UnreachableText(const std::string& text) override { unreachable_text = text; }
    std::optional<std::uint64_t> WebProcessMemory() override { return memory_kb; }
    bool RenewWebProcess() override {
        calls.emplace_back("RenewWebProcess");
        return !loading;
    }
    void ReplaceWebProcess(const std::string& url) override {
        calls.emplace_back("ReplaceWebProcess " + url);
    }
    // Each print waits in `prints` until the test answers it.
    void PrintPage(const controls::Paper& paper, unsigned most_pages,
                   std::function<void(std::optional<std::string>)> done) override {
        calls.push_back("PrintPage " + paper.name + " " + std::to_string(most_pages));
        prints.push_back(std::move(done));
    }

    std::vector<std::string> calls;
    std::vector<std::function<void(std::optional<std::string>)>> prints;
    controls::SiteList sites;
    std::string home_page;
    std::string unreachable_text;
    std::optional<std::uint64_t> memory_kb;
    bool loading = false;
    float width = -1;
    float height = -1;
};

class FakeClientArea : public controls::IClientArea {
public:
    [[nodiscard]] float ScaleWidth() const override { return width; }
    [[nodiscard]] float ScaleHeight() const override { return height; }

    float width = 0;
    float height = 0;
};

class FakeRuntime : public controls::IRuntime {
public:
    void MsgBoxCritical(const std::string& prompt, const std::string& title) override {
        message_boxes.push_back(title + ": " + prompt);
    }
    void End() override { ++ended; }
    void CloseDialogs() override { ++dialogs_closed; }

    std::vector<std::string> message_boxes;
    int ended = 0;
    int dialogs_closed = 0;
};

class FakeNotice : public controls::INotice {
public:
    void Show(const std::string& text, const std::string& button, int seconds_left) override {
        shown = text + " [" + button + "] " + std::to_string(seconds_left);
    }
    void Hide() override { shown.clear(); }
    void Flash(const std::string& text) override { flashed.push_back(text); }
    void Message(const std::string& text, unsigned seconds) override {
        flashed.push_back(text + " for " + std::to_string(seconds) + " s");
    }

    std::string shown; // empty while hidden
    std::vector<std::string> flashed;
};

// Answers AskPassword from a script and records what it was asked.
struct PasswordScript {
    std::deque<bool> answers;
    std::vector<std::string> asked;
    int dialogs_created = 0;
    std::function<void()> while_open; // what happens while the dialog stands
};

class FakePasswordDialog : public controls::IPasswordDialog {
public:
    explicit FakePasswordDialog(PasswordScript& script) : m_script(script) {}
    bool AskPassword(std::string sPassword) override {
        m_script.asked.push_back(std::move(sPassword));
        if (m_script.while_open) {
            m_script.while_open();
        }
        const bool answer = m_script.answers.front();
        m_script.answers.pop_front();
        return answer;
    }
    bool AskPasswordHash(std::string sHash) override { return AskPassword("hash " + sHash); }

private:
    PasswordScript& m_script;
};

// A printer that keeps what it is asked until the test answers.
class FakePrinter : public controls::IPrinter {
public:
    void Find(const controls::PrintSettings& settings,
              std::function<void(std::optional<controls::Paper>)> then) override {
        looked_up = settings;
        found = std::move(then);
    }
    void Print(const std::string& pdf, unsigned most, Job job) override {
        jobs.push_back({pdf, most, std::move(job)});
    }

    std::optional<controls::PrintSettings> looked_up;
    std::function<void(std::optional<controls::Paper>)> found;
    struct Asked {
        std::string pdf;
        unsigned most;
        Job job;
    };
    std::vector<Asked> jobs;
};

// frmBrowser over fakes, with its settings file in directory.
struct FakeShell {
    explicit FakeShell(const std::string& directory)
        : form(
              toolbar, browser, area, runtime, notice,
              [this] {
                  ++password.dialogs_created;
                  return std::make_unique<FakePasswordDialog>(password);
              },
              directory, log) {}

    FakeToolbar toolbar;
    FakeBrowser browser;
    FakeClientArea area;
    FakeRuntime runtime;
    FakeNotice notice;
    PasswordScript password;
    std::ostringstream log;
    frmBrowser form;
};

} // namespace corvalen::test
