// The about window of the real program: opened from the main window's About command, its
// look from outside, every way of closing it, and where it opens again.
#include <gtest/gtest.h>

#include <functional>

#include "support/Driver.h"
#include "support/TestSupport.h"

namespace {

constexpr UINT AboutCommand = 3075;
constexpr int AboutWidth = 380, AboutHeight = 155;

// One program for the suite: every test opens the window anew from its main window.
class AboutWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = new TempFolder;
        tovane = new TovaneProcess;
        ASSERT_TRUE(tovane->Start(folder->Path()));
        main = tovane->WaitForWindow("TovaneMainWndClass");
        ASSERT_NE(nullptr, main);
    }
    static void TearDownTestSuite() {
        if (tovane->Running()) {
            EXPECT_TRUE(tovane->CloseMain());
            EXPECT_EQ(0u, tovane->ExitCode());
        }
        delete tovane;
        delete folder;
    }

    static HWND Open() {
        PostMessageA(main, WM_COMMAND, AboutCommand, 0);
        HWND about = tovane->WaitForWindow("TovaneAboutWndClass", 10000, "About Tovane");
        EXPECT_NE(nullptr, about);
        if (about) PumpUntil([&] { return GetForegroundWindow() == about; }, 3000);
        return about;
    }
    static bool Gone(HWND about) {
        return PumpUntil([&] { return !IsWindow(about) && IsWindowEnabled(main); }, 10000);
    }
    // Typed as the user would: the input goes to the foreground window, the about window.
    static void Press(WORD key, bool alt = false) {
        INPUT in[4] = {};
        int n = 0;
        auto add = [&](WORD vk, bool up) {
            in[n].type = INPUT_KEYBOARD;
            in[n].ki.wVk = vk;
            in[n].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
            ++n;
        };
        if (alt) add(VK_MENU, false);
        add(key, false);
        add(key, true);
        if (alt) add(VK_MENU, true);
        SendInput(n, in, sizeof(INPUT));
        PumpMessages(150);
    }

    static TempFolder* folder;
    static TovaneProcess* tovane;
    static HWND main;
};
TempFolder* AboutWindow::folder = nullptr;
TovaneProcess* AboutWindow::tovane = nullptr;
HWND AboutWindow::main = nullptr;

TEST_F(AboutWindow, OpensOverTheDisabledMainWindowWithItsChildren) {
    HWND about = Open();
    ASSERT_NE(nullptr, about);
    EXPECT_FALSE(IsWindowEnabled(main));
    EXPECT_EQ(main, GetWindow(about, GW_OWNER));
    RECT r = RectOf(about), m = RectOf(main);
    EXPECT_EQ(AboutWidth, r.right - r.left);
    EXPECT_EQ(AboutHeight, r.bottom - r.top);
    EXPECT_EQ(m.left + (m.right - m.left) / 2 - AboutWidth / 2, r.left);

    HWND link = FindChild(about, "TovaneURLClass");
    ASSERT_NE(nullptr, link);
    RECT l = RectOf(link);
    POINT origin = {0, 0};
    ClientToScreen(about, &origin);
    EXPECT_EQ(180, l.left - origin.x);
    EXPECT_EQ(74, l.top - origin.y);
    HWND close = GetDlgItem(about, 1);
    ASSERT_NE(nullptr, close);
    EXPECT_EQ("Close", TextOf(close));
    RECT c = RectOf(close);
    EXPECT_EQ(295, c.left - origin.x);
    EXPECT_EQ(101, c.top - origin.y);
    EXPECT_EQ(75, c.right - c.left);
    EXPECT_EQ(25, c.bottom - c.top);
    EXPECT_EQ(2u, ChildrenOf(about).size());

    Press(VK_ESCAPE);
    EXPECT_TRUE(Gone(about));
}

TEST_F(AboutWindow, EnterEscapeAndAltF4CloseIt) {
    for (auto [key, alt] :
         {std::pair{VK_RETURN, false}, std::pair{VK_ESCAPE, false}, std::pair{VK_F4, true}}) {
        SCOPED_TRACE(key);
        HWND about = Open();
        ASSERT_NE(nullptr, about);
        Press(static_cast<WORD>(key), alt);
        EXPECT_TRUE(Gone(about));
    }
}

TEST_F(AboutWindow, TabThenSpaceOnTheButtonClosesIt) {
    HWND about = Open();
    ASSERT_NE(nullptr, about);
    Press(VK_TAB);
    Press(VK_SPACE);
    EXPECT_TRUE(Gone(about));
}

TEST_F(AboutWindow, TheCloseButtonAndTheSystemCloseCommandCloseIt) {
    HWND about = Open();
    ASSERT_NE(nullptr, about);
    SendMessageA(GetDlgItem(about, 1), BM_CLICK, 0, 0);
    EXPECT_TRUE(Gone(about));

    about = Open();
    ASSERT_NE(nullptr, about);
    PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(Gone(about));
}

TEST_F(AboutWindow, ReopensWhereMovedUntilTheMainWindowMoves) {
    HWND about = Open();
    ASSERT_NE(nullptr, about);
    SetWindowPos(about, nullptr, 30, 400, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Press(VK_ESCAPE);
    ASSERT_TRUE(Gone(about));

    about = Open();
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(30, RectOf(about).left);
    EXPECT_EQ(400, RectOf(about).top);
    Press(VK_ESCAPE);
    ASSERT_TRUE(Gone(about));

    RECT m = RectOf(main);
    SetWindowPos(main, nullptr, m.left + 40, m.top + 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    PumpMessages(200);
    about = Open();
    ASSERT_NE(nullptr, about);
    m = RectOf(main);
    EXPECT_EQ(m.left + (m.right - m.left) / 2 - AboutWidth / 2, RectOf(about).left);
    Press(VK_ESCAPE);
    EXPECT_TRUE(Gone(about));
}

} // namespace
