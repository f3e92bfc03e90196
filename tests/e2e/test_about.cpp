// The about window of the real program: opened from the main window's About command over the
// disabled main window, and every way of closing it with the keyboard and the mouse, each handing
// back the main window.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "support/Harness.h"

namespace {

constexpr UINT AboutCommand = 3075;

// Typed as the user would: the input goes to the foreground window, the about window.
void Press(WORD key, WORD modifier = 0) {
    TypeKey(key, modifier);
    PumpMessages(150);
}

TEST(AboutWindow, EveryWayOfClosingItHandsBackTheMainWindow) {
    TovaneRun tovane;
    ASSERT_TRUE(tovane.Start());
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
        HWND about = tovane.Command(AboutCommand, "TovaneAboutWndClass");
        ASSERT_NE(nullptr, about);
        PumpUntil([&] { return GetForegroundWindow() == about; }, 3000);
        EXPECT_FALSE(IsWindowEnabled(tovane.Main));
        EXPECT_EQ(tovane.Main, GetWindow(about, GW_OWNER));
        ways[i](about);
        EXPECT_TRUE(
            PumpUntil([&] { return !IsWindow(about) && IsWindowEnabled(tovane.Main); }, 10000));
    }
}

} // namespace
