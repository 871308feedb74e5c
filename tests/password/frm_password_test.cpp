// SPDX-License-Identifier: MIT
// AskPassword's answer for every way of leaving the dialog.

#include <gtest/gtest.h>

#include "password/frm_password.hpp"

namespace corvalen::test {
namespace {

// How the visitor leaves the window: typed text, and whether it was closed
// from the title bar rather than hidden by a button or key.
struct Visit {
    std::string typed;
    bool closed_from_title_bar = false;
};

class FakePasswordWindow : public controls::IPasswordWindow {
public:
    FakePasswordWindow(const Visit& visit, int& alive) : m_visit(visit), m_alive(alive) {
        ++m_alive;
    }
    ~FakePasswordWindow() override { --m_alive; }
    void show_modal() override { m_shown = true; }
    [[nodiscard]] bool closed() const override { return m_visit.closed_from_title_bar; }
    [[nodiscard]] std::string text() const override {
        EXPECT_TRUE(m_shown) << "the text is read after the dialog was left";
        return m_visit.typed;
    }

private:
    Visit m_visit;
    int& m_alive;
    bool m_shown = false;
};

TEST(AskPassword, ComparesExactlyWhicheverWayTheDialogWasLeft) {
    const struct {
        const char* stored;
        Visit visit;
        bool result;
    } cases[] = {
        {"Geheim", {"Geheim"}, true},
        {"Geheim", {"geheim"}, false},
        {"Geheim", {" Geheim"}, false},
        {"Geheim", {"Geheim "}, false},
        {"Geheim", {""}, false},
        {"Geheim", {"Geheim", true}, false},
        {"wachtwoord€é", {"wachtwoord€é"}, true},
        {"wachtwoord€é", {"wachtwoord€e"}, false},
        {"", {""}, true},
        {"", {"x"}, false},
        {"", {"x", true}, true},
        {" ", {""}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " / " + c.visit.typed);
        int alive = 0;
        frmPassword dialog([&] { return std::make_unique<FakePasswordWindow>(c.visit, alive); });
        std::string stored = c.stored;
        EXPECT_EQ(dialog.AskPassword(stored), c.result);
        EXPECT_EQ(stored, c.stored) << "the caller's string is not changed";
        EXPECT_EQ(alive, 0) << "the window is destroyed before AskPassword returns";
    }
}

TEST(AskPassword, EveryCallBuildsItsWindowAfresh) {
    int alive = 0;
    int built = 0;
    std::vector<Visit> visits{{"wrong"}, {"right"}};
    frmPassword dialog([&] {
        return std::make_unique<FakePasswordWindow>(visits[static_cast<std::size_t>(built++)],
                                                    alive);
    });
    EXPECT_FALSE(dialog.AskPassword("right"));
    EXPECT_TRUE(dialog.AskPassword("right"));
    EXPECT_EQ(built, 2);
    EXPECT_EQ(alive, 0);
}

} // namespace
} // namespace corvalen::test
