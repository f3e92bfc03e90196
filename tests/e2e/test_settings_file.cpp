// Tovane.dat seen from outside: what the real program reads at start-up, tells the user about a
// damaged or unwritable file, and leaves behind at exit.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "support/Driver.h"
#include "support/TestSupport.h"

namespace {

const std::string CorruptText =
    "Tovane's settings file appears corrupted. The default settings will be used.\n\n"
    "Is the hard disk full? \nRun ScanDisk?\n\n";
const std::string SaveFailedText = "Tovane was unable to save your settings. \n\n"
                                   "Is the hard disk full? \n"
                                   "Are you trying to run Tovane from a read-only CD-ROM?\n\n";

std::string Int32(int32_t n) {
    std::string s(4, '\0');
    std::memcpy(s.data(), &n, 4);
    return s;
}

int32_t Int32At(const std::string& s, size_t at) {
    int32_t n = 0;
    std::memcpy(&n, s.data() + at, 4);
    return n;
}

std::string Record(const char flags[4], int32_t left, int32_t top, int32_t width, int32_t height) {
    return std::string(flags, 4) + Int32(left) + Int32(top) + Int32(width) + Int32(height);
}

std::string Str(const std::string& text) {
    return Int32(static_cast<int32_t>(text.size())) + text;
}

// The stored box must be the window's outer rectangle as left, top, width, height.
void ExpectStoredBox(const std::string& bytes, const RECT& r) {
    ASSERT_GE(bytes.size(), 20u);
    EXPECT_EQ(r.left, Int32At(bytes, 4));
    EXPECT_EQ(r.top, Int32At(bytes, 8));
    EXPECT_EQ(r.right - r.left, Int32At(bytes, 12));
    EXPECT_EQ(r.bottom - r.top, Int32At(bytes, 16));
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

TEST(SettingsFile, DamagedFileShowsTheCorruptionBoxThenStartsWithDefaults) {
    struct Case {
        std::string Bytes;
        std::string Tail; // the record-file message, after the folder is known
    };
    const char flags[4] = {0, 0, 0, 0};
    const std::string good = Record(flags, 5, 5, 300, 200) + Str("ISP") + Str("me") + Str("pw");
    for (const Case& c :
         {Case{good.substr(0, 10), "NFile.Read '%' Error 1"}, Case{good + "x", "eof"},
          Case{good.substr(0, 20) + Int32(60000), "NFile.ReadPChar '%' Error "}}) {
        TempFolder folder;
        const std::string dat = folder.File("Tovane.dat");
        std::string tail = c.Tail;
        if (size_t at = tail.find('%'); at != std::string::npos) tail.replace(at, 1, dat);
        SCOPED_TRACE(tail);
        WriteWholeFile(dat, c.Bytes);

        TovaneProcess tovane;
        ASSERT_TRUE(tovane.Start(folder.Path()));
        MessageBoxInfo box;
        ASSERT_TRUE(WaitForMessageBox(tovane.Pid(), box));
        ExpectProblemBox(box, CorruptText + tail);
        // The box comes before the main window and holds up start-up.
        EXPECT_EQ(nullptr, tovane.FindWindowOf("TovaneMainWndClass"));
        AnswerMessageBox(box.Window);

        HWND main = tovane.WaitForWindow("TovaneMainWndClass");
        ASSERT_NE(nullptr, main);
        // The defaults: the 282 x 165 box in the middle of the screen.
        RECT r = RectOf(main);
        EXPECT_EQ(282, r.right - r.left);
        EXPECT_EQ(165, r.bottom - r.top);
        EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - 282) / 2, r.left);
        EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - 165) / 2, r.top);
        ASSERT_TRUE(tovane.CloseMain());
        EXPECT_EQ(0u, tovane.ExitCode());

        // The damaged file has given way to the defaults.
        std::string after = ReadWholeFile(dat);
        ASSERT_EQ(32u, after.size());
        EXPECT_EQ(std::string("\1\1\1\1"), after.substr(0, 4));
        ExpectStoredBox(after, r);
        EXPECT_EQ(std::string(12, '\0'), after.substr(20));
    }
}

TEST(SettingsFile, FirstStartThenCloseLeavesTheDefaultsAndTheWindowBox) {
    TempFolder folder;
    const std::string dat = folder.File("Tovane.dat");
    TovaneProcess tovane;
    ASSERT_TRUE(tovane.Start(folder.Path()));
    HWND main = tovane.WaitForWindow("TovaneMainWndClass");
    ASSERT_NE(nullptr, main);
    EXPECT_TRUE(NoBoxFor(tovane.Pid(), 300)); // no file is no problem
    EXPECT_FALSE(FileExists(dat));            // nothing is written before exit
    RECT r = RectOf(main);
    ASSERT_TRUE(tovane.CloseMain());
    EXPECT_EQ(0u, tovane.ExitCode());

    bool exists = false;
    std::string bytes = ReadWholeFile(dat, &exists);
    ASSERT_TRUE(exists);
    ASSERT_EQ(32u, bytes.size());
    EXPECT_EQ(std::string("\1\1\1\1"), bytes.substr(0, 4));
    ExpectStoredBox(bytes, r);
    EXPECT_EQ(std::string(12, '\0'), bytes.substr(20)); // three absent strings
    EXPECT_FALSE(FileExists(dat + ".tmp"));
}

TEST(SettingsFile, CraftedFileLoadsAndItsStringsAndFlagsGoBackUnchanged) {
    TempFolder folder;
    const std::string dat = folder.File("Tovane.dat");
    // Option bytes as another writer may have left them (2 reads as on).
    const char flags[4] = {2, 0, 1, 0};
    const std::string strings = Str("Office line") + Str("jane") + Str("s3cret");
    WriteWholeFile(dat, Record(flags, 120, 90, 300, 190) + strings);

    TovaneProcess tovane;
    ASSERT_TRUE(tovane.Start(folder.Path()));
    HWND main = tovane.WaitForWindow("TovaneMainWndClass");
    ASSERT_NE(nullptr, main);
    EXPECT_TRUE(NoBoxFor(tovane.Pid(), 300));
    RECT r = RectOf(main);
    EXPECT_EQ(120, r.left); // the stored box was used
    EXPECT_EQ(90, r.top);
    ASSERT_TRUE(tovane.CloseMain());

    std::string bytes = ReadWholeFile(dat);
    EXPECT_EQ(std::string(flags, 4), bytes.substr(0, 4));
    ExpectStoredBox(bytes, r);
    EXPECT_EQ(strings, bytes.substr(20));
}

TEST(SettingsFile, ReadOnlyFileIsKeptAndTheExitReportsTheFailedSave) {
    TempFolder folder;
    const std::string dat = folder.File("Tovane.dat");
    const char flags[4] = {0, 1, 0, 1};
    const std::string bytes = Record(flags, 40, 50, 282, 165) + Str("") + Str("") + Str("");
    WriteWholeFile(dat, bytes);
    ASSERT_TRUE(SetFileAttributesA(dat.c_str(), FILE_ATTRIBUTE_READONLY));

    {
        TovaneProcess tovane;
        ASSERT_TRUE(tovane.Start(folder.Path()));
        HWND main = tovane.WaitForWindow("TovaneMainWndClass");
        ASSERT_NE(nullptr, main);
        EXPECT_TRUE(NoBoxFor(tovane.Pid(), 300)); // start-up stays silent
        PostMessageA(main, WM_CLOSE, 0, 0);

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
}

// Tovane.dat may hold any 16 bytes for the window box: every one gives a window that is shown
// with its caption on the work area and at least its minimum width of it visible.
TEST(SettingsFile, AnyStoredBoxGivesAWindowWithinReach) {
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    constexpr int32_t Min = INT32_MIN, Max = INT32_MAX;
    const char flags[4] = {0, 0, 0, 0};
    for (const auto& b : {std::array<int32_t, 4>{Min, Min, Min, Min},
                          {Max, Max, Max, Max},
                          {Max, Max, 0, 0},
                          {Max, Max, Min, Min},
                          {5000, -5000, -300, -200},
                          {100, 100, 100000, 100000}}) {
        SCOPED_TRACE(::testing::Message() << b[0] << " " << b[1] << " " << b[2] << " " << b[3]);
        TempFolder folder;
        WriteWholeFile(folder.File("Tovane.dat"),
                       Record(flags, b[0], b[1], b[2], b[3]) + Str("") + Str("") + Str(""));
        TovaneProcess tovane;
        ASSERT_TRUE(tovane.Start(folder.Path()));
        HWND main = tovane.WaitForWindow("TovaneMainWndClass");
        ASSERT_NE(nullptr, main);
        EXPECT_TRUE(IsWindowVisible(main));
        RECT r = RectOf(main);
        EXPECT_GE(r.left, work.left);
        EXPECT_GE(r.top, work.top);
        EXPECT_GE(std::min(r.right, work.right) - r.left, 180)
            << "too little of it on the work area";
        EXPECT_LE(r.top + GetSystemMetrics(SM_CYCAPTION), work.bottom)
            << "caption below the work area";
        ASSERT_TRUE(tovane.CloseMain());
        EXPECT_EQ(0u, tovane.ExitCode());
    }
}

} // namespace
