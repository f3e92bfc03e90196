// The controller driving the simulated dial-up service in this process: real worker-thread
// reports, real hang-up times, lines dropped with the control tool, the service's journal.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/NConnection.h"
#include "app/WMain.h"
#include "app/WStatus.h"
#include "common/NCommon.h"
#include "ras/NRas.h"
#include "support/Harness.h"

namespace {

std::unique_ptr<TempFolder> Folder;
std::unique_ptr<StartedTovane> Program;
std::unique_ptr<ScopedEnv> ConfigEnv, StateEnv, JournalEnv;

// Forty reports a dial: thirty-nine states without a pause, the last one repeated with an error.
std::string StressStates() {
    std::string states;
    for (int s = 0; s <= 34; ++s)
        states += std::to_string(s) + " ";
    return states + "4096 4097 4098 4099";
}

// One entry a line: a quick dial, one that needs the right user, a slow hang-up, and the stress
// dial, which fails at its last state.
const std::string PhoneBook =
    "[Fast]\nDelay = 20\nHangUpTime = 0\n"
    "[Login]\nDelay = 10\nUser = demo\nPassword = demo\nHangUpTime = 0\n"
    "[Slow Hang-up]\nStates = 0:10 8192:10\nHangUpTime = 2000\n"
    "[Stress]\nDelay = 0\nErrorState = 4099\nErrorCode = 678\nHangUpTime = 0\nStates = " +
    StressStates() + "\n";

class Dialing : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Folder = std::make_unique<TempFolder>();
        ConfigEnv =
            std::make_unique<ScopedEnv>("RASSIM_CONFIG", Folder->File("rassim.ini").c_str());
        StateEnv =
            std::make_unique<ScopedEnv>("RASSIM_STATE", Folder->File("rassim.state").c_str());
        JournalEnv =
            std::make_unique<ScopedEnv>("RASSIM_JOURNAL", Folder->File("journal.txt").c_str());
        WriteWholeFile(Folder->File("rassim.ini"), PhoneBook);
        // A file named rasapi32.dll would be answered by Wine's own library: bind a copy.
        std::string copy = Folder->File("simulated-service.dll");
        ASSERT_TRUE(CopyFileA((ExeFolder() + "rassim\\rasapi32.dll").c_str(), copy.c_str(), FALSE));
        TStartOptions options;
        options.RasLibrary = copy.c_str();
        Program = std::make_unique<StartedTovane>(std::string(), options);
        ASSERT_TRUE(Program->Started);
        ASSERT_TRUE(RasSlotBound(4));
    }
    static void TearDownTestSuite() {
        Program.reset();
        // Finished workers let go of the library before the folder goes.
        PumpUntil([] { return !GetModuleHandleA("simulated-service.dll"); }, 5000);
        JournalEnv.reset();
        StateEnv.reset();
        ConfigEnv.reset();
        Folder.reset();
    }
    void SetUp() override {
        RunTool("reset");
        SetString(Settings.ConnectionName, "Fast");
        SetString(Settings.UserName, "user");
        SetString(Settings.Password, "secret");
        Settings.SimpleStatus = 0;
        Settings.AutoReconnect = 0;
        Settings.ShrinkWhenConnected = 0;
        ResetController();
        RefreshConnection();
        mark = StatusLineCount();
        journalMark = ReadWholeFile(Folder->File("journal.txt")).size();
    }
    void TearDown() override {
        KillTimer(MainWindow, PollTimerId);
        if (ControllerNow().ControllerState == TControllerState::Dialing) Disconnect();
        PumpMessages(50);
    }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (int32_t i = mark; i < StatusLineCount(); ++i)
            lines.push_back(Text(StatusLineText(i)));
        return lines;
    }
    bool LineSeen(const std::string& text) const {
        for (const std::string& l : Lines())
            if (l == text) return true;
        return false;
    }
    // Journal lines written since the test began that contain the text.
    std::vector<std::string> Journal(const std::string& text) const {
        return LinesWith(Folder->File("journal.txt"), text, journalMark);
    }
    void Tick() { PollTimer(MainWindow, WM_TIMER, PollTimerId, 0); }
    bool WaitForState(TControllerState state, DWORD ms = 5000) {
        return PumpUntil([state] { return ControllerNow().ControllerState == state; }, ms);
    }

    static DWORD RunTool(const std::string& arguments) { return RunRassimTool(arguments); }

    int32_t mark = 0;
    size_t journalMark = 0;
};

TEST_F(Dialing, AWholeDialIsWrittenStateByStateAndJournalled) {
    ULONGLONG start = GetTickCount64();
    Connect();
    ASSERT_TRUE(WaitForState(TControllerState::Ready));
    // Twelve states, 20 ms apart in the phone book, each taken up as it is reported (the poll is
    // off); how long it took depends on the machine's load and is only shown.
    ULONGLONG took = GetTickCount64() - start;
    std::printf("Connect to Connected: %llu ms for the simulated 240 ms\n", took);
    std::vector<std::string> expected = {" "};
    for (RASCONNSTATE s : {0, 1, 2, 3, 4, 5, 19, 6, 10, 14, 18, RASCS_Connected})
        expected.push_back(ConnectionStateText(s, 0, false));
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(expected.size() + 1, lines.size());
    lines.erase(lines.begin() + 1); // the "Connecting" line, checked elsewhere
    EXPECT_EQ(expected, lines);

    std::vector<std::string> dials = Journal("RasDialA size=1052 entry=\"Fast\" user=\"user\" "
                                             "password=yes phonebook=(null) notifier=0 -> 0");
    EXPECT_EQ(1u, dials.size());
    // Watched each tick without a line while the line is up.
    Tick();
    EXPECT_EQ(expected.size() + 1, Lines().size());
    EXPECT_FALSE(Journal("RasGetConnectStatusA handle=").empty());
    EXPECT_FALSE(Journal("size=160 -> 0 state=8192").empty());
}

TEST_F(Dialing, RejectedCredentialsAreHungUpAndRedialledNumberedHigherAfterTheWait) {
    ClockShift clock;
    SetString(Settings.ConnectionName, "Login");
    Settings.AutoReconnect = 1;
    RefreshConnection();
    mark = StatusLineCount();
    Connect();
    ASSERT_TRUE(PumpUntil(
        [this] {
            return LineSeen("  disconnecting...") &&
                   ControllerNow().ControllerState == TControllerState::Ready;
        },
        5000));
    std::vector<std::string> lines = Lines();
    std::string error = RasErrorText(691);
    ASSERT_FALSE(error.empty());
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(error, lines[lines.size() - 4]);
    EXPECT_EQ("Auto reconnect waits 30 seconds: the server refused the user name or password.",
              lines[lines.size() - 3]);
    EXPECT_EQ("  disconnecting...", lines[lines.size() - 2]);
    EXPECT_EQ("Disconnected", lines.back());
    EXPECT_EQ(1u, Journal("RasHangUpA").size());
    Tick();
    EXPECT_EQ(1u, Journal("RasDialA").size());
    clock.Advance(30000); // the wait is over
    Tick();
    EXPECT_EQ(2u, Journal("RasDialA").size());
    EXPECT_EQ(2, ControllerNow().DialAttempt);
}

TEST_F(Dialing, ALineDroppedOutsideIsNoticedWithinASecondAndRedialled) {
    Settings.AutoReconnect = 1;
    Connect();
    ASSERT_TRUE(WaitForState(TControllerState::Ready));
    int32_t before = StatusLineCount();
    ASSERT_EQ(0u, RunTool("drop Fast"));
    Tick(); // the next poll, at most a poll period (a second) after the drop, notices it
    EXPECT_TRUE(LineSeen("  disconnecting..."));
    ASSERT_TRUE(PumpUntil([] { return ControllerNow().DialAttempt == 2; }, 3000));
    std::vector<std::string> lines = Lines();
    lines.erase(lines.begin(), lines.begin() + (before - mark));
    ASSERT_GE(lines.size(), 4u);
    lines[3].resize(16); // the rest is the time
    EXPECT_EQ(
        (std::vector<std::string>{"  disconnecting...", "Disconnected", " ", "Connecting  (#2 "}),
        std::vector<std::string>(lines.begin(), lines.begin() + 4));
    EXPECT_EQ(2u, Journal("RasDialA").size());
}

TEST_F(Dialing, AfterTheUserHangsUpADropIsNotRedialled) {
    Settings.AutoReconnect = 1;
    Connect();
    ASSERT_TRUE(WaitForState(TControllerState::Ready));
    Disconnect();
    EXPECT_EQ(1u, Journal("RasHangUpA").size());
    for (int i = 0; i < 3; ++i)
        Tick();
    EXPECT_EQ(1u, Journal("RasDialA").size());
}

TEST_F(Dialing, AHandleTheServiceForgotFailsTheHangUp) {
    Connect();
    ASSERT_TRUE(WaitForState(TControllerState::Ready));
    ASSERT_EQ(0u, RunTool("reset"));
    Disconnect();
    std::vector<std::string> lines = Lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ((std::vector<std::string>{"  disconnecting...", "Error 6 - Hangup - RasHangup",
                                        RasErrorText(6), "Disconnected"}),
              std::vector<std::string>(lines.end() - 4, lines.end()));
    EXPECT_EQ(nullptr, ControllerNow().ConnectionHandle);
}

TEST_F(Dialing, AFailingEnumerationLeavesTheControllerInitial) {
    WriteWholeFile(Folder->File("rassim.ini"), "EnumConnectionsError = 621\n" + PhoneBook);
    int32_t before = StatusLineCount();
    RefreshConnection();
    WriteWholeFile(Folder->File("rassim.ini"), PhoneBook);
    EXPECT_EQ(before, StatusLineCount());
    EXPECT_EQ(TControllerState::Initial, ControllerNow().ControllerState);
}

TEST_F(Dialing, ATwoSecondHangUpLeavesTheProcessorAlmostIdle) {
    SetString(Settings.ConnectionName, "Slow Hang-up");
    RefreshConnection();
    Connect();
    ASSERT_TRUE(WaitForState(TControllerState::Ready));
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel0, &user0);
    ULONGLONG start = GetTickCount64();
    Disconnect();
    ULONGLONG wall = GetTickCount64() - start;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel1, &user1);
    auto ticks = [](const FILETIME& t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    ULONGLONG cpu = (ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 10000;
    std::printf("two-second hang-up: %llu ms wall, %llu ms processor in this process\n", wall, cpu);
    EXPECT_GE(wall, 1900u);
    EXPECT_LT(cpu, wall / 5);
    EXPECT_EQ("Disconnected", Lines().back());
}

TEST_F(Dialing, HundredsOfQuickDialsKeepEveryLineInOrder) {
    constexpr int Dials = 200;
    SetString(Settings.ConnectionName, "Stress");
    Settings.AutoReconnect = 1;
    RefreshConnection();
    Tick(); // the first dial, so the service's own lasting handles are in the baseline
    ASSERT_TRUE(WaitForState(TControllerState::Ready));
    DWORD handlesBefore = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
    int32_t first = StatusLineCount();
    int firstAttempt = ControllerNow().DialAttempt + 1;

    // In the tray, as a long night of redialling would be: each line drawn on a shown window
    // costs the X server here far more than the controller's work.
    ShowWindow(MainWindow, SW_HIDE);
    ULONGLONG t0 = GetTickCount64();
    SetTimer(MainWindow, PollTimerId, 1, PollTimer);
    bool done = PumpUntil(
        [&] {
            return ControllerNow().DialAttempt >= firstAttempt + Dials &&
                   ControllerNow().ControllerState == TControllerState::Ready;
        },
        180000);
    KillTimer(MainWindow, PollTimerId);
    std::printf("%d dials in %llu ms\n", ControllerNow().DialAttempt - firstAttempt,
                GetTickCount64() - t0);
    ShowWindow(MainWindow, SW_SHOW);
    ASSERT_TRUE(done) << ControllerNow().DialAttempt;
    PumpMessages(100);
    DWORD handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore + 8);

    std::vector<std::string> states;
    for (int s = 0; s <= 34; ++s)
        states.push_back(ConnectionStateText(s, 0, false));
    for (int s = 4096; s <= 4099; ++s)
        states.push_back(ConnectionStateText(s, 0, false));
    std::string error = RasErrorText(678);
    const int32_t perDial = 2 + 39 + 1 + 2;
    int32_t complete = (StatusLineCount() - first) / perDial;
    ASSERT_GE(complete, Dials);
    for (int32_t d = 0; d < complete; ++d) {
        int32_t at = first + d * perDial;
        auto line = [&](int32_t i) { return Text(StatusLineText(at + i)); };
        ASSERT_EQ(" ", line(0)) << d;
        char head[32];
        wsprintfA(head, "Connecting  (#%d ", firstAttempt + d);
        ASSERT_EQ(0u, line(1).find(head)) << d << " " << line(1);
        for (int i = 0; i < 39; ++i)
            ASSERT_EQ(states[i], line(2 + i)) << d << " " << i;
        ASSERT_EQ(error, line(41)) << d;
        ASSERT_EQ("  disconnecting...", line(42)) << d;
        ASSERT_EQ("Disconnected", line(43)) << d;
    }
}

} // namespace
