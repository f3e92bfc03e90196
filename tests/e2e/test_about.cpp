// The about window of the real program: opened from the main window's About command over the
// disabled main window, and every way of closing it with the keyboard and the mouse.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "support/Harness.h"

namespace {

constexpr UINT AboutCommand = 3075;
constexpr int AboutWidth = 380, AboutHeight = 155;

std::unique_ptr<TovaneRun> tovane; // one program for the suite

class AboutWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        tovane = std::make_unique<TovaneRun>();
        ASSERT_TRUE(tovane->Start());
    }
    static void TearDownTestSuite() { tovane.reset(); }

    static HWND Open() {
        HWND about = tovane->Command(AboutCommand, "TovaneAboutWndClass");
        EXPECT_NE(nullptr, about);
        if (about) PumpUntil([&] { return GetForegroundWindow() == about; }, 3000);
        return about;
    }
    static bool Gone(HWND about) {
        return PumpUntil([&] { return !IsWindow(about) && IsWindowEnabled(tovane->Main); }, 10000);
    }
    // Typed as the user would: the input goes to the foreground window, the about window.
    static void Press(WORD key, WORD modifier = 0) {
        TypeKey(key, modifier);
        PumpMessages(150);
    }
    static LONG CentredLeft() {
        RECT m = RectOf(tovane->Main);
        return m.left + (m.right - m.left) / 2 - AboutWidth / 2;
    }
};

TEST_F(AboutWindow, OpensOverTheDisabledMainWindowWithItsChildren) {
    HWND about = Open();
    ASSERT_NE(nullptr, about);
    EXPECT_FALSE(IsWindowEnabled(tovane->Main));
    EXPECT_EQ(tovane->Main, GetWindow(about, GW_OWNER));
    EXPECT_EQ(AboutWidth, SizeOf(about).cx);
    EXPECT_EQ(AboutHeight, SizeOf(about).cy);
    EXPECT_EQ(CentredLeft(), RectOf(about).left);
    EXPECT_NE(nullptr, FindChild(about, "TovaneURLClass"));
    EXPECT_EQ("Close", TextOf(GetDlgItem(about, 1)));

    Press(VK_ESCAPE);
    EXPECT_TRUE(Gone(about));
}

TEST_F(AboutWindow, EveryWayOfClosingItHandsBackTheMainWindow) {
    const std::vector<std::function<void(HWND)>> ways = {
        [](HWND) { Press(VK_RETURN); },
        [](HWND) { Press(VK_ESCAPE); },
        [](HWND) { Press(VK_F4, VK_MENU); },
        [](HWND) {
            Press(VK_TAB);
            Press(VK_SPACE);
        },
        [](HWND about) { SendMessageA(GetDlgItem(about, 1), BM_CLICK, 0, 0); },
        [](HWND about) { PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    for (size_t i = 0; i < ways.size(); ++i) {
        SCOPED_TRACE(i);
        HWND about = Open();
        ASSERT_NE(nullptr, about);
        ways[i](about);
        EXPECT_TRUE(Gone(about));
    }
}

} // namespace
