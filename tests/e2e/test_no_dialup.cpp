// Without any dial-up library the program still starts, with a connection chosen, and closes
// normally. ctest disables the library for this program (WINEDLLOVERRIDES=rasapi32=d): Wine
// takes DLL overrides only from the environment a process tree starts with.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "support/Driver.h"
#include "support/TestSupport.h"

namespace {

// Tovane.dat choosing the entry: the four flags set, the default box, then the three strings.
std::string SettingsChoosing(const std::string& entry) {
    std::string bytes(4, '\1');
    auto add32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    for (uint32_t v : {0u, 0u, 282u, 165u})
        add32(v);
    add32(static_cast<uint32_t>(entry.size()));
    bytes += entry;
    add32(0);
    add32(0);
    return bytes;
}

TEST(NoDialUp, TheProgramStartsAndClosesWithoutTheLibrary) {
    char overrides[1024] = {};
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    ASSERT_NE(nullptr, std::strstr(overrides, "rasapi32=d")) << "started with the library";
    // Nothing in the process can load it either.
    ASSERT_EQ(nullptr, LoadLibraryA("RASAPI32.DLL"));

    // With a connection chosen the controller asks the service at start-up and every second:
    // each call must take its failure path instead of calling into nothing.
    TempFolder folder;
    WriteWholeFile(folder.File("Tovane.dat"), SettingsChoosing("Office"));
    TovaneProcess tovane;
    ASSERT_TRUE(tovane.Start(folder.Path()));
    HWND main = tovane.WaitForWindow("TovaneMainWndClass");
    ASSERT_NE(nullptr, main);
    PumpMessages(2500); // two poll ticks
    EXPECT_TRUE(tovane.Running());
    EXPECT_TRUE(IsWindowVisible(main));
    ASSERT_TRUE(tovane.CloseMain());
    EXPECT_EQ(0u, tovane.ExitCode());
}

} // namespace
