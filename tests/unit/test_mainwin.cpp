// The main window in-process: menus, placement, layout, minimum size, keyboard, tray and the
// saving of its box.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/NConnection.h"
#include "app/WMain.h"
#include "app/WStatus.h"
#include "common/NCommon.h"
#include "controls/NIBtn.h"
#include "support/Pixels.h"
#include "support/TestSupport.h"
#include "windows/WAbout.h"
#include "windows/WPass.h"
#include "windows/WSettings.h"

namespace {

struct Item {
    std::string Text;
    UINT Id;
    bool Separator;
};

std::vector<Item> ItemsOf(HMENU menu) {
    std::vector<Item> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[64] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_STATE;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
        if (!(info.fType & MFT_SEPARATOR)) {
            EXPECT_FALSE(info.fState & MFS_DISABLED) << text;
        }
        items.push_back({text, info.wID, (info.fType & MFT_SEPARATOR) != 0});
    }
    return items;
}

void ExpectItems(HMENU menu, const std::vector<Item>& expected) {
    std::vector<Item> items = ItemsOf(menu);
    ASSERT_EQ(expected.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(expected[i].Separator, items[i].Separator) << i;
        if (expected[i].Separator) continue;
        EXPECT_EQ(expected[i].Text, items[i].Text) << i;
        EXPECT_EQ(expected[i].Id, items[i].Id) << i;
    }
}

RECT OuterOf(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

// A child's box in its parent's client coordinates.
RECT ChildBox(HWND child) {
    RECT r = OuterOf(child);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

RECT ClientOf(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    return r;
}

void ExpectBox(const WindowBox& box, const RECT& r) {
    EXPECT_EQ(box.Left, r.left);
    EXPECT_EQ(box.Top, r.top);
    EXPECT_EQ(box.Width, r.right - r.left);
    EXPECT_EQ(box.Height, r.bottom - r.top);
}

void MoveMain(int x, int y, int width, int height) {
    SetWindowPos(MainWindow, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    PumpMessages(20);
}

// The layout with a band of `band` pixels and button boxes right/bottom distances as given.
void ExpectLayout(int band, int connectRight, int disconnectRight, int fromBottom) {
    RECT client = ClientOf(MainWindow);
    RECT strip = ChildBox(StatusStrip);
    EXPECT_EQ(0, strip.left);
    EXPECT_EQ(0, strip.top);
    EXPECT_EQ(client.right, strip.right);
    EXPECT_EQ(client.bottom - band, strip.bottom);
    RECT connect = ChildBox(ConnectButton), disconnect = ChildBox(DisconnectButton);
    EXPECT_EQ(client.right - connectRight, connect.left);
    EXPECT_EQ(client.bottom - fromBottom, connect.top);
    EXPECT_EQ(client.right - disconnectRight, disconnect.left);
    EXPECT_EQ(client.bottom - fromBottom, disconnect.top);
}

MINMAXINFO MinMax() {
    MINMAXINFO info = {};
    info.ptMaxTrackSize = {5000, 5000};
    SendMessageA(MainWindow, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    return info;
}

// The main loop's handling of one key-down posted to the focused window.
void PressThroughLoop(WPARAM key) {
    HWND focus = GetFocus();
    PostMessageA(focus ? focus : MainWindow, WM_KEYDOWN, key, 1);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)) {
        if (!OfferDialogKey(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool QuitPosted(WPARAM* code) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
    *code = msg.wParam;
    return true;
}

std::unique_ptr<TempFolder> folder;

// Shared set-up of both suites: the start-up sequence up to the main window.
void StartMainWindow() {
    SetupMainWindow();
    RegisterImageButton();
    CreateMainWindow();
    PumpMessages(50);
}

// Closing destroys the window; hidden first, so it is quick.
void CloseMain() {
    ControllerState = TControllerState::Ready;
    SendMessageA(MainWindow, WM_CLOSE, 0, 0);
    WPARAM code = 99;
    QuitPosted(&code);
}

// ---- First start: no settings file -----------------------------------------------------------

class FirstStart : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<TempFolder>();
        InitShared();
        SettingsFile = folder->File("Tovane.dat");
        LoadSettings();
        StartMainWindow();
    }
    static void TearDownTestSuite() {
        if (IsWindow(MainWindow)) CloseMain();
        folder.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(IsWindow(MainWindow));
        ControllerState = TControllerState::Ready;
    }
};

TEST_F(FirstStart, MenusHaveTheirItems) {
    HMENU bar = GetMenu(MainWindow);
    ASSERT_NE(nullptr, bar);
    ASSERT_EQ(2, GetMenuItemCount(bar));
    char text[32] = {};
    GetMenuStringA(bar, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ("&File", text);
    GetMenuStringA(bar, 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ("&Help", text);
    ExpectItems(GetSubMenu(bar, 0),
                {{"&Settings...", CmdSettings, false}, {"", 0, true}, {"E&xit", CmdExit, false}});
    ExpectItems(
        GetSubMenu(bar, 1),
        {{"&Contents", CmdHelpContents, false}, {"", 0, true}, {"&About...", CmdAbout, false}});

    ASSERT_NE(nullptr, TrayMenu);
    ExpectItems(TrayMenu, {{"&Restore", CmdRestore, false},
                           {"", 0, true},
                           {"&Connect", CmdConnect, false},
                           {"&Disconnect", CmdDisconnect, false},
                           {"", 0, true},
                           {"E&xit", CmdExit, false}});
    EXPECT_EQ(CmdRestore, GetMenuDefaultItem(TrayMenu, FALSE, 0));
}

TEST_F(FirstStart, OpensCentredAtTheDefaultSizeAndTopmost) {
    RECT r = OuterOf(MainWindow);
    EXPECT_EQ(282, r.right - r.left);
    EXPECT_EQ(165, r.bottom - r.top);
    EXPECT_EQ((ScreenWidth - 282) / 2, r.left);
    EXPECT_EQ((ScreenHeight - 165) / 2, r.top);
    ExpectBox(Settings.WindowRect, r);
    EXPECT_TRUE(GetWindowLongA(MainWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(IsWindowVisible(MainWindow));
    char title[64] = {};
    GetWindowTextA(MainWindow, title, sizeof title);
    EXPECT_STREQ("Tovane", title);
    EXPECT_EQ(static_cast<LONG>(WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX),
              GetWindowLongA(MainWindow, GWL_STYLE) &
                  (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
}

TEST_F(FirstStart, StripAndButtonsFillTheClientArea) {
    ASSERT_NE(nullptr, StatusStrip);
    EXPECT_EQ(MainWindow, GetParent(StatusStrip));
    EXPECT_TRUE(GetWindowLongA(StatusStrip, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    ExpectLayout(35, 79, 159, 29);

    char text[32] = {};
    GetWindowTextA(ConnectButton, text, sizeof text);
    EXPECT_STREQ("Connect", text);
    GetWindowTextA(DisconnectButton, text, sizeof text);
    EXPECT_STREQ("Disconnect", text);
    EXPECT_EQ(static_cast<int>(CmdConnect), GetDlgCtrlID(ConnectButton));
    EXPECT_EQ(static_cast<int>(CmdDisconnect), GetDlgCtrlID(DisconnectButton));
    EXPECT_TRUE(IsWindowEnabled(ConnectButton));
    EXPECT_FALSE(IsWindowEnabled(DisconnectButton));
    for (HWND button : {ConnectButton, DisconnectButton}) {
        RECT box = ChildBox(button);
        EXPECT_EQ(75, box.right - box.left);
        EXPECT_EQ(25, box.bottom - box.top);
        EXPECT_TRUE(GetWindowLongA(button, GWL_STYLE) & WS_TABSTOP);
        EXPECT_EQ(reinterpret_cast<LRESULT>(GuiFont), SendMessageA(button, WM_GETFONT, 0, 0));
    }
    // The line height comes from the shared font.
    WindowDC dc(StatusStrip);
    SelectGuard font(dc.Get(), GuiFont);
    TEXTMETRICA tm = {};
    GetTextMetricsA(dc.Get(), &tm);
    EXPECT_EQ(tm.tmHeight + tm.tmExternalLeading, LineHeight);
}

TEST_F(FirstStart, ButtonsStayAnchoredWhenResized) {
    RECT before = OuterOf(MainWindow);
    MoveMain(before.left, before.top, 420, 330);
    ExpectLayout(35, 79, 159, 29);
    MoveMain(before.left, before.top, 200, 140);
    ExpectLayout(35, 79, 159, 29);
    MoveMain(before.left, before.top, 282, 165);
}

TEST_F(FirstStart, KeepsItsMinimumSize) {
    MINMAXINFO info = MinMax();
    EXPECT_EQ(180, info.ptMinTrackSize.x);
    EXPECT_EQ(2 * DoubleFrameHeight + CaptionHeight + MenuHeight + 35 + LineHeight,
              info.ptMinTrackSize.y);
    EXPECT_EQ(5000, info.ptMaxTrackSize.x) << "the other members are left alone";

    RECT before = OuterOf(MainWindow);
    MoveMain(before.left, before.top, 100, 60);
    RECT small = OuterOf(MainWindow);
    EXPECT_EQ(180, small.right - small.left);
    EXPECT_EQ(info.ptMinTrackSize.y, small.bottom - small.top);
    MoveMain(before.left, before.top, 282, 165);
}

TEST_F(FirstStart, TabAlternatesBetweenEnabledButtons) {
    SetForegroundWindow(MainWindow);
    EnableWindow(DisconnectButton, TRUE);
    SetFocus(MainWindow);
    PressThroughLoop(VK_TAB);
    EXPECT_EQ(ConnectButton, GetFocus());
    PressThroughLoop(VK_TAB);
    EXPECT_EQ(DisconnectButton, GetFocus());
    PressThroughLoop(VK_TAB);
    EXPECT_EQ(ConnectButton, GetFocus());
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_CHAR, WM_CHAR, PM_REMOVE)) << "Tab is not typed";

    // A disabled button is skipped; with nowhere to go the focus stays.
    EnableWindow(DisconnectButton, FALSE);
    PressThroughLoop(VK_TAB);
    EXPECT_EQ(ConnectButton, GetFocus());
    EnableWindow(DisconnectButton, TRUE);
    EnableWindow(ConnectButton, FALSE);
    SetFocus(MainWindow);
    PressThroughLoop(VK_TAB);
    EXPECT_EQ(DisconnectButton, GetFocus());
    PressThroughLoop(VK_TAB);
    EXPECT_EQ(DisconnectButton, GetFocus());

    EnableWindow(ConnectButton, TRUE);
    EnableWindow(DisconnectButton, FALSE);
}

TEST_F(FirstStart, EnterAndEscapeGoOnOtherKeysStop) {
    EXPECT_EQ(1, SendMessageA(MainWindow, WM_KEYDOWN, VK_RETURN, 1));
    EXPECT_EQ(1, SendMessageA(MainWindow, WM_KEYDOWN, VK_ESCAPE, 1));
    EXPECT_EQ(0, SendMessageA(MainWindow, WM_KEYDOWN, VK_TAB, 1));
    EXPECT_EQ(0, SendMessageA(MainWindow, WM_KEYDOWN, 'A', 1));
}

TEST_F(FirstStart, MinimiseGoesToTheTrayAndComesBack) {
    SendMessageA(MainWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(InTray);
    EXPECT_FALSE(IsWindowVisible(MainWindow));
    EXPECT_FALSE(IsIconic(MainWindow));

    SendMessageA(MainWindow, TrayCallbackMessage, TrayIconId, WM_MOUSEMOVE);
    EXPECT_TRUE(InTray) << "other mouse messages do nothing";
    SendMessageA(MainWindow, TrayCallbackMessage, TrayIconId, WM_LBUTTONUP);
    EXPECT_FALSE(InTray);
    EXPECT_TRUE(IsWindowVisible(MainWindow));

    // The system menu's Minimize may carry the system's low bits.
    SendMessageA(MainWindow, WM_SYSCOMMAND, SC_MINIMIZE | 2, 0);
    EXPECT_TRUE(InTray);
    EXPECT_FALSE(IsWindowVisible(MainWindow));
    SendMessageA(MainWindow, WM_COMMAND, CmdRestore, 0);
    EXPECT_FALSE(InTray);
    EXPECT_TRUE(IsWindowVisible(MainWindow));
    RECT r = OuterOf(MainWindow);
    EXPECT_EQ(282, r.right - r.left) << "comes back at its size";

    // Restoring when not in the tray only shows the window.
    RestoreFromTray();
    EXPECT_FALSE(InTray);
    EXPECT_TRUE(IsWindowVisible(MainWindow));
}

std::vector<std::pair<DWORD, NOTIFYICONDATAA>> trayCalls;
BOOL WINAPI RecordTrayCall(DWORD message, PNOTIFYICONDATAA data) {
    NOTIFYICONDATAA copy = {};
    std::memcpy(&copy, data, std::min<size_t>(data->cbSize, sizeof copy));
    trayCalls.push_back({message, copy});
    return TRUE;
}

TEST_F(FirstStart, TheTrayRecordIsTheSystemsFirstVersionForThisBuild) {
    void* system =
        ReplaceImport("shell32.dll", "Shell_NotifyIconA", reinterpret_cast<void*>(&RecordTrayCall));
    ASSERT_NE(nullptr, system);
    trayCalls.clear();
    ShrinkToTray();
    RestoreFromTray();
    ReplaceImport("shell32.dll", "Shell_NotifyIconA", system);
    ASSERT_EQ(2u, trayCalls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), trayCalls[0].first);
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), trayCalls[1].first);
    for (const auto& [message, data] : trayCalls) {
        // The 88 bytes of the design are the 32-bit layout; a 64-bit record is 104.
        EXPECT_EQ(sizeof(void*) == 8 ? 104u : 88u, data.cbSize) << message;
        EXPECT_EQ(MainWindow, data.hWnd);
        EXPECT_EQ(TrayIconId, data.uID);
    }
    const NOTIFYICONDATAA& add = trayCalls[0].second;
    EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP), add.uFlags);
    EXPECT_EQ(TrayCallbackMessage, add.uCallbackMessage);
    EXPECT_EQ(MainIcon, add.hIcon);
    EXPECT_STREQ("Tovane", add.szTip);
}

struct MenuCall {
    HMENU Menu;
    UINT Flags;
    HWND Owner, Foreground;
};
std::vector<MenuCall> menuCalls;
BOOL WINAPI RecordTrackPopupMenu(HMENU menu, UINT flags, int, int, int, HWND owner, const RECT*) {
    menuCalls.push_back({menu, flags, owner, GetForegroundWindow()});
    return FALSE; // closed without a choice
}

TEST_F(FirstStart, TheTrayMenuOpensFromTheForegroundAndAMessageFollowsIt) {
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                 nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    EXPECT_EQ(other, GetForegroundWindow());
    void* system = ReplaceImport("user32.dll", "TrackPopupMenu",
                                 reinterpret_cast<void*>(&RecordTrackPopupMenu));
    ASSERT_NE(nullptr, system);
    menuCalls.clear();
    SendMessageA(MainWindow, TrayCallbackMessage, TrayIconId, WM_RBUTTONUP);
    ReplaceImport("user32.dll", "TrackPopupMenu", system);
    bool nullPosted = false;
    MSG msg;
    while (PeekMessageA(&msg, MainWindow, 0, 0, PM_REMOVE)) {
        nullPosted = nullPosted || msg.message == WM_NULL;
        DispatchMessageA(&msg);
    }
    ShowWindow(other, SW_HIDE);
    DestroyWindow(other);

    ASSERT_EQ(1u, menuCalls.size());
    EXPECT_EQ(TrayMenu, menuCalls[0].Menu);
    EXPECT_EQ(static_cast<UINT>(TPM_RIGHTALIGN | TPM_RIGHTBUTTON), menuCalls[0].Flags);
    EXPECT_EQ(MainWindow, menuCalls[0].Owner);
    // Without both the menu does not close when the user clicks elsewhere.
    EXPECT_EQ(MainWindow, menuCalls[0].Foreground);
    EXPECT_TRUE(nullPosted);
}

TEST_F(FirstStart, MovingClearsTheMovedFlags) {
    SetupSettingsWindow();
    SetupPasswordWindow();
    SetupAboutWindow();
    for (HWND opened : {CreateSettingsWindow(MainWindow, nullptr), CreatePasswordWindow(MainWindow),
                        CreateAboutWindow(MainWindow)}) {
        RECT at = OuterOf(opened);
        SetWindowPos(opened, nullptr, at.left + 5, at.top + 5, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        DestroyWindow(opened);
    }
    ASSERT_TRUE(SettingsWindowState().Moved);
    ASSERT_TRUE(PasswordWindowState().Moved);
    ASSERT_TRUE(AboutWindowState().Moved);
    RECT r = OuterOf(MainWindow);
    SetWindowPos(MainWindow, nullptr, r.left + 10, r.top + 10, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_FALSE(SettingsWindowState().Moved);
    EXPECT_FALSE(PasswordWindowState().Moved);
    EXPECT_FALSE(AboutWindowState().Moved);
    SetWindowPos(MainWindow, nullptr, r.left, r.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TEST_F(FirstStart, BandAndStripArePainted) {
    AddStatusLine("Connecting  (#1 Test)");
    RedrawWindow(MainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT client = ClientOf(MainWindow);
    Capture shown = CaptureClient(MainWindow);
    EXPECT_EQ(ColorBtnFace, shown.At(3, client.bottom - 3));
    EXPECT_EQ(ColorBtnFace, shown.At(client.right - 82, client.bottom - 15));

    Capture strip = CaptureClient(StatusStrip);
    int ink = strip.Count(ColorBtnText, 4, 2, 100, 2 + LineHeight);
    COLORREF empty = strip.At(150, 2 + 3 * LineHeight);
    EXPECT_GT(ink, 10);
    EXPECT_EQ(ColorBtnFace, empty);
}

TEST_F(FirstStart, CloseIsRefusedWhileTheControllerIsBusy) {
    for (TControllerState busy : {TControllerState::Dialing, TControllerState::HangingUp}) {
        ControllerState = busy;
        SendMessageA(MainWindow, WM_CLOSE, 0, 0);
        EXPECT_TRUE(IsWindow(MainWindow));
        EXPECT_TRUE(IsWindowVisible(MainWindow));
        SendMessageA(MainWindow, WM_COMMAND, CmdExit, 0);
        EXPECT_TRUE(IsWindow(MainWindow));
    }
    WPARAM code = 0;
    EXPECT_FALSE(QuitPosted(&code));
}

TEST_F(FirstStart, EndSessionStoresTheBox) {
    MoveMain(120, 90, 300, 200);
    Settings.WindowRect = {0, 0, 0, 0};
    SendMessageA(MainWindow, WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(0, Settings.WindowRect.Width) << "a session that goes on changes nothing";
    EXPECT_FALSE(SessionEnding);

    SendMessageA(MainWindow, WM_ENDSESSION, TRUE, 0);
    ExpectBox({120, 90, 300, 200}, OuterOf(MainWindow));
    ExpectBox(Settings.WindowRect, OuterOf(MainWindow));
    EXPECT_TRUE(SessionEnding);
    EXPECT_FALSE(KillTimer(MainWindow, PollTimerId)) << "the poll timer is stopped";
    SessionEnding = false;

    // The settings are saved too, since the loop may never reach its own save.
    std::string bytes = ReadWholeFile(SettingsFile);
    ASSERT_GE(bytes.size(), 20u);
    int32_t box[4] = {};
    std::memcpy(box, bytes.data() + 4, sizeof box);
    EXPECT_EQ(120, box[0]);
    EXPECT_EQ(90, box[1]);
    EXPECT_EQ(300, box[2]);
    EXPECT_EQ(200, box[3]);
}

TEST_F(FirstStart, MinimisedWindowStoresItsNormalBox) {
    MoveMain(140, 110, 300, 200);
    ShowWindow(MainWindow, SW_MINIMIZE);
    PumpMessages(20);
    ASSERT_TRUE(IsIconic(MainWindow));
    SendMessageA(MainWindow, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(WindowBox({140, 110, 300, 200}).Left, Settings.WindowRect.Left);
    EXPECT_EQ(110, Settings.WindowRect.Top);
    EXPECT_EQ(300, Settings.WindowRect.Width);
    EXPECT_EQ(200, Settings.WindowRect.Height);
    ShowWindow(MainWindow, SW_RESTORE);
    PumpMessages(20);
    SessionEnding = false;
}

TEST_F(FirstStart, CloseEndsTheProgramAndStoresTheBox) {
    MoveMain(100, 80, 320, 210);
    AddStatusLine("one");
    AddStatusLine("two");
    ShrinkToTray();
    ASSERT_TRUE(InTray);
    HMENU tray = TrayMenu;
    SendMessageA(MainWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(MainWindow));
    WPARAM code = 99;
    EXPECT_TRUE(QuitPosted(&code));
    EXPECT_EQ(0u, code);
    ExpectBox({100, 80, 320, 210}, RECT{Settings.WindowRect.Left, Settings.WindowRect.Top,
                                        Settings.WindowRect.Left + Settings.WindowRect.Width,
                                        Settings.WindowRect.Top + Settings.WindowRect.Height});
    EXPECT_FALSE(InTray) << "the tray icon goes with the window";
    EXPECT_FALSE(IsMenu(tray)) << "and so does its menu";
    EXPECT_EQ(0, StatusLineCount()) << "the log is freed";
    EXPECT_FALSE(WindowReady);
}

// ---- A stored box partly off the work area ---------------------------------------------------

class StoredBox : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitShared();
        Settings.AlwaysOnTop = 0;
        Settings.WindowRect = {WorkArea.right - 100, WorkArea.top - 40, 300, 180};
        LoadFailed = false;
        StartMainWindow();
    }
    static void TearDownTestSuite() {
        if (IsWindow(MainWindow)) CloseMain();
    }
};

TEST_F(StoredBox, IsPulledInsideTheWorkAreaAndNotTopmost) {
    RECT r = OuterOf(MainWindow);
    EXPECT_EQ(WorkArea.right - 300, r.left);
    EXPECT_EQ(WorkArea.top, r.top);
    EXPECT_EQ(300, r.right - r.left);
    EXPECT_EQ(180, r.bottom - r.top);
    ExpectBox(Settings.WindowRect, r);
    EXPECT_FALSE(GetWindowLongA(MainWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);
    ExpectLayout(35, 79, 159, 29);
}

// ---- The tray tip ---------------------------------------------------------------------------

TEST(TrayTip, NamesTheEntry) {
    EXPECT_EQ("Tovane", TrayTipText(nullptr));
    EXPECT_EQ("Tovane", TrayTipText(""));
    EXPECT_EQ("Tovane - My ISP", TrayTipText("My ISP"));
}

TEST(TrayTip, LongNamesAreCutTo63Characters) {
    std::string name(100, 'n');
    std::string tip = TrayTipText(name.c_str());
    EXPECT_EQ(63u, tip.size());
    EXPECT_EQ("Tovane - " + name.substr(0, 54), tip);
    EXPECT_EQ(63u, TrayTipText(std::string(54, 'x').c_str()).size());
    EXPECT_EQ(62u, TrayTipText(std::string(53, 'x').c_str()).size());
}

TEST(TrayTip, DoubleByteCharacterIsNotSplit) {
    constexpr UINT ShiftJis = 932;
    ASSERT_TRUE(IsDBCSLeadByteEx(ShiftJis, 0x82));
    const std::string wide = "\x82\xA0"; // one double-byte character
    // Its lead byte would be the 63rd character: the whole character goes.
    std::string tip = TrayTipText((std::string(53, 'a') + wide).c_str(), ShiftJis);
    EXPECT_EQ("Tovane - " + std::string(53, 'a'), tip);
    // One earlier, it fits exactly.
    tip = TrayTipText((std::string(52, 'a') + wide + "zz").c_str(), ShiftJis);
    EXPECT_EQ("Tovane - " + std::string(52, 'a') + wide, tip);
    // Under a single-byte code page the same bytes are two characters.
    EXPECT_EQ(63u, TrayTipText((std::string(53, 'a') + wide).c_str(), 1252).size());
}

} // namespace
