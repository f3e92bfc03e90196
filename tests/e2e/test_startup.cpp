// Start-up and shutdown of the real program, seen from outside.
#include <gtest/gtest.h>

#include "support/Harness.h"

namespace {

TEST(Startup, FirstStartShowsTheMainWindowAndTwoCopiesRunIndependently) {
    TovaneRun first, second;
    ASSERT_TRUE(first.Start());
    EXPECT_TRUE(IsWindowVisible(first.Main));
    EXPECT_EQ("Tovane", TextOf(first.Main)); // no entry chosen yet
    LONG style = GetWindowLongA(first.Main, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(GetWindowLongA(first.Main, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);

    ASSERT_TRUE(second.Start());
    EXPECT_NE(first.Main, second.Main);
    ASSERT_TRUE(first.Close());
    EXPECT_TRUE(second.Process.Running());
    ASSERT_TRUE(second.Close());
}

} // namespace
