// The settings window's layout at 120 dpi: every box, point and the window size scaled once.
#include <gtest/gtest.h>

#include "app/WMain.h"
#include "common/NCommon.h"
#include "controls/NIBtn.h"
#include "ras/NRas.h"
#include "support/Pixels.h"
#include "windows/WSettings.h"

namespace {

DWORD WINAPI NoEntries(LPCSTR, LPCSTR, RASENTRYNAMEA*, DWORD*, DWORD* count) {
    *count = 0;
    return 0;
}

RECT ClientBox(HWND control) { // left, top, width, height in the parent's client area
    RECT r = {};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

class SettingsAt120Dpi : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitShared();
        DpiScaling = true;
        DpiScale = 1.25f;
        RegisterImageButton();
        SetupSettingsWindow();
        SetupSettingsWindow(); // a second set-up must not scale the layout again
        RasApi.RasEnumEntriesA = NoEntries;
        MainWindow = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                                     500, 300, nullptr, nullptr, nullptr, nullptr);
        window = CreateSettingsWindow();
    }
    static void TearDownTestSuite() {
        DestroyWindow(window);
        DestroyWindow(MainWindow);
    }
    static HWND Standard(int index) { // the standard controls have id 0, in creation order
        int i = 0;
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if (GetDlgCtrlID(child) == 0 && i++ == index) return child;
        return nullptr;
    }
    static HWND window;
};
HWND SettingsAt120Dpi::window = nullptr;

void ExpectBox(HWND control, RECT want, const char* what) {
    ASSERT_NE(nullptr, control) << what;
    RECT box = ClientBox(control);
    EXPECT_EQ(want.left, box.left) << what;
    EXPECT_EQ(want.top, box.top) << what;
    EXPECT_EQ(want.right, box.right) << what;
    EXPECT_EQ(want.bottom, box.bottom) << what;
}

TEST_F(SettingsAt120Dpi, WindowSizeIsScaledAsAPair) {
    ASSERT_NE(nullptr, window);
    RECT r = {};
    GetWindowRect(window, &r);
    EXPECT_EQ(449, r.right - r.left); // 448.75
    EXPECT_EQ(191, r.bottom - r.top); // 191.25
    EXPECT_EQ(449, SettingsPlace.Width);
}

TEST_F(SettingsAt120Dpi, EveryControlBoxIsScaledRoundingHalvesToEven) {
    RECT list = ClientBox(Standard(0));
    EXPECT_EQ(5, list.left);
    EXPECT_EQ(24, list.top); // 23.75
    EXPECT_EQ(250, list.right);
    ExpectBox(Standard(1), {5, 78, 120, 26}, "user name"); // 77.5 -> 78
    ExpectBox(Standard(2), {134, 78, 120, 26}, "password");
    ExpectBox(Standard(3), {266, 14, 175, 21}, "simple status");
    ExpectBox(Standard(4), {266, 38, 175, 21}, "auto reconnect"); // 37.5 -> 38
    ExpectBox(Standard(5), {266, 61, 175, 21}, "shrink");
    ExpectBox(Standard(6), {266, 85, 175, 21}, "on top");
    ExpectBox(GetDlgItem(window, 1), {138, 124, 94, 31}, "OK"); // 137.5 -> 138
    ExpectBox(GetDlgItem(window, 2), {240, 124, 94, 31}, "Cancel");
    ExpectBox(GetDlgItem(window, 9), {342, 124, 94, 31}, "Help"); // 342.5 -> 342
}

TEST_F(SettingsAt120Dpi, LabelsAndSeparatorArePaintedAtScaledPlaces) {
    ShowWindow(window, SW_SHOWNOACTIVATE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Capture shown = CaptureClient(window);
    // The etched line: shadow at 114 (91 x 1.25 = 113.75), highlight below it.
    EXPECT_EQ(ColorBtnFace, shown.At(60, 113));
    EXPECT_EQ(ColorBtnShadow, shown.At(60, 114));
    EXPECT_EQ(ColorBtnHighlight, shown.At(60, 115));
    // "User name:" at (5, 59) and "Password:" at (134, 59): ink there, none just above.
    int ink[2] = {}, above[2] = {};
    const int xs[2] = {5, 134};
    for (int i = 0; i < 2; ++i) {
        ink[i] = shown.Count(ColorBtnText, xs[i], 59, xs[i] + 40, 72);
        above[i] = shown.Count(ColorBtnText, xs[i], 50, xs[i] + 40, 58);
    }
    ShowWindow(window, SW_HIDE);
    for (int i = 0; i < 2; ++i) {
        EXPECT_GT(ink[i], 20) << i;
        EXPECT_EQ(0, above[i]) << i;
    }
}

} // namespace
