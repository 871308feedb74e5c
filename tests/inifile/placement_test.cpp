// SPDX-License-Identifier: MIT
// Saving and restoring a window's placement, against a fake window and screen
// and a real settings file.

#include <gtest/gtest.h>

#include "inifile/cinifile.hpp"
#include "support/temp_dir.hpp"

namespace corvalen::test {
namespace {

using namespace std::string_literals;

struct FakeScreen : IScreenMetrics {
    float width = 1024 * 15.0F;
    float height = 768 * 15.0F;
    [[nodiscard]] float Width() const override { return width; }
    [[nodiscard]] float Height() const override { return height; }
    [[nodiscard]] float TwipsPerPixelX() const override { return 15.0F; }
    [[nodiscard]] float TwipsPerPixelY() const override { return 15.0F; }
};

struct Moved {
    std::int32_t left, top, width, height;
    bool operator==(const Moved&) const = default;
};

// A window with every operation; has_top and move_fails take some away.
struct FakeWindow : IFormWindow {
    double state = 0;
    double left = 1200, top = 900, width = 9000, height = 6000;
    bool has_top = true;
    bool move_fails = false;
    FakeScreen screen;
    std::vector<Moved> moves;
    int maximised = 0;

    [[nodiscard]] double WindowState() const override { return state; }
    void WindowState(std::int32_t value) override {
        EXPECT_EQ(value, kMaximised);
        ++maximised;
    }
    [[nodiscard]] double Left() const override { return left; }
    [[nodiscard]] double Top() const override { return has_top ? top : IFormWindow::Top(); }
    [[nodiscard]] double Width() const override { return width; }
    [[nodiscard]] double Height() const override { return height; }
    void Move(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) override {
        if (move_fails) {
            throw std::runtime_error("refused");
        }
        moves.push_back({l, t, w, h});
    }
    [[nodiscard]] const IScreenMetrics& Screen() const override { return screen; }
};

class PlacementTest : public ::testing::Test {
protected:
    PlacementTest() {
        ini.Path(path);
        ini.Section("Window");
        ini.Key(std::nullopt);
        ini.Default("caller's default");
    }
    void stored(const std::string& keys) { write_bytes(path, "[Window]\n" + keys); }
    // The fields that the operations must leave as they found them.
    void expect_state_kept() {
        EXPECT_EQ(ini.Key(), std::nullopt);
        EXPECT_EQ(ini.Default(), "caller's default");
    }

    TempDir dir;
    std::string path = dir.file("placement.ini");
    cInifile ini;
    FakeWindow window;
};

TEST_F(PlacementTest, SaveWritesByWindowState) {
    stored("Left=1\nTop=2\nWidth=3\nHeight=4\n");
    ini.Key("x");
    ini.Value("y"); // LastReturnCode 1
    ini.Key(std::nullopt);

    window.state = IFormWindow::kMinimised;
    ini.SaveFormPosition(window);
    EXPECT_EQ(read_bytes(path), "[Window]\nLeft=1\nTop=2\nWidth=3\nHeight=4\nx=y\n");
    EXPECT_TRUE(ini.Success()) << "nothing written, LastReturnCode unchanged";

    window.state = IFormWindow::kMaximised;
    ini.SaveFormPosition(window);
    EXPECT_EQ(read_bytes(path), "[Window]\nLeft=1\nTop=2\nWidth=3\nHeight=4\nx=y\nMaximised=1\n");

    window.state = 0;
    ini.SaveFormPosition(window);
    EXPECT_EQ(read_bytes(path),
              "[Window]\nLeft=1200\nTop=900\nWidth=9000\nHeight=6000\nx=y\nMaximised=0\n");
    EXPECT_TRUE(ini.Success());
    expect_state_kept();

    write_bytes(path, "");
    ini.SaveFormPosition(window);
    EXPECT_EQ(read_bytes(path),
              "[Window]\nMaximised=0\nLeft=1200\nTop=900\nWidth=9000\nHeight=6000\n")
        << "five keys in order";

    // Plain digits at every magnitude, so that loading reads them back.
    window.left = 100000;
    window.width = 123456789;
    ini.SaveFormPosition(window);
    EXPECT_EQ(read_bytes(path),
              "[Window]\nMaximised=0\nLeft=100000\nTop=900\nWidth=123456789\nHeight=6000\n");
}

TEST_F(PlacementTest, SaveStopsAtAMissingOperation) {
    window.has_top = false;
    ini.SaveFormPosition(window);
    EXPECT_EQ(read_bytes(path), "[Window]\nMaximised=0\nLeft=1200\n");
    EXPECT_FALSE(ini.Success());
    expect_state_kept();
}

struct LoadCase {
    const char* name;
    std::string keys;
    float screen_width, screen_height; // pixels
    double window_left, window_width;
    std::vector<Moved> moves;
    int maximised;
};

TEST_F(PlacementTest, LoadFitsTheScreen) {
    const LoadCase cases[] = {
        {"empty section: own bounds, minimum size, margins",
         "",
         1024,
         768,
         0,
         2000,
         {{60, 900, 3000, 6000}},
         0},
        {"right edge",
         "Left=14000\nWidth=4000\nTop=900\nHeight=6000\n",
         1024,
         768,
         0,
         0,
         {{11300, 900, 4000, 6000}},
         0},
        {"wider than the screen",
         "Left=500\nWidth=20000\nTop=900\nHeight=6000\n",
         1024,
         768,
         0,
         0,
         {{60, 900, 15240, 6000}},
         0},
        {"bottom edge",
         "Left=100\nWidth=4000\nTop=11000\nHeight=4000\n",
         1024,
         768,
         0,
         0,
         {{100, 7460, 4000, 4000}},
         0},
        {"exactly at the margins is left alone",
         "Left=60\nWidth=15240\nTop=60\nHeight=11400\n",
         1024,
         768,
         0,
         0,
         {{60, 60, 15240, 11400}},
         0},
        {"screen below the minimum: no move", "Width=3000\nMaximised=1\n", 200, 150, 0, 0, {}, 1},
        {"maximised 1", "Maximised=1\n", 1024, 768, 1200, 9000, {{1200, 900, 9000, 6000}}, 1},
        {"maximised -1", "Maximised=-1\n", 1024, 768, 1200, 9000, {{1200, 900, 9000, 6000}}, 1},
        {"maximised 7", "Maximised= 7 \n", 1024, 768, 1200, 9000, {{1200, 900, 9000, 6000}}, 1},
        {"maximised 0", "Maximised=0\n", 1024, 768, 1200, 9000, {{1200, 900, 9000, 6000}}, 0},
        {"maximised FAIL", "Maximised=FAIL\n", 1024, 768, 1200, 9000, {{1200, 900, 9000, 6000}}, 0},
        {"maximised empty", "Maximised=\n", 1024, 768, 1200, 9000, {{1200, 900, 9000, 6000}}, 0},
        {"left abc", "Left=abc\n", 1024, 768, 1200, 9000, {{1200, 900, 9000, 6000}}, 0},
        {"left empty", "Left=\n", 1024, 768, 1200, 9000, {{1200, 900, 9000, 6000}}, 0},
        {"left 1234.5", "Left=1234.5\n", 1024, 768, 1200, 9000, {{1234, 900, 9000, 6000}}, 0},
        {"left 1235.5", "Left=1235.5\n", 1024, 768, 1200, 9000, {{1236, 900, 9000, 6000}}, 0},
        {"window value halves to even", "", 1024, 768, 1200.5, 9000, {{1200, 900, 9000, 6000}}, 0},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        stored(c.keys);
        FakeWindow fresh;
        fresh.screen.width = c.screen_width * 15.0F;
        fresh.screen.height = c.screen_height * 15.0F;
        if (c.window_width != 0) {
            fresh.left = c.window_left;
            fresh.width = c.window_width;
        }
        ini.Key("x");
        ini.Value("y"); // LastReturnCode 1, which a normal load keeps
        ini.Key(std::nullopt);
        ini.LoadFormPosition(fresh);
        EXPECT_EQ(fresh.moves, c.moves);
        EXPECT_EQ(fresh.maximised, c.maximised);
        EXPECT_TRUE(ini.Success());
        expect_state_kept();
    }
}

TEST_F(PlacementTest, LoadFailuresAreCaught) {
    const struct {
        const char* name;
        std::string keys;
        bool move_fails;
    } cases[] = {
        {"Move refused", "Maximised=1\n", true},
        {"left plus width overflows", "Left=2147483000\nWidth=2000\nMaximised=1\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        stored(c.keys);
        FakeWindow fresh;
        fresh.move_fails = c.move_fails;
        ini.Key("x");
        ini.Value("y");
        ini.Key(std::nullopt);
        ini.LoadFormPosition(fresh);
        EXPECT_FALSE(ini.Success());
        EXPECT_EQ(ini.LastReturnCode(), 0);
        EXPECT_EQ(fresh.maximised, 0) << "stops before the Maximised step";
        expect_state_kept();
    }
}

TEST(CLngDefault, ConvertsOrFallsBack) {
    const struct {
        const char* text;
        std::int32_t fallback;
        std::int32_t result;
    } cases[] = {
        {"12", 0, 12},
        {" -17 ", 0, -17},
        {"FAIL", 7, 7},
        {"", 0, 0},
        {"99999999999", -1, -1},
        {"2.5", 0, 2},
        {"3.5", 0, 4},
        {"-2.5", 0, -2},
        {"2.51", 0, 3},
        {"+8", 0, 8},
        {"1e3", 5, 5},
        {"0x10", 5, 5},
        {"2147483647", 0, 2147483647},
        {"-2147483648", 0, INT32_MIN},
        {"2147483647.5", 9, 9},
        {"007", 0, 7},
        {".5", 3, 0},
        {"1.", 0, 1},
        {"-", 4, 4},
        {"1 2", 4, 4},
        {"\t42\t", 0, 42},
        {"1,5", 4, 4},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cInifile::CLngDefault(c.text, c.fallback), c.result) << '"' << c.text << '"';
    }
}

} // namespace
} // namespace corvalen::test
