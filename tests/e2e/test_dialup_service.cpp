// The real program binds the simulated dial-up service placed beside it, not Wine's own
// library, when Wine is told to prefer it (as scripts/run does). Wine takes DLL overrides only
// from the environment a process tree starts with, so ctest sets WINEDLLOVERRIDES for this
// program; by hand: WINEDLLOVERRIDES=rasapi32=n,b build/win64/wine-run ...
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/Driver.h"
#include "support/TestSupport.h"

namespace {

TEST(DialUpService, TheProgramLoadsTheSimulatorBesideItWhenWineIsToldToPreferIt) {
    char overrides[1024] = {};
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    ASSERT_NE(nullptr, std::strstr(overrides, "rasapi32=n,b")) << "started without the override";

    TempFolder folder;
    ASSERT_TRUE(CopyBesideTests("rassim\\rasapi32.dll", folder.Path(), "rasapi32.dll"));
    WriteWholeFile(folder.File("rassim.ini"), "[Office]\nStates = 8192:10\n");
    TovaneProcess tovane;
    ASSERT_TRUE(tovane.Start(folder.Path(), {{"RASSIM_JOURNAL", folder.File("journal.txt")},
                                             {"RASSIM_STATE", folder.File("rassim.state")}}));
    ASSERT_NE(nullptr, tovane.WaitForWindow("TovaneMainWndClass"));
    ASSERT_TRUE(tovane.CloseMain());
    EXPECT_EQ(0u, tovane.ExitCode());

    // The simulator notes every process that loads it.
    std::string journal = ReadWholeFile(folder.File("journal.txt"));
    char attach[64];
    wsprintfA(attach, " %lu Attach exe=", tovane.Pid());
    size_t at = journal.find(attach);
    ASSERT_NE(std::string::npos, at) << journal;
    std::string line = journal.substr(at, journal.find('\n', at) - at);
    EXPECT_NE(std::string::npos, line.find("Tovane.exe")) << line;
}

} // namespace
