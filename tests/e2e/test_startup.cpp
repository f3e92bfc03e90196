// Start-up and shutdown of the real program, seen from outside.
#include <gtest/gtest.h>

#include "support/Driver.h"
#include "support/TestSupport.h"

namespace {

TEST(Startup, FirstStartShowsTheMainWindowAndClosesCleanly) {
    TempFolder folder;
    TovaneProcess tovane;
    ASSERT_TRUE(tovane.Start(folder.Path()));
    HWND main = tovane.WaitForWindow("TovaneMainWndClass");
    ASSERT_NE(nullptr, main);
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ("Tovane", TextOf(main)); // no entry chosen yet
    LONG style = GetWindowLongA(main, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
    ASSERT_TRUE(tovane.CloseMain());
    EXPECT_EQ(0u, tovane.ExitCode());
}

TEST(Startup, TwoCopiesRunIndependently) {
    TempFolder first, second;
    TovaneProcess a, b;
    ASSERT_TRUE(a.Start(first.Path()));
    ASSERT_TRUE(b.Start(second.Path()));
    HWND mainA = a.WaitForWindow("TovaneMainWndClass");
    HWND mainB = b.WaitForWindow("TovaneMainWndClass");
    ASSERT_NE(nullptr, mainA);
    ASSERT_NE(nullptr, mainB);
    EXPECT_NE(mainA, mainB);
    ASSERT_TRUE(a.CloseMain());
    EXPECT_TRUE(b.Running());
    ASSERT_TRUE(b.CloseMain());
    EXPECT_EQ(0u, a.ExitCode());
    EXPECT_EQ(0u, b.ExitCode());
}

} // namespace
