// The real program dialling the simulated service placed beside it, which it binds instead of
// Wine's own library when Wine is told to prefer it (ctest starts this program with
// WINEDLLOVERRIDES=rasapi32=n,b, as scripts/run does): it connects by itself and goes to the
// tray, a restart adopts the connection that outlived it, and Disconnect hangs up and stops the
// redialling.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/Harness.h"

namespace {

class Dialer : public ::testing::Test {
  protected:
    void SetUp() override {
        char overrides[1024] = {};
        GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
        ASSERT_NE(nullptr, std::strstr(overrides, "rasapi32=n,b")) << "started without override";
        ASSERT_TRUE(tovane.WithSimulator("[Fast]\nDelay = 100\nHangUpTime = 500\n"));
        tovane.WriteDat(dat.Bytes());
    }

    TovaneRun tovane;
    // Simple status off, auto reconnect and shrink on, not topmost.
    DatFile dat{0, 1, 1, 0, 100, 100, 282, 165, "Fast", "user", "secret"};
};

TEST_F(Dialer, ConnectsToTheTrayIsAdoptedAfterARestartAndHangsUpOnDisconnect) {
    // First start: auto reconnect dials on the first tick, the connection shrinks to the tray.
    ASSERT_TRUE(tovane.Start());
    HWND main = tovane.Main;
    EXPECT_EQ("Tovane - Fast", TextOf(main));
    ULONGLONG shown = GetTickCount64();
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(main); }, 8000)) << "not in the tray";
    std::printf("shown to tray: %llu ms\n", GetTickCount64() - shown);
    std::vector<std::string> dials = tovane.Journal("RasDialA");
    ASSERT_EQ(1u, dials.size());
    EXPECT_NE(std::string::npos,
              dials[0].find("size=1052 entry=\"Fast\" user=\"user\" password=yes"))
        << dials[0];
    // The connection list as the service sees it: 100 records in the oldest layout, whose
    // handle field makes it 4 bytes longer on 64-bit.
    EXPECT_FALSE(tovane
                     .Journal(sizeof(void*) == 8 ? "RasEnumConnectionsA size=416 bytes=41600"
                                                 : "RasEnumConnectionsA size=412 bytes=41200")
                     .empty());
    // Watched from the next tick on.
    ASSERT_TRUE(
        PumpUntil([&] { return !tovane.Journal("RasGetConnectStatusA handle=").empty(); }, 2500));
    EXPECT_TRUE(tovane.Journal("size=160").size() == tovane.Journal("RasGetConnectStatusA").size());

    // Closing leaves the line up. The simulator notes every process that loads it: only this one,
    // though Wine has a library of its own.
    ASSERT_TRUE(tovane.Close());
    EXPECT_TRUE(tovane.Journal("RasHangUpA").empty());
    std::vector<std::string> attach = tovane.Journal("Attach exe=");
    ASSERT_EQ(1u, attach.size());
    EXPECT_NE(std::string::npos, attach[0].find("Tovane.exe")) << attach[0];

    // Restart: the connection is adopted, not dialled again, and the window stays shown.
    ASSERT_TRUE(tovane.Start());
    main = tovane.Main;
    PumpMessages(2500); // two ticks of the poll
    EXPECT_TRUE(tovane.Journal("RasDialA").empty());
    EXPECT_TRUE(IsWindowVisible(main));
    HWND connect = FindChild(main, "TovaneIBTNClass", "Connect");
    HWND disconnect = FindChild(main, "TovaneIBTNClass", "Disconnect");
    ASSERT_NE(nullptr, connect);
    ASSERT_NE(nullptr, disconnect);
    EXPECT_FALSE(IsWindowEnabled(connect));
    EXPECT_TRUE(IsWindowEnabled(disconnect));

    // Disconnect: hung up, waited for, and no redial follows.
    PostMessageA(disconnect, BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !tovane.Journal("RasHangUpA").empty(); }, 5000));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(connect) != FALSE; }, 5000));
    PumpMessages(2500);
    EXPECT_TRUE(tovane.Journal("RasDialA").empty());
    EXPECT_EQ(1u, tovane.Journal("RasHangUpA").size());
    EXPECT_TRUE(tovane.Close());
}

// Windows saved the entry's credentials and Tovane.dat holds none: the first tick dials with
// them, without a prompt, and nothing of them reaches the settings file.
TEST_F(Dialer, SavedCredentialsDialWithoutAPromptAndStayOutOfTheSettingsFile) {
    ASSERT_TRUE(tovane.WithSimulator("[Home]\nDelay = 50\nUser = demo\nPassword = Sup3r\n"
                                     "SavedUser = demo\nSavedPassword = Sup3r\n"));
    tovane.WriteDat(DatFile{1, 1, 0, 1, 0, 0, 282, 165, "Home", "", ""}.Bytes());
    ASSERT_TRUE(tovane.Start());
    ASSERT_TRUE(
        PumpUntil([&] { return !tovane.Journal("state=8192 error=0 thread").empty(); }, 10000))
        << "not connected";
    EXPECT_EQ(nullptr, tovane.Process.FindWindowOf("TovanePasswordWndClass"));
    std::vector<std::string> dials = tovane.Journal("RasDialA");
    ASSERT_EQ(1u, dials.size());
    EXPECT_NE(std::string::npos, dials[0].find("entry=\"Home\" user=\"demo\" password=saved"));
    ASSERT_TRUE(tovane.Close());
    std::string saved = tovane.Dat();
    ASSERT_GT(saved.size(), 20u);
    EXPECT_EQ(StrBytes("Home") + StrBytes("") + StrBytes(""), saved.substr(20));
}

// A line is lost, and during the hang-up's wait (held until the test lets it end) the user picks
// another entry in the settings window: the wait is left alone (one hang-up, no dial, Close
// refused), and only when it has ended is the new entry taken up.
TEST_F(Dialer, AnEntryChangedDuringTheHangUpWaitIsTakenUpAfterIt) {
    const std::string book = "[Fast]\nDelay = 50\nHangUpTime = 0\n[Spare]\nDelay = 50\n";
    ASSERT_TRUE(tovane.WithSimulator("GetConnectStatusError = 5\n" + book));
    dat.ShrinkWhenConnected = 0; // auto reconnect on, shrink off
    tovane.WriteDat(dat.Bytes());
    ASSERT_TRUE(tovane.Start());
    HWND main = tovane.Main;
    // Dialled, connected, the line's status unknown at the next tick: the hang-up's wait begins.
    ASSERT_TRUE(PumpUntil([&] { return !tovane.Journal("RasHangUpA").empty(); }, 10000));

    PostMessageA(main, WM_COMMAND, 3073, 0); // Settings, dispatched by the wait
    HWND settings = tovane.Process.WaitForWindow("TovaneSettingsWndClass", 2000);
    ASSERT_NE(nullptr, settings);
    HWND list = FindChild(settings, "ComboBox");
    ASSERT_NE(nullptr, list);
    SendMessageA(list, CB_SETCURSEL, 1, 0); // Spare
    PostMessageA(GetDlgItem(settings, 1), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return TextOf(main) == "Tovane - Spare"; }, 2000));
    PostMessageA(main, WM_CLOSE, 0, 0);
    PumpMessages(300);
    EXPECT_TRUE(IsWindow(main)) << "Close is refused while the hang-up waits";
    // Status polls that found the hung-up handle gone: the end of the wait.
    auto gone = [&] {
        std::vector<std::string> found;
        for (std::string line : tovane.Journal("RasGetConnectStatusA")) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                line.pop_back();
            if (line.size() > 4 && line.compare(line.size() - 4, 4, "-> 6") == 0)
                found.push_back(line);
        }
        return found;
    };
    const bool stillWaiting = gone().empty();
    WriteWholeFile(tovane.Folder.File("rassim.ini"), book); // the service answers again

    // The wait ends when the handle is gone; the new entry is refreshed, then dialled.
    ASSERT_TRUE(PumpUntil([&] { return !tovane.Journal("entry=\"Spare\"").empty(); }, 8000));
    EXPECT_TRUE(stillWaiting) << "the wait ended before the entry was changed: no test";
    std::vector<std::string> hangUps = tovane.Journal("RasHangUpA");
    EXPECT_EQ(1u, hangUps.size());
    auto timeOf = [](const std::string& line) { return std::stoull(line); };
    const std::vector<std::string> ends = gone();
    ASSERT_FALSE(ends.empty());
    std::vector<std::string> dials = tovane.Journal("RasDialA");
    ASSERT_EQ(2u, dials.size());
    EXPECT_NE(std::string::npos, dials[0].find("entry=\"Fast\""));
    EXPECT_NE(std::string::npos, dials[1].find("entry=\"Spare\""));
    EXPECT_GE(timeOf(dials[1]), timeOf(ends[0])) << "no dial inside the wait";
    // The refresh's enumeration comes after the wait and before the new dial.
    bool refreshed = false;
    for (const std::string& line : tovane.Journal("RasEnumConnectionsA"))
        refreshed =
            refreshed || (timeOf(line) >= timeOf(ends[0]) && timeOf(line) <= timeOf(dials[1]));
    EXPECT_TRUE(refreshed);
    // Closed once the new dial has connected (Close is refused while it runs).
    ASSERT_TRUE(
        PumpUntil([&] { return tovane.Journal("state=8192 error=0 thread").size() >= 2; }, 8000));
    PumpMessages(300);
    ASSERT_TRUE(tovane.Close());
}

} // namespace
