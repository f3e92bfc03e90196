// What the three secondary windows (settings, password, about) share, each over the real main
// window: where they open, the moved flag, the system menu, every way of cancelling, and the
// Tab cycle through their controls.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/WMain.h"
#include "common/NCommon.h"
#include "controls/NURL.h"
#include "support/Harness.h"
#include "windows/WAbout.h"
#include "windows/WPass.h"
#include "windows/WSettings.h"

namespace {

std::vector<HWND> Standard(HWND window) { // the controls with id 0, in creation order
    std::vector<HWND> found;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgCtrlID(child) == 0) found.push_back(child);
    return found;
}

struct Secondary {
    const char* Name;
    HWND (*Create)();
    const TSecondaryWindow& (*State)();
    // The controls in Tab order from where Tab starts outside them, and where Shift+Tab starts.
    std::vector<HWND> (*Cycle)(HWND window);
    int BackStart;
};

const Secondary Windows[] = {
    {"Settings", [] { return CreateSettingsWindow(MainWindow, nullptr); }, SettingsWindowState,
     [](HWND w) {
         std::vector<HWND> cycle = Standard(w); // list, user, password, four check boxes
         for (int id : {1, 2, 9})
             cycle.push_back(GetDlgItem(w, id));
         return cycle;
     },
     8},
    {"Password", [] { return CreatePasswordWindow(MainWindow); }, PasswordWindowState,
     [](HWND w) {
         std::vector<HWND> edits = Standard(w);
         return std::vector<HWND>{edits.at(1), GetDlgItem(w, 1), GetDlgItem(w, 2), edits.at(0)};
     },
     0},
    {"About", [] { return CreateAboutWindow(MainWindow); }, AboutWindowState,
     [](HWND w) {
         return std::vector<HWND>{GetDlgItem(w, 1),
                                  FindWindowExA(w, nullptr, LinkClassName, nullptr)};
     },
     0},
};

std::unique_ptr<StartedTovane> program;

class SecondaryWindow : public ::testing::TestWithParam<Secondary> {
  protected:
    static void SetUpTestSuite() {
        program = std::make_unique<StartedTovane>(DatFile::At(150, 120, 420, 260).Bytes());
        ASSERT_TRUE(program->Started);
    }
    static void TearDownTestSuite() { program.reset(); }
    void SetUp() override {
        MoveMain(150, 120);
        ForgetSecondaryMoves();
    }
    static void MoveMain(int x, int y) {
        SetWindowPos(MainWindow, nullptr, x, y, 420, 260, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // Opens and closes the window (never shown: cheap), moved first if asked; returns where it was.
    RECT OpenAndClose(const POINT* moveTo = nullptr) {
        HWND window = GetParam().Create();
        EXPECT_NE(nullptr, window);
        if (moveTo)
            SetWindowPos(window, nullptr, moveTo->x, moveTo->y, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT r = RectOf(window);
        DestroyWindow(window);
        return r;
    }
    static RECT CentredOverTheMainWindow(SIZE size) {
        RECT owner = RectOf(MainWindow);
        LONG left = owner.left + (owner.right - owner.left) / 2 - size.cx / 2;
        LONG top = owner.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) +
                   GetSystemMetrics(SM_CYMENU);
        return {left, top, left + size.cx, top + size.cy};
    }
};

TEST_P(SecondaryWindow, OpensOverTheMainWindowThenWhereMovedUntilTheMainWindowMoves) {
    RECT first = OpenAndClose();
    SIZE size = {first.right - first.left, first.bottom - first.top};
    EXPECT_EQ(CentredOverTheMainWindow(size), first);
    EXPECT_FALSE(GetParam().State().Moved);

    POINT to = {40, 300};
    OpenAndClose(&to);
    EXPECT_TRUE(GetParam().State().Moved);
    EXPECT_EQ((RECT{40, 300, 40 + size.cx, 300 + size.cy}), OpenAndClose());

    MoveMain(260, 90); // the main window's own move clears the flag
    EXPECT_FALSE(GetParam().State().Moved);
    EXPECT_EQ(CentredOverTheMainWindow(size), OpenAndClose());
}

TEST_P(SecondaryWindow, AlwaysOpensInsideTheWorkArea) {
    POINT to = {WorkArea.right - 50, WorkArea.bottom - 20};
    RECT r = OpenAndClose(&to);
    SIZE size = {r.right - r.left, r.bottom - r.top};
    EXPECT_EQ((RECT{WorkArea.right - size.cx, WorkArea.bottom - size.cy, WorkArea.right,
                    WorkArea.bottom}),
              OpenAndClose());
    const RECT topLeft = {WorkArea.left, WorkArea.top, WorkArea.left + size.cx,
                          WorkArea.top + size.cy};
    to = {WorkArea.left - 80, WorkArea.top - 50};
    OpenAndClose(&to);
    EXPECT_EQ(topLeft, OpenAndClose());
    // Centred over a main window half off the screen: pulled in as well.
    MoveMain(-300, -100);
    EXPECT_EQ(topLeft, OpenAndClose());
}

TEST_P(SecondaryWindow, IsAHiddenModalFrameOwnedByTheMainWindowWithMoveAndCloseOnly) {
    HWND window = GetParam().Create();
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(MainWindow, GetWindow(window, GW_OWNER));
    EXPECT_EQ(nullptr, GetMenu(window));
    DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    EXPECT_EQ(DWORD(WS_CAPTION | WS_SYSMENU), style & (WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(0u, style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
    EXPECT_TRUE(exStyle & WS_EX_DLGMODALFRAME);
    EXPECT_TRUE(exStyle & WS_EX_CONTROLPARENT);
    HMENU menu = GetSystemMenu(window, FALSE);
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
    DestroyWindow(window);
}

TEST_P(SecondaryWindow, EscapeTheCloseMessageTheCloseBoxAndAltF4CancelAndHandBackTheOwner) {
    CloseWatch watch(MainWindow);
    const std::vector<std::function<void(HWND)>> ways = {
        [this](HWND w) { // from the last control of the cycle
            SetFocus(GetParam().Cycle(w).back());
            PressKey(VK_ESCAPE);
        },
        [](HWND w) { PostMessageA(w, WM_CLOSE, 0, 0); },
        [](HWND w) { PostMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0); },
        [](HWND w) { PostMessageA(w, WM_SYSKEYDOWN, VK_F4, 0x203E0001); }, // Alt is down
    };
    for (size_t i = 0; i < ways.size(); ++i) {
        SCOPED_TRACE(i);
        watch.Reset();
        HWND window = GetParam().Create();
        auto way = ways[i];
        EXPECT_EQ(ModalCancel, DriveModal(window, MainWindow, {[=] { way(window); }}));
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(1, watch.Destroyed());
        EXPECT_EQ("", watch.Problem());
    }
}

TEST_P(SecondaryWindow, TabCyclesThroughEveryControlBothWaysFromAnywhere) {
    for (bool shift : {false, true}) {
        SCOPED_TRACE(shift ? "Shift+Tab" : "Tab");
        HWND window = GetParam().Create();
        ASSERT_NE(nullptr, window);
        const std::vector<HWND> cycle = GetParam().Cycle(window);
        const size_t n = cycle.size(), start = shift ? GetParam().BackStart : 0;
        std::vector<HWND> seen, expected;
        auto tab = [=] {
            SetShift(shift);
            HWND focus = GetFocus();
            PostKey(focus ? focus : window, VK_TAB);
        };
        std::vector<std::function<void()>> steps = {[] { SetFocus(nullptr); }};
        for (size_t i = 0; i <= n; ++i) { // from outside the controls, round and back again
            steps.push_back(tab);
            steps.push_back([&] { seen.push_back(GetFocus()); });
            expected.push_back(cycle[(shift ? start + n - i : i) % n]);
        }
        // From a control focused by the mouse it goes on; other keys move nothing.
        steps.push_back([&] { SetFocus(cycle[1]); });
        steps.push_back(tab);
        for (WPARAM key : {WPARAM('A'), WPARAM(VK_DOWN)})
            steps.push_back([=] { PostKey(GetFocus(), key); });
        steps.push_back([&] { seen.push_back(GetFocus()); });
        expected.push_back(cycle[shift ? 0 : 2 % n]);
        steps.push_back([] { PressKey(VK_ESCAPE, false); });
        EXPECT_EQ(ModalCancel, DriveModal(window, MainWindow, steps));
        SetShift(false);
        EXPECT_EQ(expected, seen);
    }
}

INSTANTIATE_TEST_SUITE_P(Each, SecondaryWindow, ::testing::ValuesIn(Windows),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
