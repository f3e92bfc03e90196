// The about window on a display of 120 dots per inch: the window, frames, points and button grow
// by 1.25 while the texts keep their pixel heights.
#include <gtest/gtest.h>

#include "AboutExpect.h"
#include "app/WMain.h"
#include "common/NCommon.h"
#include "controls/NIBtn.h"
#include "controls/NURL.h"
#include "support/TestSupport.h"
#include "windows/WAbout.h"

namespace {

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// The window lays itself out once, at set-up: the scale must be in place before that.
class ScaledAbout : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitShared();
        DpiScale = 1.25f;
        DpiScaling = true;
        RegisterImageButton();
        SetupAboutWindow();
        RegisterLinkControl();
        WNDCLASSA wc = {};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TestScaledOwner";
        RegisterClassA(&wc);
        MainWindow =
            CreateWindowExA(0, "TestScaledOwner", "Tovane", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                            80, 560, 320, nullptr, nullptr, nullptr, nullptr);
        AboutMoved = false;
        about = CreateAboutWindow();
        ShowWindow(about, SW_SHOWNORMAL);
        SetForegroundWindow(about);
        SetFocus(about);
        PumpMessages(100);
    }
    static void TearDownTestSuite() {
        ShowWindow(about, SW_HIDE);
        DestroyWindow(about);
        DestroyWindow(MainWindow);
        DoneShared();
    }
    static HWND about;
};
HWND ScaledAbout::about = nullptr;

TEST_F(ScaledAbout, WindowLinkAndButtonGrowButTheLinkFontDoesNot) {
    ASSERT_NE(nullptr, about);
    CheckGeometry(about, LayoutAt120);
}

TEST_F(ScaledAbout, FramesIconAndTextsMoveOutWhileFontHeightsStay) {
    CheckPainting(about, LayoutAt120);
}

TEST_F(ScaledAbout, ASecondSetUpNeitherScalesNorDeciphersAgain) {
    SetupAboutWindow();
    CheckPainting(about, LayoutAt120);
}

TEST_F(ScaledAbout, TextsStillFitTheirFrames) {
    CheckTextsInsideFrames(LayoutAt120);
}

TEST_F(ScaledAbout, OpensCentredOverTheMainWindowAtItsScaledSize) {
    RECT owner, r;
    GetWindowRect(MainWindow, &owner);
    GetWindowRect(about, &r);
    EXPECT_EQ(owner.left + (owner.right - owner.left) / 2 - LayoutAt120.Window.cx / 2, r.left);
}

} // namespace
