// The real program on a display of 120 dots per inch (ctest runs this program with the prefix's
// LogPixels at 120, and Tovane.exe starts under the same setting): its own scaling, seen from
// outside, grows every window's box by 1.25.
#include <gtest/gtest.h>

#include "support/Harness.h"

namespace {

constexpr UINT SettingsCommand = 3073, AboutCommand = 3075;

// A stored box below the minimum opens at the scaled minimum: two buttons of 94 and 30 pixels
// wide, and one line of the status strip in the shared font as measured at this scale below a
// band of 44. The settings and about windows open at their scaled sizes.
TEST(At120Dpi, TheMainSettingsAndAboutWindowsOpenAtTheirScaledSizes) {
    TovaneRun tovane;
    tovane.WriteDat(DatFile::At(100, 100, 0, 0).Bytes());
    ASSERT_TRUE(tovane.Start());
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA tm = {};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    const int minHeight = 4 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) +
                          GetSystemMetrics(SM_CYMENU) + 44 + tm.tmHeight + tm.tmExternalLeading;
    const struct {
        UINT Command;
        const char* Class;
        SIZE Size;
    } windows[] = {{0, "TovaneMainWndClass", {2 * 94 + 30, minHeight}},
                   {SettingsCommand, "TovaneSettingsWndClass", {449, 191}},
                   {AboutCommand, "TovaneAboutWndClass", {475, 194}}};
    for (const auto& w : windows) {
        SCOPED_TRACE(w.Class);
        HWND window = w.Command ? tovane.Command(w.Command, w.Class) : tovane.Main;
        ASSERT_NE(nullptr, window);
        EXPECT_EQ(w.Size.cx, SizeOf(window).cx);
        EXPECT_EQ(w.Size.cy, SizeOf(window).cy);
        if (!w.Command) continue;
        PostMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(
            PumpUntil([&] { return !IsWindow(window) && IsWindowEnabled(tovane.Main); }, 10000));
    }
    EXPECT_TRUE(tovane.Close());
}

} // namespace
