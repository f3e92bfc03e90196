// Without any dial-up library the program still starts, with a connection chosen, and closes
// normally. ctest disables the library for this program (WINEDLLOVERRIDES=rasapi32=d): Wine
// takes DLL overrides only from the environment a process tree starts with.
#include <gtest/gtest.h>

#include <cstring>

#include "support/Harness.h"

namespace {

TEST(NoDialUp, TheProgramStartsAndClosesWithoutTheLibrary) {
    char overrides[1024] = {};
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    ASSERT_NE(nullptr, std::strstr(overrides, "rasapi32=d")) << "started with the library";
    // Nothing in the process can load it either.
    ASSERT_EQ(nullptr, LoadLibraryA("RASAPI32.DLL"));

    // With a connection chosen the controller asks the service at start-up and every second:
    // each call must take its failure path instead of calling into nothing.
    TovaneRun tovane;
    tovane.WriteDat(DatFile{1, 1, 1, 1, 0, 0, 282, 165, "Office", "", ""}.Bytes());
    ASSERT_TRUE(tovane.Start());
    PumpMessages(2500); // two poll ticks
    EXPECT_TRUE(tovane.Process.Running());
    EXPECT_TRUE(IsWindowVisible(tovane.Main));
    EXPECT_TRUE(tovane.Close());
}

} // namespace
