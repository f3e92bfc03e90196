// The real program on a display of 120 dots per inch (ctest runs this program with the prefix's
// LogPixels at 120, and Tovane.exe starts under the same setting): its own scaling, seen from
// outside, grows every window's box by 1.25.
#include <gtest/gtest.h>

#include <string>

#include "support/Harness.h"

namespace {

constexpr UINT SettingsCommand = 3073, AboutCommand = 3075;

TEST(At120Dpi, TheMainSettingsAndAboutWindowsOpenAtTheirScaledSizes) {
    TovaneRun tovane;
    ASSERT_TRUE(tovane.Start());
    HWND main = tovane.Main;
    // First start: 282 by 165 grown to 352 by 206, centred on the screen.
    RECT r = RectOf(main);
    EXPECT_EQ(352, r.right - r.left);
    EXPECT_EQ(206, r.bottom - r.top);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - 352) / 2, r.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - 206) / 2, r.top);
    // The Connect button: 94 by 31, its box 99 from the client's right edge, 36 from the bottom.
    HWND connect = FindChild(main, "TovaneIBTNClass", "Connect");
    ASSERT_NE(nullptr, connect);
    RECT client = {};
    GetClientRect(main, &client);
    POINT origin = {0, 0};
    ClientToScreen(main, &origin);
    RECT c = RectOf(connect);
    EXPECT_EQ(origin.x + client.right - 99, c.left);
    EXPECT_EQ(origin.y + client.bottom - 36, c.top);
    EXPECT_EQ(94, c.right - c.left);
    EXPECT_EQ(31, c.bottom - c.top);

    struct {
        UINT Command;
        const char* Class;
        SIZE Size;
    } const windows[] = {{SettingsCommand, "TovaneSettingsWndClass", {449, 191}},
                         {AboutCommand, "TovaneAboutWndClass", {475, 194}}};
    for (const auto& w : windows) {
        SCOPED_TRACE(w.Class);
        HWND window = tovane.Command(w.Command, w.Class);
        ASSERT_NE(nullptr, window);
        SIZE size = SizeOf(window);
        EXPECT_EQ(w.Size.cx, size.cx);
        EXPECT_EQ(w.Size.cy, size.cy);
        PostMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window) && IsWindowEnabled(main); }, 10000));
    }
    EXPECT_TRUE(tovane.Close());
}

// A stored box below the minimum opens at the minimum, which holds one line of the status strip
// in the shared font as measured at this scale.
TEST(At120Dpi, AStoredBoxBelowTheMinimumOpensAtTheScaledMinimum) {
    TempFolder folder;
    const int32_t box[4] = {100, 100, 0, 0};
    std::string bytes(4, '\0'); // the flags, then the box and three empty strings
    bytes.append(reinterpret_cast<const char*>(box), sizeof box).append(12, '\0');
    WriteWholeFile(folder.File("Tovane.dat"), bytes);
    TovaneProcess tovane;
    ASSERT_TRUE(tovane.Start(folder.Path()));
    HWND main = tovane.WaitForWindow("TovaneMainWndClass");
    ASSERT_NE(nullptr, main);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA tm = {};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(4 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) +
                  GetSystemMetrics(SM_CYMENU) + 44 + tm.tmHeight + tm.tmExternalLeading,
              SizeOf(main).cy);
    ASSERT_TRUE(tovane.CloseMain());
}

} // namespace
