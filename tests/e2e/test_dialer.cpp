// The real program dialling the simulated service placed beside it (ctest starts this program
// with WINEDLLOVERRIDES=rasapi32=n,b): it connects by itself and goes to the tray, a restart
// adopts the connection that outlived it, and Disconnect hangs up and stops the redialling.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/Driver.h"
#include "support/Harness.h"
#include "support/TestSupport.h"

namespace {

std::string Int32(int32_t n) {
    std::string s(4, '\0');
    std::memcpy(s.data(), &n, 4);
    return s;
}

std::string Str(const std::string& text) {
    return Int32(static_cast<int32_t>(text.size())) + text;
}

// Simple status off, auto reconnect and shrink on, not topmost; entry, user name, password.
std::string SettingsFile(const std::string& entry) {
    const char flags[4] = {0, 1, 1, 0};
    return std::string(flags, 4) + Int32(100) + Int32(100) + Int32(282) + Int32(165) + Str(entry) +
           Str("user") + Str("secret");
}

class Dialer : public ::testing::Test {
  protected:
    void SetUp() override {
        char overrides[1024] = {};
        GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
        ASSERT_NE(nullptr, std::strstr(overrides, "rasapi32=n,b")) << "started without override";
        ASSERT_TRUE(CopyBesideTests("rassim\\rasapi32.dll", folder.Path(), "rasapi32.dll"));
        WriteWholeFile(folder.File("rassim.ini"), "[Fast]\nDelay = 100\nHangUpTime = 500\n");
        WriteWholeFile(folder.File("Tovane.dat"), SettingsFile("Fast"));
    }
    bool Start(TovaneProcess& tovane) {
        return tovane.Start(folder.Path(), {{"RASSIM_CONFIG", folder.File("rassim.ini")},
                                            {"RASSIM_STATE", folder.File("rassim.state")},
                                            {"RASSIM_JOURNAL", folder.File("journal.txt")}});
    }
    // Journal lines of one run of the program that contain the text.
    std::vector<std::string> Journal(const TovaneProcess& tovane, const std::string& text) const {
        std::string all = ReadWholeFile(folder.File("journal.txt"));
        char pid[32];
        wsprintfA(pid, " %lu ", tovane.Pid());
        std::vector<std::string> found;
        size_t at = 0;
        while (at < all.size()) {
            size_t end = all.find('\n', at);
            std::string line = all.substr(at, end == std::string::npos ? end : end - at);
            if (line.find(pid) != std::string::npos && line.find(text) != std::string::npos)
                found.push_back(line);
            if (end == std::string::npos) break;
            at = end + 1;
        }
        return found;
    }
    bool WaitFor(const std::function<bool()>& done, DWORD ms) { return PumpUntil(done, ms); }

    TempFolder folder;
};

TEST_F(Dialer, ConnectsToTheTrayIsAdoptedAfterARestartAndHangsUpOnDisconnect) {
    // First start: auto reconnect dials on the first tick, the connection shrinks to the tray.
    TovaneProcess first;
    ASSERT_TRUE(Start(first));
    HWND main = first.WaitForWindow("TovaneMainWndClass");
    ASSERT_NE(nullptr, main);
    EXPECT_EQ("Tovane - Fast", TextOf(main));
    ULONGLONG shown = GetTickCount64();
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }, 8000)) << "not in the tray";
    std::printf("shown to tray: %llu ms\n", GetTickCount64() - shown);
    std::vector<std::string> dials = Journal(first, "RasDialA");
    ASSERT_EQ(1u, dials.size());
    EXPECT_NE(std::string::npos,
              dials[0].find("size=1052 entry=\"Fast\" user=\"user\" password=yes"))
        << dials[0];
    // The connection list as the service sees it: 100 records in the oldest layout, whose
    // handle field makes it 4 bytes longer on 64-bit.
    EXPECT_FALSE(Journal(first, sizeof(void*) == 8 ? "RasEnumConnectionsA size=416 bytes=41600"
                                                   : "RasEnumConnectionsA size=412 bytes=41200")
                     .empty());
    // Watched from the next tick on.
    ASSERT_TRUE(
        WaitFor([&] { return !Journal(first, "RasGetConnectStatusA handle=").empty(); }, 2500));
    EXPECT_TRUE(Journal(first, "size=160").size() == Journal(first, "RasGetConnectStatusA").size());

    // Closing leaves the line up.
    ASSERT_TRUE(first.CloseMain());
    EXPECT_TRUE(Journal(first, "RasHangUpA").empty());

    // Restart: the connection is adopted, not dialled again, and the window stays shown.
    TovaneProcess second;
    ASSERT_TRUE(Start(second));
    main = second.WaitForWindow("TovaneMainWndClass");
    ASSERT_NE(nullptr, main);
    PumpMessages(2500); // two ticks of the poll
    EXPECT_TRUE(Journal(second, "RasDialA").empty());
    EXPECT_TRUE(IsWindowVisible(main));
    HWND connect = FindChild(main, "TovaneIBTNClass", "Connect");
    HWND disconnect = FindChild(main, "TovaneIBTNClass", "Disconnect");
    ASSERT_NE(nullptr, connect);
    ASSERT_NE(nullptr, disconnect);
    EXPECT_FALSE(IsWindowEnabled(connect));
    EXPECT_TRUE(IsWindowEnabled(disconnect));

    // Disconnect: hung up, waited for, and no redial follows.
    PostMessageA(disconnect, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !Journal(second, "RasHangUpA").empty(); }, 5000));
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(connect) != FALSE; }, 5000));
    PumpMessages(2500);
    EXPECT_TRUE(Journal(second, "RasDialA").empty());
    EXPECT_EQ(1u, Journal(second, "RasHangUpA").size());
    ASSERT_TRUE(second.CloseMain());
    EXPECT_EQ(0u, second.ExitCode());
}

// Windows saved the entry's credentials and Tovane.dat holds none: the first tick dials with
// them, without a prompt, and nothing of them reaches the settings file.
TEST_F(Dialer, SavedCredentialsDialWithoutAPromptAndStayOutOfTheSettingsFile) {
    WriteWholeFile(folder.File("rassim.ini"), "[Home]\nDelay = 50\nUser = demo\nPassword = Sup3r\n"
                                              "SavedUser = demo\nSavedPassword = Sup3r\n");
    DatFile dat;
    dat.ShrinkWhenConnected = 0;
    dat.Entry = "Home";
    WriteWholeFile(folder.File("Tovane.dat"), dat.Bytes());
    TovaneProcess tovane;
    ASSERT_TRUE(Start(tovane));
    ASSERT_NE(nullptr, tovane.WaitForWindow("TovaneMainWndClass"));
    ASSERT_TRUE(
        WaitFor([&] { return !Journal(tovane, "state=8192 error=0 thread").empty(); }, 10000))
        << "not connected";
    EXPECT_EQ(nullptr, tovane.FindWindowOf("TovanePasswordWndClass"));
    std::vector<std::string> dials = Journal(tovane, "RasDialA");
    ASSERT_EQ(1u, dials.size());
    EXPECT_NE(std::string::npos, dials[0].find("entry=\"Home\" user=\"demo\" password=saved"));
    ASSERT_TRUE(tovane.CloseMain());
    std::string saved = ReadWholeFile(folder.File("Tovane.dat"));
    ASSERT_GT(saved.size(), 20u);
    EXPECT_EQ(StrBytes("Home") + StrBytes("") + StrBytes(""), saved.substr(20));
}

// A line is lost, and during the hang-up's wait (held until the test lets it end) the user picks
// another entry in the settings window: the wait is left alone (one hang-up, no dial, Close
// refused), and only when it has ended is the new entry taken up.
TEST_F(Dialer, AnEntryChangedDuringTheHangUpWaitIsTakenUpAfterIt) {
    const std::string book = "[Fast]\nDelay = 50\nHangUpTime = 0\n[Spare]\nDelay = 50\n";
    WriteWholeFile(folder.File("rassim.ini"), "GetConnectStatusError = 5\n" + book);
    const char flags[4] = {0, 1, 0, 0}; // auto reconnect on, shrink off
    WriteWholeFile(folder.File("Tovane.dat"), std::string(flags, 4) + Int32(100) + Int32(100) +
                                                  Int32(282) + Int32(165) + Str("Fast") +
                                                  Str("user") + Str("secret"));
    TovaneProcess tovane;
    ASSERT_TRUE(Start(tovane));
    HWND main = tovane.WaitForWindow("TovaneMainWndClass");
    ASSERT_NE(nullptr, main);
    // Dialled, connected, the line's status unknown at the next tick: the hang-up's wait begins.
    ASSERT_TRUE(WaitFor([&] { return !Journal(tovane, "RasHangUpA").empty(); }, 10000));

    PostMessageA(main, WM_COMMAND, 3073, 0); // Settings, dispatched by the wait
    HWND settings = tovane.WaitForWindow("TovaneSettingsWndClass", 2000);
    ASSERT_NE(nullptr, settings);
    HWND list = FindChild(settings, "ComboBox");
    ASSERT_NE(nullptr, list);
    SendMessageA(list, CB_SETCURSEL, 1, 0); // Spare
    PostMessageA(GetDlgItem(settings, 1), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return TextOf(main) == "Tovane - Spare"; }, 2000));
    PostMessageA(main, WM_CLOSE, 0, 0);
    PumpMessages(300);
    EXPECT_TRUE(IsWindow(main)) << "Close is refused while the hang-up waits";
    // Status polls that found the hung-up handle gone: the end of the wait.
    auto gone = [&] {
        std::vector<std::string> found;
        for (std::string line : Journal(tovane, "RasGetConnectStatusA")) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                line.pop_back();
            if (line.size() > 4 && line.compare(line.size() - 4, 4, "-> 6") == 0)
                found.push_back(line);
        }
        return found;
    };
    const bool stillWaiting = gone().empty();
    WriteWholeFile(folder.File("rassim.ini"), book); // the service answers again

    // The wait ends when the handle is gone; the new entry is refreshed, then dialled.
    ASSERT_TRUE(WaitFor([&] { return !Journal(tovane, "entry=\"Spare\"").empty(); }, 8000));
    EXPECT_TRUE(stillWaiting) << "the wait ended before the entry was changed: no test";
    std::vector<std::string> hangUps = Journal(tovane, "RasHangUpA");
    EXPECT_EQ(1u, hangUps.size());
    auto timeOf = [](const std::string& line) { return std::stoull(line); };
    const std::vector<std::string> ends = gone();
    ASSERT_FALSE(ends.empty());
    std::vector<std::string> dials = Journal(tovane, "RasDialA");
    ASSERT_EQ(2u, dials.size());
    EXPECT_NE(std::string::npos, dials[0].find("entry=\"Fast\""));
    EXPECT_NE(std::string::npos, dials[1].find("entry=\"Spare\""));
    EXPECT_GE(timeOf(dials[1]), timeOf(ends[0])) << "no dial inside the wait";
    // The refresh's enumeration comes after the wait and before the new dial.
    bool refreshed = false;
    for (const std::string& line : Journal(tovane, "RasEnumConnectionsA"))
        refreshed =
            refreshed || (timeOf(line) >= timeOf(ends[0]) && timeOf(line) <= timeOf(dials[1]));
    EXPECT_TRUE(refreshed);
    // Closed once the new dial has connected (Close is refused while it runs).
    ASSERT_TRUE(
        WaitFor([&] { return Journal(tovane, "state=8192 error=0 thread").size() >= 2; }, 8000));
    PumpMessages(300);
    ASSERT_TRUE(tovane.CloseMain());
}

} // namespace
