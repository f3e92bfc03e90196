// The real program binds the simulated dial-up service placed beside it, not Wine's own
// library, when Wine is told to prefer it (as scripts/run does). Wine takes DLL overrides only
// from the environment a process tree starts with, so ctest sets WINEDLLOVERRIDES for this
// program; by hand: WINEDLLOVERRIDES=rasapi32=n,b build/win64/wine-run ...
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/Harness.h"

namespace {

TEST(DialUpService, TheProgramLoadsTheSimulatorBesideItWhenWineIsToldToPreferIt) {
    char overrides[1024] = {};
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    ASSERT_NE(nullptr, std::strstr(overrides, "rasapi32=n,b")) << "started without the override";

    TovaneRun tovane;
    ASSERT_TRUE(tovane.WithSimulator("[Office]\nStates = 8192:10\n"));
    ASSERT_TRUE(tovane.Start());
    ASSERT_TRUE(tovane.Close());

    // The simulator notes every process that loads it.
    std::vector<std::string> attach = tovane.Journal("Attach exe=");
    ASSERT_EQ(1u, attach.size()) << ReadWholeFile(tovane.Folder.File("journal.txt"));
    EXPECT_NE(std::string::npos, attach[0].find("Tovane.exe")) << attach[0];
}

} // namespace
