// The command line and one copy per folder, from outside: the real program with the simulated
// dial-up service beside it (ctest starts this program with WINEDLLOVERRIDES=rasapi32=n,b).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/NCommandLine.h"
#include "support/Harness.h"

namespace {

constexpr char MainClass[] = "TovaneMainWndClass";

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CopyBesideTests("rassim\\rasapi32.dll", folder.Path(), "rasapi32.dll"));
        WriteWholeFile(folder.File("rassim.ini"), "[Fast]\nDelay = 100\nHangUpTime = 300\n");
        // Auto reconnect and shrink off: nothing dials unless told to.
        WriteWholeFile(folder.File("Tovane.dat"),
                       DatFile{1, 0, 0, 1, 0, 0, 282, 165, "Fast", "user", "secret"}.Bytes());
    }
    bool Start(TovaneProcess& tovane, const std::string& arguments,
               const TempFolder* in = nullptr) {
        return tovane.Start((in ? in : &folder)->Path(),
                            {{"RASSIM_CONFIG", folder.File("rassim.ini")},
                             {"RASSIM_STATE", folder.File("rassim.state")},
                             {"RASSIM_JOURNAL", folder.File("journal.txt")}},
                            arguments);
    }
    // A start that must hand over and end without a window of its own: its exit code.
    DWORD HandOver(const std::string& arguments) {
        TovaneProcess second;
        if (!Start(second, arguments) || !second.WaitForExit(8000)) return STILL_ACTIVE;
        EXPECT_EQ(nullptr, second.FindWindowOf(MainClass));
        return second.ExitCode();
    }
    // Journal lines with the text, of every process.
    std::vector<std::string> Journal(const std::string& text) const {
        return LinesWith(folder.File("journal.txt"), text);
    }

    TempFolder folder;
};

// Starts that end without a window say why in a box and their exit code: a bad switch, the usage
// request, and a copy of this folder that does not answer within 5 seconds (a window whose
// thread never takes its messages, published for this folder).
TEST_F(CommandLine, StartsEndingWithoutAWindowSayWhyAndLeaveTheSettingsAlone) {
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<HWND> stuck = nullptr;
    std::thread owner([&] {
        stuck = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                nullptr);
        WaitForSingleObject(release, INFINITE);
        DestroyWindow(stuck);
    });
    while (!stuck)
        Sleep(10);
    HANDLE claim = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4,
                                      FolderObjectName(folder.Path()).c_str());
    auto* published = static_cast<LONG*>(MapViewOfFile(claim, FILE_MAP_WRITE, 0, 0, 4));
    ASSERT_NE(nullptr, published);
    *published = static_cast<LONG>(reinterpret_cast<LONG_PTR>(stuck.load()));

    const std::string dat = ReadWholeFile(folder.File("Tovane.dat"));
    const struct {
        const char* Arguments;
        const char* Caption;
        const char* Names;
        DWORD ExitCode;
    } cases[] = {// First, while the thread is new: once it has not taken messages for 5 seconds
                 // the system counts it hung, and the start gives up at once.
                 {"/connect", "Tovane - Problem", "did not answer within 5", 1},
                 {"/connect -Bogus", "Tovane - Problem", "\"-Bogus\"", 2},
                 {"/connect \"/TRAY\" connect", "Tovane - Problem", "\"connect\"", 2},
                 {"-?", "Tovane - Usage", "/disconnect", 0}};
    for (const auto& c : cases) {
        TovaneProcess tovane;
        const ULONGLONG started = GetTickCount64();
        ASSERT_TRUE(Start(tovane, c.Arguments));
        MessageBoxInfo box;
        ASSERT_TRUE(WaitForMessageBox(tovane.Pid(), box, 15000)) << c.Arguments;
        if (c.ExitCode == 1) {
            EXPECT_GE(GetTickCount64() - started, 4900u);
        }
        EXPECT_EQ(c.Caption, box.Caption);
        EXPECT_NE(std::string::npos, box.Text.find(c.Names)) << box.Text;
        EXPECT_EQ(nullptr, tovane.FindWindowOf(MainClass));
        AnswerMessageBox(box.Window);
        ASSERT_TRUE(tovane.WaitForExit());
        EXPECT_EQ(c.ExitCode, tovane.ExitCode()) << c.Arguments;
    }
    EXPECT_EQ(dat, ReadWholeFile(folder.File("Tovane.dat")));
    EXPECT_TRUE(Journal("").empty()) << "the dial-up service was never loaded";
    UnmapViewOfFile(published);
    CloseHandle(claim);
    SetEvent(release);
    owner.join();
    CloseHandle(release);
}

TEST_F(CommandLine, ASecondStartHandsItsSwitchesToTheRunningCopy) {
    TovaneProcess first;
    ASSERT_TRUE(Start(first, ""));
    HWND main = first.WaitForWindow(MainClass);
    ASSERT_NE(nullptr, main);

    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(0u, HandOver("-CONNECT"));
    const ULONGLONG ended = GetTickCount64();
    ASSERT_TRUE(PumpUntil([&] { return !Journal("RasDialA").empty(); }, 5000));
    std::printf("second start: ended after %llu ms, the running copy dialled after %llu ms\n",
                ended - started, std::stoull(Journal("RasDialA")[0]) - started);
    char pid[32];
    wsprintfA(pid, " %lu ", first.Pid());
    EXPECT_NE(std::string::npos, Journal("RasDialA")[0].find(pid));
    EXPECT_TRUE(IsWindowVisible(main)) << "a handed-over switch does not bring it forward";

    // Into the tray, and out again for a start without switches.
    EXPECT_EQ(0u, HandOver("/Tray"));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(main); }, 3000));
    EXPECT_EQ(0u, HandOver(""));
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(main) != FALSE; }, 3000));

    // Once connected (Exit is refused while a dial runs): hang up, then end.
    ASSERT_TRUE(PumpUntil([&] { return !Journal("state=8192 error=0").empty(); }, 5000));
    PumpMessages(300);
    EXPECT_EQ(0u, HandOver("/disconnect /exit"));
    ASSERT_TRUE(first.WaitForExit(5000));
    EXPECT_EQ(0u, first.ExitCode());
    EXPECT_EQ(1u, Journal("RasHangUpA").size());
    EXPECT_EQ(1u, Journal("RasDialA").size());
}

TEST_F(CommandLine, ATrayStartHidesTheWindowAndOtherFoldersStayIndependent) {
    TovaneProcess tray;
    ASSERT_TRUE(Start(tray, "/tray"));
    HWND main = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (main = tray.FindWindowOf(MainClass)) != nullptr; }, 8000));
    PumpMessages(300);
    // Hidden, so the shell took the icon: a refused icon leaves the window shown.
    EXPECT_FALSE(IsWindowVisible(main));

    // Another folder is another copy's: /exit there finds none and starts nothing.
    TempFolder other;
    TovaneProcess elsewhere;
    ASSERT_TRUE(Start(elsewhere, "/exit", &other));
    ASSERT_TRUE(elsewhere.WaitForExit(5000));
    EXPECT_EQ(0u, elsewhere.ExitCode());
    EXPECT_FALSE(FileExists(other.File("Tovane.dat")));
    EXPECT_TRUE(tray.Running());
    EXPECT_FALSE(IsWindowVisible(main));
    ASSERT_TRUE(tray.CloseMain());
    EXPECT_EQ(0u, tray.ExitCode());
}

} // namespace
