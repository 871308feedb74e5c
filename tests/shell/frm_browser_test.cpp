// SPDX-License-Identifier: MIT
// The main window's start-up and resize logic against fake controls.

#include <gtest/gtest.h>

#include "shell/fakes.hpp"
#include "shell/frm_browser.hpp"
#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

using Keys = std::vector<std::string>;

class FormLoadTest : public ::testing::Test {
protected:
    void settings(const std::string& text) { write_bytes(dir.file("corvalen.ini"), text); }
    void load() { form.Form_Load(); }

    TempDir dir;
    FakeToolbar toolbar;
    FakeBrowser browser;
    FakeClientArea area;
    frmBrowser form{toolbar, browser, area, dir.path()};
};

TEST_F(FormLoadTest, WithoutSettingsFileTheDefaultsApply) {
    load();
    EXPECT_EQ(browser.calls, Keys{"Navigate about:blank"});
    EXPECT_TRUE(toolbar.hidden().empty());
    EXPECT_EQ(form.exit_password(), "");
}

TEST_F(FormLoadTest, OnlyTheTextZeroHidesAButton) {
    const struct {
        const char* key_name;
        const char* button;
    } switches[] = {{"BackEnabled", "back"},
                    {"ForwardEnabled", "forward"},
                    {"StopEnabled", "stop"},
                    {"RefreshEnabled", "refresh"},
                    {"HomeEnabled", "home"}};
    for (const auto& row : switches) {
        for (const std::string value : {"0", "1", "", "00", "0x", " 0", "0 ", "O"}) {
            SCOPED_TRACE(std::string(row.key_name) + "=" + value);
            FakeToolbar fresh;
            frmBrowser fresh_form{fresh, browser, area, dir.path()};
            // Quoted, so that the value read is exactly the text, blanks included.
            settings(std::string("[Toolbar]\n") + row.key_name + "=\"" + value + "\"\n");
            fresh_form.Form_Load();
            const bool hides = value == "0";
            EXPECT_EQ(fresh.hidden(), hides ? Keys{row.button} : Keys{});
        }
    }
}

TEST_F(FormLoadTest, AllSwitchesOffLeaveOnlyEnd) {
    settings("[Toolbar]\nBackEnabled=0\nForwardEnabled=0\nStopEnabled=0\nRefreshEnabled=0\n"
             "HomeEnabled=0\n[Options]\nHomepage=http://127.0.0.1/\nPassword= p w \n");
    load();
    EXPECT_EQ(toolbar.hidden(), (Keys{"back", "forward", "home", "refresh", "stop"}));
    EXPECT_EQ(browser.calls, Keys{"Navigate http://127.0.0.1/"});
    EXPECT_EQ(form.exit_password(), "p w");
}

TEST_F(FormLoadTest, HomePageAsRead) {
    const std::string long_page = "http://127.0.0.1/" + std::string(300 - 17, 'a');
    settings("[Options]\nHomepage=" + long_page + "\n");
    load();
    EXPECT_EQ(browser.calls, Keys{"Navigate " + long_page.substr(0, 254)});

    FakeBrowser second;
    frmBrowser form2{toolbar, second, area, dir.path()};
    settings("[Options]\nHomepage=\n");
    form2.Form_Load();
    EXPECT_EQ(second.calls, Keys{"Navigate "}) << "an empty home page is not the default";

    settings("[Options]\nHomepage=http://edited.example/\n");
    EXPECT_EQ(form2.home_page(), "") << "the settings are read once, at load";
}

TEST(FormResize, BrowserFillsTheClientAreaBelowTheToolbar) {
    FakeToolbar toolbar;
    FakeBrowser browser;
    FakeClientArea area;
    frmBrowser form{toolbar, browser, area, "/nonexistent"};
    const struct {
        float width, height, browser_height;
    } sizes[] = {
        {1024 * 15.0F, 768 * 15.0F, 736 * 15.0F},
        {7650, 5985, 5505},
        {1920 * 15.0F, 1080 * 15.0F, 1048 * 15.0F},
        {150, 300, 0}, // smaller than the toolbar: nothing left for the page
    };
    for (const auto& size : sizes) {
        area.width = size.width;
        area.height = size.height;
        form.Form_Resize();
        EXPECT_EQ(browser.width, size.width);
        EXPECT_EQ(browser.height, size.browser_height);
    }
    EXPECT_TRUE(browser.calls.empty());
}

} // namespace
} // namespace corvalen::test
