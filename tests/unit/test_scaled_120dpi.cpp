// The program's start-up on a display of 120 dots per inch, as Wine reports it to this process
// (ctest runs this program with the prefix's LogPixels at 120): the scale that InitShared reads
// from the screen, the main window's first box and layout, and the settings, password and about
// windows' boxes, each grown by 1.25 once, halves to the even neighbour.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DesignChecks.h"
#include "app/WMain.h"
#include "app/WStatus.h"
#include "common/NCommon.h"
#include "controls/NIBtn.h"
#include "controls/NURL.h"
#include "support/Harness.h"
#include "windows/WAbout.h"
#include "windows/WPass.h"
#include "windows/WSettings.h"

namespace {

// The program's start-up with no settings file; then every set-up (InitShared too) runs a second
// time, which must not scale again, and the main window lays itself out anew.
class StartUpAt120Dpi : public ::testing::Environment {
  public:
    void SetUp() override {
        program = std::make_unique<StartedTovane>();
        const std::string file = SettingsFile; // InitShared points it beside this program
        InitShared();
        SettingsFile = file;
        SetupMainWindow();
        RegisterImageButton();
        SetupSettingsWindow();
        SetupAboutWindow();
        SetupPasswordWindow();
        RegisterLinkControl();
        RECT r = RectOf(MainWindow);
        SetWindowPos(MainWindow, nullptr, 0, 0, r.right - r.left + 1, r.bottom - r.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowPos(MainWindow, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        PumpMessages(50);
    }
    void TearDown() override { program.reset(); }
    std::unique_ptr<StartedTovane> program;
};
const auto* environment = ::testing::AddGlobalTestEnvironment(new StartUpAt120Dpi);

TEST(At120Dpi, TheScaleComesFromTheScreen) {
    EXPECT_EQ(120, ScreenDpi);
    EXPECT_TRUE(DpiScaling);
    EXPECT_EQ(1.25f, DpiScale);
    EXPECT_EQ(352, DefaultWindowSize.X); // 352.5
    EXPECT_EQ(206, DefaultWindowSize.Y); // 206.25
}

TEST(At120Dpi, TheMainWindowOpensCentredAtTheScaledSizeWithAScaledLayout) {
    const LONG x = (ScreenWidth - 352) / 2, y = (ScreenHeight - 206) / 2;
    EXPECT_EQ((RECT{x, y, x + 352, y + 206}), RectOf(MainWindow)); // 282 by 165: 352.5 -> 352

    // Band 35, boxes 79, 159 and 29 from the right and bottom edges, buttons 75 by 25.
    const RECT client = ClientOf(MainWindow);
    EXPECT_EQ((std::vector<int>{0, 0, client.right, client.bottom - At120(35)}),
              PlaceOf(StatusStrip));
    for (auto [button, right] : {std::pair{ConnectButton, 79}, std::pair{DisconnectButton, 159}})
        EXPECT_EQ((std::vector<int>{client.right - At120(right), client.bottom - At120(29),
                                    At120(75), At120(25)}),
                  PlaceOf(button));
    MINMAXINFO info = {};
    SendMessageA(MainWindow, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(2 * At120(75) + 30, info.ptMinTrackSize.x); // the 30 is not scaled
}

TEST(At120Dpi, TheSettingsAndPasswordWindowsAndEveryControlGrow) {
    HWND window = CreatePasswordWindow(MainWindow);
    ASSERT_NE(nullptr, window);
    CheckDesign(window, PasswordSize, PasswordBoxes, At120);
    DestroyWindow(window);

    window = CreateSettingsWindow(MainWindow, nullptr);
    ASSERT_NE(nullptr, window);
    CheckDesign(window, SettingsSize, SettingsBoxes, At120); // Help at 274: 342.5 -> 342

    // The labels and the etched line are painted at their scaled places.
    ShowWindow(window, SW_SHOWNOACTIVATE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Capture shown = CaptureClient(window);
    COLORREF line[3] = {shown.At(60, 113), shown.At(60, 114), shown.At(60, 115)};
    // "User name:" at (5, 59)
    int ink = shown.Count(ColorBtnText, 5, 59, 45, 72);
    int above = shown.Count(ColorBtnText, 5, 50, 45, 58);
    DestroyWindow(window);
    EXPECT_EQ(ColorBtnFace, line[0]);
    EXPECT_EQ(ColorBtnShadow, line[1]); // 91 x 1.25 = 113.75
    EXPECT_EQ(ColorBtnHighlight, line[2]);
    EXPECT_GT(ink, 20);
    EXPECT_EQ(0, above);
}

// One about window for the remaining checks: destroying a shown window is slow under Wine.
class AboutAt120Dpi : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        about = CreateAboutWindow(MainWindow);
        ShowWindow(about, SW_SHOWNORMAL);
        SetForegroundWindow(about);
        SetFocus(about);
        PumpMessages(100);
    }
    static void TearDownTestSuite() {
        ShowWindow(about, SW_HIDE);
        DestroyWindow(about);
    }
    static HWND about;
};
HWND AboutAt120Dpi::about = nullptr;

// The frames, icon and texts move out with the link and button while the font heights stay, and
// the texts still fit.
TEST_F(AboutAt120Dpi, OpensCentredOverTheMainWindowWithEverythingGrownButTheFonts) {
    ASSERT_NE(nullptr, about);
    CheckAboutPainting(about);
    CheckAboutGeometry(about, At120);
    RECT owner = RectOf(MainWindow), r = RectOf(about);
    EXPECT_EQ(owner.left + (owner.right - owner.left) / 2 - At120(AboutSize.cx) / 2, r.left);
}

} // namespace
