// Tovane.dat seen from outside: what the real program reads at start-up, tells the user about a
// damaged or unwritable file, and leaves behind at exit.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "support/Harness.h"

namespace {

// The stored box must be the window's outer rectangle as left, top, width, height.
void ExpectStoredBox(const std::string& bytes, const RECT& r) {
    EXPECT_EQ((std::vector<int32_t>{r.left, r.top, r.right - r.left, r.bottom - r.top}),
              (std::vector<int32_t>{Int32At(bytes, 4), Int32At(bytes, 8), Int32At(bytes, 12),
                                    Int32At(bytes, 16)}));
}

// No message box of the process shows up within the time.
bool NoBoxFor(DWORD pid, DWORD milliseconds) {
    MessageBoxInfo info;
    return !WaitForMessageBox(pid, info, milliseconds);
}

void ExpectProblemBox(const MessageBoxInfo& box, const std::string& text) {
    EXPECT_EQ("Tovane - Problem", box.Caption);
    EXPECT_EQ(text, box.Text);
    // MB_OK: one button. MB_ICONEXCLAMATION: an icon beside the text.
    int buttons = 0, icons = 0;
    for (HWND child : ChildrenOf(box.Window)) {
        if (ClassOf(child) == "Button") ++buttons;
        if (ClassOf(child) == "Static" &&
            (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            ++icons;
    }
    EXPECT_EQ(1, buttons);
    EXPECT_EQ(1, icons);
}

// No file is no problem; a damaged one is reported in a box that comes before the main window
// and holds up start-up. Either way the program starts with the defaults, the 282 x 165 box in
// the middle of the screen, and leaves them at exit, nothing written before.
TEST(SettingsFile, AMissingOrDamagedFileStartsWithTheDefaultsAndLeavesThemAtExit) {
    struct Case {
        bool Write;
        std::string Bytes;
        std::string Tail; // the record-file message, after the folder is known
    };
    const std::string good = DatFile{0, 0, 0, 0, 5, 5, 300, 200, "ISP", "me", "pw"}.Bytes();
    for (const Case& c :
         {Case{false, "", ""}, Case{true, good.substr(0, 10), "NFile.Read '%' Error 1"},
          Case{true, good + "x", "eof"},
          Case{true, good.substr(0, 20) + Int32Bytes(60000), "NFile.ReadPChar '%' Error "}}) {
        TovaneRun run;
        TovaneProcess& tovane = run.Process;
        const std::string dat = run.Folder.File("Tovane.dat");
        std::string tail = c.Tail;
        if (size_t at = tail.find('%'); at != std::string::npos) tail.replace(at, 1, dat);
        SCOPED_TRACE(tail);
        if (c.Write) WriteWholeFile(dat, c.Bytes);

        ASSERT_TRUE(tovane.Start(run.Folder.Path()));
        MessageBoxInfo box;
        if (c.Write) {
            ASSERT_TRUE(WaitForMessageBox(tovane.Pid(), box));
            ExpectProblemBox(box, CorruptSettingsText + tail);
            EXPECT_EQ(nullptr, tovane.FindWindowOf("TovaneMainWndClass"));
            AnswerMessageBox(box.Window);
        }
        HWND main = tovane.WaitForWindow("TovaneMainWndClass");
        ASSERT_NE(nullptr, main);
        if (!c.Write) {
            EXPECT_TRUE(NoBoxFor(tovane.Pid(), 300));
            EXPECT_FALSE(FileExists(dat));
        }
        const RECT r = RectOf(main);
        const int x = (GetSystemMetrics(SM_CXSCREEN) - 282) / 2,
                  y = (GetSystemMetrics(SM_CYSCREEN) - 165) / 2;
        EXPECT_EQ((RECT{x, y, x + 282, y + 165}), r);
        ASSERT_TRUE(run.Close());

        std::string after = ReadWholeFile(dat);
        ASSERT_EQ(32u, after.size());
        EXPECT_EQ(std::string("\1\1\1\1"), after.substr(0, 4));
        ExpectStoredBox(after, r);
        EXPECT_EQ(std::string(12, '\0'), after.substr(20)); // three absent strings
        EXPECT_FALSE(FileExists(dat + ".tmp"));
    }
}

TEST(SettingsFile, CraftedFileLoadsAndItsStringsAndFlagsGoBackUnchanged) {
    // Option bytes as another writer may have left them (2 reads as on).
    const DatFile file{2, 0, 1, 0, 120, 90, 300, 190, "Office line", "jane", "s3cret"};
    TovaneRun tovane;
    tovane.WriteDat(file.Bytes());
    ASSERT_TRUE(tovane.Start());
    EXPECT_TRUE(NoBoxFor(tovane.Process.Pid(), 300));
    const RECT r = RectOf(tovane.Main);
    EXPECT_EQ((RECT{120, 90, 420, 280}), r); // the stored box was used
    ASSERT_TRUE(tovane.Close());

    std::string bytes = tovane.Dat();
    EXPECT_EQ(file.Bytes().substr(0, 4), bytes.substr(0, 4));
    ExpectStoredBox(bytes, r);
    EXPECT_EQ(file.Bytes().substr(20), bytes.substr(20));
}

TEST(SettingsFile, ReadOnlyFileIsKeptAndTheExitReportsTheFailedSave) {
    const std::string bytes = DatFile{0, 1, 0, 1, 40, 50, 282, 165, "", "", ""}.Bytes();
    TovaneRun run;
    TovaneProcess& tovane = run.Process;
    const std::string dat = run.Folder.File("Tovane.dat");
    run.WriteDat(bytes);
    ASSERT_TRUE(SetFileAttributesA(dat.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(run.Start());
    EXPECT_TRUE(NoBoxFor(tovane.Pid(), 300)); // start-up stays silent
    PostMessageA(run.Main, WM_CLOSE, 0, 0);

    MessageBoxInfo box;
    ASSERT_TRUE(WaitForMessageBox(tovane.Pid(), box));
    ExpectProblemBox(box, SaveFailedText + "NFile.Move '" + dat + "' Error 5");
    AnswerMessageBox(box.Window);
    ASSERT_TRUE(tovane.WaitForExit());
    EXPECT_EQ(0u, tovane.ExitCode());

    EXPECT_EQ(bytes, ReadWholeFile(dat));
    EXPECT_TRUE(GetFileAttributesA(dat.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(FileExists(dat + ".tmp"));
}

// Tovane.dat may hold any 16 bytes for the window box: every one gives a window that is shown
// with its caption on the work area and at least its minimum width of it visible.
TEST(SettingsFile, AnyStoredBoxGivesAWindowWithinReach) {
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    constexpr int32_t Min = INT32_MIN, Max = INT32_MAX;
    for (const auto& b : {std::array<int32_t, 4>{Min, Min, Min, Min},
                          {Max, Max, Max, Max},
                          {Max, Max, 0, 0},
                          {Max, Max, Min, Min},
                          {5000, -5000, -300, -200},
                          {100, 100, 100000, 100000}}) {
        SCOPED_TRACE(::testing::Message() << b[0] << " " << b[1] << " " << b[2] << " " << b[3]);
        TovaneRun tovane;
        tovane.WriteDat(DatFile{0, 0, 0, 0, b[0], b[1], b[2], b[3], "", "", ""}.Bytes());
        ASSERT_TRUE(tovane.Start());
        HWND main = tovane.Main;
        EXPECT_TRUE(IsWindowVisible(main));
        RECT r = RectOf(main);
        EXPECT_GE(r.left, work.left);
        EXPECT_GE(r.top, work.top);
        EXPECT_GE(std::min(r.right, work.right) - r.left, 180)
            << "too little of it on the work area";
        EXPECT_LE(r.top + GetSystemMetrics(SM_CYCAPTION), work.bottom)
            << "caption below the work area";
    }
}

} // namespace
