// Shared helpers: geometry, display scaling, paths, browser command, the modal loop.
#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/NAccess.h"
#include "common/NCommon.h"
#include "support/TestSupport.h"

namespace {

std::vector<int32_t> Fields(const WindowBox& b) {
    return {b.Left, b.Top, b.Width, b.Height};
}

class ScaleAt : public ::testing::Test {
  protected:
    void Use(int dpi) {
        DpiScaling = dpi != 96;
        DpiScale = DpiScaling ? static_cast<float>(dpi) / 96.0f : 0.0f;
    }
    void TearDown() override { Use(96); }
};

// Halves go to the even neighbour, quarters to the nearest; in place or into another box.
TEST_F(ScaleAt, RoundsHalvesToEven) {
    struct Case {
        int Dpi;
        WindowBox From, To;
    } const cases[] = {
        {120, {0, 0, 282, 165}, {0, 0, 352, 206}}, // 352.5, 206.25
        {144, {0, 0, 282, 165}, {0, 0, 423, 248}}, // 247.5
        {120, {4, 8, 12, -3}, {5, 10, 15, -4}},    // -3.75
    };
    for (const Case& c : cases) {
        Use(c.Dpi);
        WindowBox apart = {}, inPlace = c.From;
        ScaleBox(c.From, apart);
        ScaleBox(inPlace, inPlace);
        IntPair size = {c.From.Width, c.From.Height};
        ScalePoint(size, size);
        EXPECT_EQ(Fields(c.To), Fields(apart)) << c.Dpi;
        EXPECT_EQ(Fields(c.To), Fields(inPlace)) << c.Dpi;
        EXPECT_EQ(Fields({c.To.Left, c.To.Top, size.X, size.Y}), Fields(c.To)) << c.Dpi;
    }
}

TEST(Shared, InitSharedReadsTheScreen) {
    InitShared();
    EXPECT_EQ(96, ScreenDpi);
    EXPECT_FALSE(DpiScaling);
    EXPECT_EQ(0.0f, DpiScale);
    EXPECT_EQ(282, DefaultWindowSize.X);
    EXPECT_EQ(165, DefaultWindowSize.Y);
    EXPECT_NE(nullptr, HandCursor);
    EXPECT_NE(nullptr, MainIcon);
    EXPECT_NE(nullptr, GuiFont);
    EXPECT_EQ(ExeFolder(), ProgramFolder);
    EXPECT_EQ(ExeFolder() + "Tovane.dat", SettingsFile);
    EXPECT_EQ(ExeFolder() + "Tovane.hlp", HelpFile);
    EXPECT_EQ(GetSystemMetrics(SM_CYFRAME) * 2, DoubleFrameHeight);
    DoneShared();
    EXPECT_EQ(nullptr, MainIcon);
}

class Geometry : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = WorkArea;
        WorkArea = {0, 0, 800, 570};
        ScreenWidth = 800;
        ScreenHeight = 600;
    }
    void TearDown() override { WorkArea = saved_; }
    RECT saved_;
};

// Off the far edges, too wide, off the top left, and any 16 bytes of a stored box: no overflow,
// never past the far edge, sizes unchanged.
TEST_F(Geometry, ClampPullsBoxesInsideTheWorkArea) {
    constexpr int32_t Min = INT32_MIN, Max = INT32_MAX;
    struct Case {
        WindowBox Box;
        int32_t Left, Top;
    };
    for (const Case& c : {Case{{700, 500, 200, 100}, 600, 470}, Case{{50, 10, 1000, 100}, 0, 10},
                          Case{{-40, -30, 100, 100}, 0, 0}, Case{{Min, Min, Min, Min}, 0, 0},
                          Case{{Max, Max, Max, Max}, 0, 0}, Case{{Max, Max, Min, -1}, 800, 570},
                          Case{{Max, 7, 0, 0}, 800, 7}, Case{{Min, 5, Max, 0}, 0, 5},
                          Case{{-500, 9000, -300, 100}, 0, 470}}) {
        WindowBox box = c.Box;
        ClampToWorkArea(box);
        EXPECT_EQ(Fields({c.Left, c.Top, c.Box.Width, c.Box.Height}), Fields(box))
            << c.Box.Left << " " << c.Box.Top << " " << c.Box.Width << " " << c.Box.Height;
    }
}

TEST_F(Geometry, CenterOnScreenTruncatesTowardZero) {
    WindowBox box = {1, 2, 283, 165};
    CenterOnScreen(box, box);
    EXPECT_EQ((std::vector<int32_t>{258, 217, 283, 165}), Fields(box));
    WindowBox out = {};
    CenterOnScreen({0, 0, 1001, 10}, out);
    EXPECT_EQ((std::vector<int32_t>{-100, 295, 1001, 10}), Fields(out));
    // Without overflow at the ends of the range: (800 + 2^31) div 2, and (600 - (2^31 - 1)) div 2
    // toward zero.
    CenterOnScreen({0, 0, INT32_MIN, INT32_MAX}, out);
    EXPECT_EQ((std::vector<int32_t>{1073742224, -1073741523, INT32_MIN, INT32_MAX}), Fields(out));
}

TEST_F(Geometry, AlignToOwnerCentresBelowTheMenuBar) {
    HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP, 100, 50, 300, 200, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    CaptionHeight = 19;
    MenuHeight = 20;
    DoubleFrameHeight = 8;
    WindowBox box = {0, 0, 201, 80};
    AlignToOwner(owner, box);
    EXPECT_EQ((std::vector<int32_t>{150, 50 + 4 + 19 + 20, 201, 80}), Fields(box));
    DestroyWindow(owner);
}

TEST(Arithmetic, IntMinMax) {
    EXPECT_EQ(-5, IntMin(-5, 3));
    EXPECT_EQ(3, IntMax(-5, 3));
    EXPECT_EQ(7, IntMin(7, 7));
}

TEST(ProgramFolder, FolderOfModulePath) {
    EXPECT_EQ("X:\\Apps\\Dial Up\\", FolderOfPath("X:\\Apps\\Dial Up\\Tovane.exe"));
    EXPECT_EQ("C:\\", FolderOfPath("C:\\TOVANE.EXE"));
    // A folder whose name contains ".exe" stays whole (cutting the command line lost it).
    EXPECT_EQ("X:\\a.exe.d\\", FolderOfPath("X:\\a.exe.d\\Tovane.exe"));
    EXPECT_EQ("\\\\server\\share\\", FolderOfPath("\\\\server\\share\\Tovane.exe"));
    EXPECT_EQ("\\", FolderOfPath("Tovane"));
    EXPECT_EQ("D:\\", FolderOfPath("D:Tovane.exe"));
}

TEST(Browser, CommandsCutToTheExecutable) {
    EXPECT_EQ("C:\\PROGRA~1\\BROWSER\\BROWSE.EXE",
              BrowserFromCommand("C:\\PROGRA~1\\BROWSER\\BROWSE.EXE -h %1"));
    EXPECT_EQ("C:\\Program Files\\Web\\web.exe",
              BrowserFromCommand("\"C:\\Program Files\\Web\\web.exe\" -- \"%1\""));
    EXPECT_EQ("C:\\Apps\\Web.Tools\\view.exe",
              BrowserFromCommand("C:\\Apps\\Web.Tools\\view.exe %1"));
    EXPECT_EQ("C:\\Users\\first.last\\AppData\\Local\\Web\\web.EXE",
              BrowserFromCommand("C:\\Users\\first.last\\AppData\\Local\\Web\\web.EXE"));
    EXPECT_EQ("C:\\Program Files\\My Web\\b.exe",
              BrowserFromCommand("C:\\Program Files\\My Web\\b.exe \"%1\""));
    EXPECT_EQ("C:\\x.exe.d\\b.exe", BrowserFromCommand("C:\\x.exe.d\\b.exe %1"));
    EXPECT_EQ("browser", BrowserFromCommand("browser %1"));
    EXPECT_EQ("C:\\a b\\c", BrowserFromCommand("\"C:\\a b\\c"));
    EXPECT_EQ("", BrowserFromCommand(""));
    EXPECT_EQ("", BrowserFromCommand(nullptr));
}

struct Start {
    std::string Verb, File, Parameters, Folder;
    INT Show;
};
std::vector<Start> starts;

void* savedStart = nullptr; // the system's ShellExecuteA

HINSTANCE WINAPI RecordStart(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder,
                             INT show) {
    auto text = [](LPCSTR s) { return s ? std::string(s) : std::string("(null)"); };
    starts.push_back({text(verb), text(file), text(parameters), text(folder), show});
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33)); // success: above 32
}

TEST(Browser, FoundThroughTheAssociationStartedWithTheAddressAloneAndKeptOnceFound) {
    InitShared();
    savedStart =
        ReplaceImport("shell32.dll", "ShellExecuteA", reinterpret_cast<void*>(&RecordStart));
    starts.clear();
    {
        HtmlAssociation html;
        // No open command, a number instead of a text, a command too long for the buffer:
        // nothing starts, nothing is kept, nothing is said.
        html.Set(nullptr);
        OpenWebPage("http://one.example/");
        html.SetNumber();
        OpenWebPage("http://one.example/");
        html.Set(std::string(TextBufferSize + 10, 'x').c_str());
        OpenWebPage("http://one.example/");
        EXPECT_TRUE(starts.empty());

        // Found on the next try: the executable, with the address as its only parameter.
        html.Set("\"C:\\Program Files\\Web\\web.exe\" -new-window \"%1\"");
        OpenWebPage("http://two.example/");
        // Kept for the run: a later change of the association is not read again.
        html.Set(nullptr);
        OpenWebPage("http://three.example/");
    }
    ReplaceImport("shell32.dll", "ShellExecuteA", savedStart);
    DoneShared();
    ASSERT_EQ(2u, starts.size());
    for (const Start& s : starts) {
        EXPECT_EQ("(null)", s.Verb);
        EXPECT_EQ("C:\\Program Files\\Web\\web.exe", s.File);
        EXPECT_EQ("(null)", s.Folder);
        EXPECT_EQ(SW_SHOWNORMAL, s.Show);
    }
    EXPECT_EQ("http://two.example/", starts[0].Parameters);
    EXPECT_EQ("http://three.example/", starts[1].Parameters);
}

TEST(Strings, EmptyTextIsAbsent) {
    EXPECT_EQ(nullptr, NewString(nullptr));
    EXPECT_EQ(nullptr, NewString(""));
    char* s = NewString("abc");
    ASSERT_NE(nullptr, s);
    EXPECT_STREQ("abc", s);
    ReplaceString(s, NewString("xyz"));
    EXPECT_STREQ("xyz", s);
    WipeString(s);
    EXPECT_EQ(nullptr, s);
}

// ---- Screen-reader access ----------------------------------------------------------------

using LoadLibraryCall = HMODULE(WINAPI*)(LPCSTR);
LoadLibraryCall realLoad = nullptr;
std::vector<std::string> loaded;
HMODULE WINAPI RecordLoad(LPCSTR name) {
    loaded.push_back(name);
    return realLoad(name);
}
int32_t NoLines() {
    return 0;
}
const char* NoLine(int32_t) {
    return nullptr;
}
RECT NoBox(int32_t) {
    return {};
}
const TListSource EmptyList = {"Empty", NoLines, NoLine, NoLines, NoBox};

DWORD WINAPI AskInAMultithreadedApartment(LPVOID window) {
    auto join = reinterpret_cast<HRESULT(WINAPI*)(void*, DWORD)>(
        reinterpret_cast<void*>(GetProcAddress(realLoad("ole32.dll"), "CoInitializeEx")));
    join(nullptr, COINIT_MULTITHREADED);
    return AnswerListObject(static_cast<HWND>(window), 0, OBJID_CLIENT, EmptyList) != 0;
}

// The libraries come from the system folder only. A thread in a multi-threaded apartment gets no
// object (clients would call it on other threads); the window's own thread then still does.
TEST(Access, SystemFolderLibrariesAndNoAnswerInAMultithreadedApartment) {
    realLoad = reinterpret_cast<LoadLibraryCall>(
        ReplaceImport("kernel32.dll", "LoadLibraryA", reinterpret_cast<void*>(&RecordLoad)));
    ASSERT_NE(nullptr, realLoad);
    HWND window =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, AskInAMultithreadedApartment, window, 0, nullptr);
    WaitForSingleObject(thread, 10000);
    DWORD answered = 2;
    GetExitCodeThread(thread, &answered);
    CloseHandle(thread);
    EXPECT_EQ(0u, answered);
    EXPECT_NE(0, AnswerListObject(window, 0, OBJID_CLIENT, EmptyList));
    ReplaceImport("kernel32.dll", "LoadLibraryA", reinterpret_cast<void*>(realLoad));
    DestroyWindow(window);
    char system[MAX_PATH] = {};
    const std::string folder = std::string(system, GetSystemDirectoryA(system, MAX_PATH)) + "\\";
    ASSERT_EQ(3u, loaded.size());
    for (const std::string& name : loaded)
        EXPECT_EQ(0, lstrcmpiA(folder.c_str(), name.substr(0, folder.size()).c_str())) << name;
}

} // namespace
