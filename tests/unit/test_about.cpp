// The about window at 96 dots per inch: what it shows, how it closes, the Tab cycle, its system
// menu and where it opens.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AboutExpect.h"
#include "app/WMain.h"
#include "common/NCommon.h"
#include "controls/NURL.h"
#include "support/Harness.h"
#include "windows/WAbout.h"

namespace {

std::vector<std::string> opened;

// The browser start: the address is its only parameter.
void* savedStart = nullptr; // the system's ShellExecuteA

HINSTANCE WINAPI RecordStart(HWND, LPCSTR, LPCSTR, LPCSTR parameters, LPCSTR, INT) {
    opened.push_back(parameters ? parameters : "(null)");
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33)); // success: above 32
}

// The program's start-up, with the real main window as the owner: its own move is what sends
// the about window back over it.
class AboutEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        DatFile dat;
        dat.AlwaysOnTop = 0;
        dat.Left = 150;
        dat.Top = 120;
        dat.Width = 420;
        dat.Height = 260;
        program = std::make_unique<StartedTovane>(dat.Bytes());
    }
    void TearDown() override { program.reset(); }
    std::unique_ptr<StartedTovane> program;
};
const auto* environment = ::testing::AddGlobalTestEnvironment(new AboutEnvironment);

HWND LinkOf(HWND about) {
    return FindWindowExA(about, nullptr, LinkClassName, nullptr);
}

struct ModalRun {
    int Result = 0;
    bool Gone = false;
    int Destroyed = 0;
    std::string Problem; // what CloseWatch saw go wrong; empty when the owner came back
};

CloseWatch* watch = nullptr;

// Opens the window, lets input post its messages from inside the modal loop, and runs the loop
// to its end.
ModalRun RunAbout(const std::function<void(HWND about)>& input) {
    ModalRun run;
    HWND about = CreateAboutWindow(MainWindow);
    EXPECT_NE(nullptr, about);
    watch->Reset();
    run.Result = DriveModal(about, MainWindow, {[&] { input(about); }}, 5000);
    run.Gone = !IsWindow(about);
    run.Destroyed = watch->Destroyed();
    run.Problem = watch->Problem();
    EnableWindow(MainWindow, TRUE);
    return run;
}

class AboutClosing : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { watch = new CloseWatch(MainWindow); }
    static void TearDownTestSuite() {
        delete watch;
        watch = nullptr;
    }
    void SetUp() override {
        opened.clear();
        html.Set("C:\\Web\\browser.exe %1");
        savedStart =
            ReplaceImport("shell32.dll", "ShellExecuteA", reinterpret_cast<void*>(&RecordStart));
    }
    void TearDown() override { ReplaceImport("shell32.dll", "ShellExecuteA", savedStart); }
    HtmlAssociation html;
};

TEST_F(AboutClosing, EnterEndsWithOkBeforeTheWindowGoes) {
    ModalRun run = RunAbout([](HWND about) { PostKey(about, VK_RETURN); });
    EXPECT_EQ(ModalOk, run.Result);
    EXPECT_TRUE(run.Gone);
    EXPECT_EQ(1, run.Destroyed);
    EXPECT_EQ("", run.Problem);
}

TEST_F(AboutClosing, EnterOnTheFocusedLinkEndsWithOkAndOpensNothing) {
    ModalRun run = RunAbout([](HWND about) {
        HWND link = LinkOf(about);
        PostKey(about, VK_TAB);
        PostKey(about, VK_TAB);
        // The modal loop hands the focused link's Enter to the window.
        PostKey(link, VK_RETURN);
    });
    EXPECT_EQ(ModalOk, run.Result);
    EXPECT_TRUE(run.Gone);
    EXPECT_EQ("", run.Problem);
    EXPECT_TRUE(opened.empty());
}

TEST_F(AboutClosing, TheCloseButtonEndsWithOkBeforeTheWindowGoes) {
    ModalRun run = RunAbout([](HWND about) { PostMessageA(GetDlgItem(about, 1), BM_CLICK, 0, 0); });
    EXPECT_EQ(ModalOk, run.Result);
    EXPECT_TRUE(run.Gone);
    EXPECT_EQ("", run.Problem);
}

TEST_F(AboutClosing, SpaceOnTheFocusedButtonEndsWithOk) {
    ModalRun run = RunAbout([](HWND about) {
        HWND close = GetDlgItem(about, 1);
        PostKey(about, VK_TAB);
        PostMessageA(close, WM_KEYDOWN, VK_SPACE, 0x00390001);
        PostMessageA(close, WM_KEYUP, VK_SPACE, 0xC0390001);
    });
    EXPECT_EQ(ModalOk, run.Result);
    EXPECT_TRUE(run.Gone);
    EXPECT_EQ("", run.Problem);
}

TEST_F(AboutClosing, EscapeEndsWithCancelBeforeTheWindowGoes) {
    ModalRun run = RunAbout([](HWND about) { PostKey(LinkOf(about), VK_ESCAPE); });
    EXPECT_EQ(ModalCancel, run.Result);
    EXPECT_TRUE(run.Gone);
    EXPECT_EQ("", run.Problem);
}

// The close message enables the main window before the window goes, as every other path does.
TEST_F(AboutClosing, CloseMessageEndsWithCancelAndHandsBackTheMainWindow) {
    ModalRun run = RunAbout([](HWND about) { PostMessageA(about, WM_CLOSE, 0, 0); });
    EXPECT_EQ(ModalCancel, run.Result);
    EXPECT_TRUE(run.Gone);
    EXPECT_EQ(1, run.Destroyed);
    EXPECT_EQ("", run.Problem);
}

TEST_F(AboutClosing, TheCloseBoxAndTheSystemMenuEndWithCancel) {
    // Both send the system close command.
    ModalRun run = RunAbout([](HWND about) { PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(ModalCancel, run.Result);
    EXPECT_TRUE(run.Gone);
    EXPECT_EQ("", run.Problem);
}

TEST_F(AboutClosing, AltF4EndsWithCancel) {
    ModalRun run = RunAbout([](HWND about) {
        PostMessageA(about, WM_SYSKEYDOWN, VK_F4, 0x203E0001); // context code: Alt is down
    });
    EXPECT_EQ(ModalCancel, run.Result);
    EXPECT_TRUE(run.Gone);
    EXPECT_EQ("", run.Problem);
}

TEST_F(AboutClosing, SpaceOnTheLinkOpensTheAddressAndLeavesTheWindowOpen) {
    ModalRun run = RunAbout([](HWND about) {
        HWND link = LinkOf(about);
        PostKey(about, VK_TAB);
        PostKey(about, VK_TAB);
        // A key press, translated into the character by the modal loop.
        PostMessageA(link, WM_KEYDOWN, VK_SPACE, 0x00390001);
        PostMessageA(link, WM_KEYUP, VK_SPACE, 0xC0390001);
        // Still there to take Enter once the character is handled: a closed window would end
        // with 2 or the stuck result.
        RunStepsOnTimer({[link] { PostKey(link, VK_RETURN); }});
    });
    EXPECT_EQ(ModalOk, run.Result);
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ(ExpectedText(6), opened[0]);
    EXPECT_EQ("http://tovane.example.org/", opened[0]);
}

// One window for the tests that only look and move the focus: destroying is slow under Wine.
class AboutShown : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ForgetSecondaryMoves();
        about = CreateAboutWindow(MainWindow);
        ShowWindow(about, SW_SHOWNORMAL);
        SetForegroundWindow(about);
        PumpMessages(100);
    }
    static void TearDownTestSuite() {
        ShowWindow(about, SW_HIDE);
        DestroyWindow(about);
    }
    static HWND about;
};
HWND AboutShown::about = nullptr;

TEST_F(AboutShown, IsAModalFrameWithCaptionAndSystemMenuOwnedByTheMainWindow) {
    ASSERT_NE(nullptr, about);
    char text[64] = {};
    GetWindowTextA(about, text, sizeof text);
    EXPECT_STREQ("About Tovane", text);
    GetClassNameA(about, text, sizeof text);
    EXPECT_STREQ("TovaneAboutWndClass", text);
    DWORD style = static_cast<DWORD>(GetWindowLongA(about, GWL_STYLE));
    EXPECT_EQ(DWORD(WS_CAPTION | WS_SYSMENU), style & (WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(0u, style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongA(about, GWL_EXSTYLE));
    EXPECT_TRUE(exStyle & WS_EX_DLGMODALFRAME);
    EXPECT_TRUE(exStyle & WS_EX_CONTROLPARENT);
    EXPECT_EQ(MainWindow, GetWindow(about, GW_OWNER));
}

TEST_F(AboutShown, HasTheLinkAndTheCloseButtonWhereTheyBelong) {
    CheckGeometry(about, LayoutAt96);
    HWND close = GetDlgItem(about, 1);
    char text[32] = {};
    GetWindowTextA(close, text, sizeof text);
    EXPECT_STREQ("Close", text);
    DWORD style = static_cast<DWORD>(GetWindowLongA(close, GWL_STYLE));
    EXPECT_EQ(DWORD(WS_VISIBLE | WS_TABSTOP), style & (WS_VISIBLE | WS_TABSTOP));
    EXPECT_EQ(2u, [&] {
        unsigned n = 0;
        for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            ++n;
        return n;
    }());
}

TEST_F(AboutShown, TheSystemMenuHoldsOnlyMoveAndClose) {
    HMENU menu = GetSystemMenu(about, FALSE);
    ASSERT_NE(nullptr, menu);
    std::vector<UINT> commands;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE;
        ASSERT_TRUE(GetMenuItemInfoA(menu, i, TRUE, &info));
        // Wine adds an entry of its own (0xF141, "About Wine") that Windows does not have.
        if (!(info.fType & MFT_SEPARATOR) && info.wID != 0xF141) commands.push_back(info.wID);
    }
    EXPECT_EQ((std::vector<UINT>{SC_MOVE, SC_CLOSE}), commands);
}

TEST_F(AboutShown, TabAlternatesBetweenTheButtonAndTheLink) {
    HWND close = GetDlgItem(about, 1), link = LinkOf(about);
    ASSERT_NE(nullptr, close);
    ASSERT_NE(nullptr, link);
    SetFocus(about);
    SendMessageA(about, WM_KEYDOWN, VK_TAB, 1);
    EXPECT_EQ(close, GetFocus());
    SendMessageA(about, WM_KEYDOWN, VK_TAB, 1);
    EXPECT_EQ(link, GetFocus());
    SendMessageA(about, WM_KEYDOWN, VK_TAB, 1);
    EXPECT_EQ(close, GetFocus());
    SendMessageA(about, WM_KEYDOWN, VK_TAB, 1);
    EXPECT_EQ(link, GetFocus());
    // Other keys move nothing.
    SendMessageA(about, WM_KEYDOWN, VK_DOWN, 1);
    SendMessageA(about, WM_KEYDOWN, 'A', 1);
    EXPECT_EQ(link, GetFocus());
    SetFocus(about);
}

TEST_F(AboutShown, PaintsIconFramesAndTextsAsDesigned) {
    SetFocus(about);
    CheckPainting(about, LayoutAt96);
}

TEST_F(AboutShown, ASecondSetUpLeavesTheTextsReadable) {
    // Deciphering is in place: running it twice would scramble the texts.
    SetupAboutWindow();
    SetFocus(about);
    CheckPainting(about, LayoutAt96);
}

TEST(AboutTexts, FitTheirFrames) {
    CheckTextsInsideFrames(LayoutAt96);
}

// ---- Where it opens ---------------------------------------------------------------------

class AboutPlace : public ::testing::Test {
  protected:
    void SetUp() override {
        SetWindowPos(MainWindow, nullptr, 150, 120, 420, 260, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // Opens and closes the window, moved first if asked; returns where it was.
    static RECT OpenAndClose(const POINT* moveTo = nullptr) {
        HWND about = CreateAboutWindow(MainWindow);
        EXPECT_NE(nullptr, about);
        if (moveTo)
            SetWindowPos(about, nullptr, moveTo->x, moveTo->y, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT r = RectOf(about);
        DestroyWindow(about); // never shown: cheap
        return r;
    }
    static RECT CentredOverOwner() {
        RECT owner = RectOf(MainWindow);
        LONG left = owner.left + (owner.right - owner.left) / 2 - LayoutAt96.Window.cx / 2;
        LONG top = owner.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) +
                   GetSystemMetrics(SM_CYMENU);
        return {left, top, left + LayoutAt96.Window.cx, top + LayoutAt96.Window.cy};
    }
};

TEST_F(AboutPlace, OpensCentredOverTheMainWindowUntilMoved) {
    ForgetSecondaryMoves();
    EXPECT_EQ(CentredOverOwner(), OpenAndClose());
}

TEST_F(AboutPlace, ReopensWhereItWasMoved) {
    ForgetSecondaryMoves();
    POINT to = {40, 300};
    OpenAndClose(&to);
    EXPECT_TRUE(AboutWindowState().Moved);
    RECT again = OpenAndClose();
    EXPECT_EQ(40, again.left);
    EXPECT_EQ(300, again.top);
    EXPECT_EQ(LayoutAt96.Window.cx, again.right - again.left);
}

TEST_F(AboutPlace, OpensOverTheMainWindowAgainOnceTheMainWindowMoved) {
    POINT to = {40, 300};
    OpenAndClose(&to);
    // The main window's own move clears the flag.
    SetWindowPos(MainWindow, nullptr, 260, 90, 420, 260, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_FALSE(AboutWindowState().Moved);
    EXPECT_EQ(CentredOverOwner(), OpenAndClose());
}

TEST_F(AboutPlace, StaysInsideTheWorkArea) {
    ForgetSecondaryMoves();
    POINT to = {WorkArea.right - 50, WorkArea.bottom - 20};
    OpenAndClose(&to);
    RECT again = OpenAndClose();
    EXPECT_EQ(WorkArea.right - LayoutAt96.Window.cx, again.left);
    EXPECT_EQ(WorkArea.bottom - LayoutAt96.Window.cy, again.top);
    // Centred over a main window half off the screen: pulled in as well.
    SetWindowPos(MainWindow, nullptr, -300, -100, 420, 260, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT centred = OpenAndClose();
    EXPECT_EQ(WorkArea.left, centred.left);
    EXPECT_EQ(WorkArea.top, centred.top);
}

} // namespace
