// The main window in-process: menus, placement, layout, minimum size, keyboard, tray and the
// saving of its box.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/App.h"
#include "app/NConnection.h"
#include "app/WMain.h"
#include "app/WStatus.h"
#include "common/NCommon.h"
#include "support/Pixels.h"
#include "support/Harness.h"

namespace {

struct Item {
    std::string Text;
    UINT Id;
    bool Separator;
    bool Grayed = false;
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
        items.push_back(
            {text, info.wID, (info.fType & MFT_SEPARATOR) != 0, (info.fState & MFS_DISABLED) != 0});
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
        EXPECT_EQ(expected[i].Grayed, items[i].Grayed) << expected[i].Text;
    }
}

std::vector<Item> TrayItems(bool connectGrayed, bool disconnectGrayed) {
    return {{"&Restore", CmdRestore, false},
            {"", 0, true},
            {"&Connect", CmdConnect, false, connectGrayed},
            {"&Disconnect", CmdDisconnect, false, disconnectGrayed},
            {"", 0, true},
            {"E&xit", CmdExit, false}};
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
    RECT strip = BoxInParent(StatusStrip);
    EXPECT_EQ(0, strip.left);
    EXPECT_EQ(0, strip.top);
    EXPECT_EQ(client.right, strip.right);
    EXPECT_EQ(client.bottom - band, strip.bottom);
    RECT connect = BoxInParent(ConnectButton), disconnect = BoxInParent(DisconnectButton);
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

std::unique_ptr<StartedTovane> program;

// Closing destroys the window; hidden first, so it is quick.
void CloseMain() {
    ResetController();
    SendMessageA(MainWindow, WM_CLOSE, 0, 0);
    WPARAM code = 99;
    QuitPosted(&code);
}

// ---- First start: no settings file -----------------------------------------------------------

class FirstStart : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { program = std::make_unique<StartedTovane>(); }
    static void TearDownTestSuite() {
        if (IsWindow(MainWindow)) CloseMain();
        program.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(IsWindow(MainWindow));
        ResetController();
    }
};

// A service whose dial starts and is never reported on, and whose hang-up ends when told.
bool lineGone = false;
DWORD WINAPI DialStarts(void*, LPCSTR, RASDIALPARAMSA*, DWORD, void*, HRASCONN* handle) {
    *handle = reinterpret_cast<HRASCONN>(1);
    return 0;
}
DWORD WINAPI HangUpStarts(HRASCONN) {
    return 0;
}
DWORD WINAPI UpUntilGone(HRASCONN, RASCONNSTATUSA* status) {
    status->rasconnstate = RASCS_Connected;
    return lineGone ? RasErrorInvalidHandle : 0;
}

// The controller dials through that service for the scope.
class Dialling {
  public:
    Dialling() : saved_(RasApi) {
        lineGone = false;
        RasApi.RasDialA = DialStarts;
        RasApi.RasHangUpA = HangUpStarts;
        RasApi.RasGetConnectStatusA = UpUntilGone;
        for (char** field : {&Settings.ConnectionName, &Settings.UserName, &Settings.Password})
            ReplaceString(*field, NewString("x"));
    }
    ~Dialling() {
        RasApi = saved_;
        for (char** field : {&Settings.ConnectionName, &Settings.UserName, &Settings.Password})
            FreeString(*field);
        ResetController();
        FreeStatusLog(); // the painting test expects a short log
        UpdateStatusScrollBars(true);
    }
    Dialling(const Dialling&) = delete;
    Dialling& operator=(const Dialling&) = delete;

  private:
    TRasApi saved_;
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
    // Both enabled until the controller first sets them.
    ExpectItems(TrayMenu, TrayItems(false, false));
    EXPECT_EQ(CmdRestore, GetMenuDefaultItem(TrayMenu, FALSE, 0));
}

TEST_F(FirstStart, OpensCentredAtTheDefaultSizeAndTopmost) {
    RECT r = RectOf(MainWindow);
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
        RECT box = BoxInParent(button);
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
    RECT before = RectOf(MainWindow);
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

    RECT before = RectOf(MainWindow);
    MoveMain(before.left, before.top, 100, 60);
    RECT small = RectOf(MainWindow);
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

// ---- The tray, seen at the shell's call and at the popup menu's -----------------------------

std::vector<std::pair<DWORD, NOTIFYICONDATAA>> shellCalls;
BOOL shellAnswer = TRUE;
bool iconShown = false; // as the shell, which refuses to add an icon twice

BOOL WINAPI RecordShell(DWORD message, PNOTIFYICONDATAA data) {
    NOTIFYICONDATAA copy = {};
    std::memcpy(&copy, data, std::min<size_t>(data->cbSize, sizeof copy));
    shellCalls.push_back({message, copy});
    if (!shellAnswer || (message == NIM_ADD) == iconShown) return FALSE;
    if (message != NIM_MODIFY) iconShown = message == NIM_ADD;
    return TRUE;
}

void ExpectAddRecord(const NOTIFYICONDATAA& data, const std::string& tip) {
    EXPECT_EQ(sizeof(void*) == 8 ? 104u : 88u, data.cbSize); // the first version's size
    EXPECT_EQ(MainWindow, data.hWnd);
    EXPECT_EQ(1u, data.uID);
    EXPECT_EQ(7u, data.uFlags); // message, icon and tip
    EXPECT_EQ(3079u, data.uCallbackMessage);
    EXPECT_EQ(MainIcon, data.hIcon);
    EXPECT_EQ(tip, std::string(data.szTip));
}

struct TrackCall {
    int Calls = 0;
    HMENU Menu = nullptr;
    UINT Flags = 0;
    POINT At = {};
    HWND Owner = nullptr;
    HWND Foreground = nullptr;
    bool NullQueuedBefore = false;
};
TrackCall track;

// Dispatches the main window's queued messages; true when a WM_NULL was among them.
bool DrainFindingNull() {
    bool found = false;
    MSG msg;
    while (PeekMessageA(&msg, MainWindow, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_NULL) found = true;
        DispatchMessageA(&msg);
    }
    return found;
}

std::vector<Item> expectedTrayItems;
BOOL WINAPI RecordTrack(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    ++track.Calls;
    track.Menu = menu;
    track.Flags = flags;
    track.At = {x, y};
    track.Owner = owner;
    track.Foreground = GetForegroundWindow();
    track.NullQueuedBefore = DrainFindingNull();
    ExpectItems(menu, expectedTrayItems); // the states as shown
    return FALSE;
}

// Points the program's shell and popup-menu calls at the recorders for one test, and puts them
// and the window back after it.
struct TrayCalls {
    TrayCalls() {
        shell_ = ReplaceImport("shell32.dll", "Shell_NotifyIconA",
                               reinterpret_cast<void*>(&RecordShell));
        track_ =
            ReplaceImport("user32.dll", "TrackPopupMenu", reinterpret_cast<void*>(&RecordTrack));
        EXPECT_NE(nullptr, shell_);
        EXPECT_NE(nullptr, track_);
        shellCalls.clear();
        shellAnswer = TRUE;
        iconShown = false;
    }
    ~TrayCalls() {
        shellAnswer = TRUE;
        RestoreFromTray();
        ReplaceImport("shell32.dll", "Shell_NotifyIconA", shell_);
        ReplaceImport("user32.dll", "TrackPopupMenu", track_);
        Settings.ShrinkWhenConnected = 0;
        ReplaceString(Settings.ConnectionName, nullptr);
    }
    void* shell_ = nullptr;
    void* track_ = nullptr;
};

TEST_F(FirstStart, TrayIconIsAddedAgainForANewTaskbarAndRemovedOnRestore) {
    TrayCalls calls;
    const std::string name(100, 'n');
    ReplaceString(Settings.ConnectionName, NewString(name.c_str()));
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    SendMessageA(MainWindow, taskbarCreated, 0, 0);
    EXPECT_TRUE(shellCalls.empty()) << "not in the tray: nothing to add again";

    SendMessageA(MainWindow, WM_SYSCOMMAND, SC_MINIMIZE | 2, 0); // the system's low bits
    EXPECT_TRUE(InTray);
    EXPECT_FALSE(IsWindowVisible(MainWindow));
    EXPECT_FALSE(IsIconic(MainWindow));
    ASSERT_EQ(1u, shellCalls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), shellCalls[0].first);
    ExpectAddRecord(shellCalls[0].second, "Tovane - " + name.substr(0, 54));

    // A repeated broadcast finds the icon there: refused as an add, it is modified. Explorer
    // restarted: the same record again. Either way the window stays in the tray.
    SendMessageA(MainWindow, taskbarCreated, 0, 0);
    iconShown = false;
    SendMessageA(MainWindow, taskbarCreated, 0, 0);
    ASSERT_EQ(4u, shellCalls.size());
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(static_cast<DWORD>(i == 2 ? NIM_MODIFY : NIM_ADD), shellCalls[i].first);
        EXPECT_EQ(
            0, std::memcmp(&shellCalls[0].second, &shellCalls[i].second, NOTIFYICONDATAA_V1_SIZE));
    }
    EXPECT_TRUE(InTray);
    EXPECT_FALSE(IsWindowVisible(MainWindow));

    SendMessageA(MainWindow, TrayCallbackMessage, TrayIconId, WM_MOUSEMOVE);
    EXPECT_TRUE(InTray) << "other mouse messages do nothing";
    SendMessageA(MainWindow, TrayCallbackMessage, TrayIconId, WM_LBUTTONUP);
    EXPECT_FALSE(InTray);
    EXPECT_TRUE(IsWindowVisible(MainWindow));
    ASSERT_EQ(5u, shellCalls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), shellCalls[4].first);
    EXPECT_EQ(MainWindow, shellCalls[4].second.hWnd);
    EXPECT_EQ(1u, shellCalls[4].second.uID);
    RECT r = RectOf(MainWindow);
    EXPECT_EQ(282, r.right - r.left) << "comes back at its size";

    // The tray menu's Restore; restoring when not in the tray only shows the window.
    SendMessageA(MainWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    SendMessageA(MainWindow, WM_COMMAND, CmdRestore, 0);
    EXPECT_FALSE(InTray);
    EXPECT_TRUE(IsWindowVisible(MainWindow));
    RestoreFromTray();
    EXPECT_FALSE(InTray);
    EXPECT_TRUE(IsWindowVisible(MainWindow));
}

DWORD WINAPI HandleGone(HRASCONN, RASCONNSTATUSA*) {
    return RasErrorInvalidHandle;
}
DWORD WINAPI HungUp(HRASCONN) {
    return 0;
}

// Balloons: only from the tray, in the smallest record with the balloon fields, while the icon
// keeps the first version's. A service that knows the handle no more: the poll sees a drop.
TEST_F(FirstStart, BalloonsComeOnlyFromTheTrayInTheSecondVersionsRecord) {
    TrayCalls calls;
    const TRasApi api = RasApi;
    RasApi.RasGetConnectStatusA = HandleGone;
    RasApi.RasHangUpA = HungUp;
    RasApi.RasDialA = DialStarts;
    ReplaceString(Settings.ConnectionName, NewString("Office"));
    for (char** field : {&Settings.UserName, &Settings.Password})
        ReplaceString(*field, NewString("x"));
    const uint8_t autoReconnect = Settings.AutoReconnect;
    Settings.AutoReconnect = 0;
    auto connected = [] {
        Connect();
        OnDialReport(RASCS_Connected, 0);
    };
    connected();
    EXPECT_TRUE(shellCalls.empty()) << "no balloon while the window is shown";
    SendMessageA(MainWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    connected();
    PollTimer(MainWindow, WM_TIMER, PollTimerId, 0);
    Settings.AutoReconnect = autoReconnect;
    RasApi = api;
    for (char** field : {&Settings.UserName, &Settings.Password})
        FreeString(*field);
    ResetController();

    ASSERT_EQ(3u, shellCalls.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), shellCalls[0].first);
    ExpectAddRecord(shellCalls[0].second, "Tovane - Office");
    const char* told[][2] = {{"Connected", "Office"}, {"Connection lost", "Office"}};
    for (size_t i = 1; i < 3; ++i) {
        const NOTIFYICONDATAA& balloon = shellCalls[i].second;
        EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), shellCalls[i].first);
        EXPECT_EQ(sizeof(void*) == 8 ? 504u : 488u, balloon.cbSize);
        EXPECT_EQ(MainWindow, balloon.hWnd);
        EXPECT_EQ(1u, balloon.uID);
        EXPECT_EQ(static_cast<UINT>(NIF_INFO), balloon.uFlags);
        EXPECT_EQ((i == 1 ? NIIF_INFO : NIIF_WARNING) | NIIF_RESPECT_QUIET_TIME,
                  balloon.dwInfoFlags);
        EXPECT_STREQ(told[i - 1][0], balloon.szInfoTitle);
        EXPECT_STREQ(told[i - 1][1], balloon.szInfo);
    }
}

// Right after logon, or without a taskbar, the shell refuses the icon: the window must stay
// within reach on every road into the tray.
TEST_F(FirstStart, RefusedTrayIconNeverHidesTheWindow) {
    TrayCalls calls;
    shellAnswer = FALSE;
    SendMessageA(MainWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(1u, shellCalls.size());
    EXPECT_FALSE(InTray);
    EXPECT_TRUE(IsWindowVisible(MainWindow));
    EXPECT_TRUE(IsIconic(MainWindow)) << "minimised to the taskbar instead";
    ShowWindow(MainWindow, SW_RESTORE);

    // A dial that connects with shrink-when-connected on.
    Dialling dialling;
    Settings.ShrinkWhenConnected = 1;
    Connect();
    OnDialReport(RASCS_Connected, 0);
    EXPECT_EQ(2u, shellCalls.size());
    EXPECT_FALSE(InTray);
    EXPECT_TRUE(IsWindowVisible(MainWindow));
    EXPECT_EQ(TControllerState::Ready, ControllerNow().ControllerState);

    shellAnswer = TRUE;
    Connect();
    OnDialReport(RASCS_Connected, 0);
    EXPECT_TRUE(InTray);
    EXPECT_FALSE(IsWindowVisible(MainWindow));
    // Already in the tray: a dial that connects adds no second icon (a balloon at most).
    Connect();
    OnDialReport(RASCS_Connected, 0);
    EXPECT_EQ(3, std::count_if(shellCalls.begin(), shellCalls.end(),
                               [](const auto& call) { return call.first == NIM_ADD; }));
    Settings.ShrinkWhenConnected = 0;

    // A new taskbar that refuses the icon again, as an add and as a change: the window comes back.
    shellAnswer = FALSE;
    SendMessageA(MainWindow, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), shellCalls.back().first);
    EXPECT_FALSE(InTray);
    EXPECT_TRUE(IsWindowVisible(MainWindow));
}

TEST_F(FirstStart, TrayMenuOnRightButtonUpInEitherControlState) {
    TrayCalls calls;
    SendMessageA(MainWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(InTray);
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                 nullptr, nullptr, nullptr);
    Dialling dialling;
    lineGone = true; // the hang-up ends at once
    for (bool connected : {true, false}) {
        if (connected)
            Connect();
        else
            Disconnect();
        expectedTrayItems = TrayItems(connected, !connected);
        SetForegroundWindow(other);
        SetCursorPos(connected ? 300 : 420, 200);
        DrainFindingNull();
        track = TrackCall();
        SendMessageA(MainWindow, TrayCallbackMessage, TrayIconId, WM_RBUTTONUP);
        ASSERT_EQ(1, track.Calls);
        EXPECT_EQ(TrayMenu, track.Menu);
        EXPECT_EQ(static_cast<UINT>(TPM_RIGHTALIGN | TPM_RIGHTBUTTON), track.Flags);
        POINT cursor = {};
        GetCursorPos(&cursor);
        EXPECT_EQ(cursor.x, track.At.x);
        EXPECT_EQ(cursor.y, track.At.y);
        EXPECT_EQ(MainWindow, track.Owner);
        EXPECT_EQ(MainWindow, track.Foreground) << "foreground before the menu";
        EXPECT_FALSE(track.NullQueuedBefore);
        EXPECT_TRUE(DrainFindingNull()) << "WM_NULL after the menu";
    }
    ShowWindow(other, SW_HIDE);
    DestroyWindow(other);
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

// While dialling, and from inside the hang-up's wait.
TEST_F(FirstStart, CloseIsRefusedWhileTheControllerIsBusy) {
    Dialling dialling;
    std::vector<TControllerState> refusedIn;
    auto tryToClose = [&refusedIn] {
        SendMessageA(MainWindow, WM_CLOSE, 0, 0);
        SendMessageA(MainWindow, WM_COMMAND, CmdExit, 0);
        if (IsWindow(MainWindow) && IsWindowVisible(MainWindow))
            refusedIn.push_back(ControllerNow().ControllerState);
    };
    Connect();
    tryToClose();
    RunStepsOnTimer({[&] {
        tryToClose();
        lineGone = true;
    }});
    Disconnect();
    EXPECT_EQ((std::vector{TControllerState::Dialing, TControllerState::HangingUp}), refusedIn);
    WPARAM code = 0;
    EXPECT_FALSE(QuitPosted(&code));
}

TEST_F(FirstStart, EndSessionStoresTheBox) {
    MoveMain(120, 90, 300, 200);
    Settings.WindowRect = {0, 0, 0, 0};
    SendMessageA(MainWindow, WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(0, Settings.WindowRect.Width) << "a session that goes on changes nothing";
    EXPECT_FALSE(ControllerNow().SessionEnding);

    SendMessageA(MainWindow, WM_ENDSESSION, TRUE, 0);
    ExpectBox({120, 90, 300, 200}, RectOf(MainWindow));
    ExpectBox(Settings.WindowRect, RectOf(MainWindow));
    EXPECT_TRUE(ControllerNow().SessionEnding);
    EXPECT_FALSE(KillTimer(MainWindow, PollTimerId)) << "the poll timer is stopped";

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
        RECT work = {};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        program = std::make_unique<StartedTovane>(
            DatFile::At(work.right - 100, work.top - 40, 300, 180).Bytes());
    }
    static void TearDownTestSuite() {
        if (IsWindow(MainWindow)) CloseMain();
        program.reset();
    }
};

TEST_F(StoredBox, IsPulledInsideTheWorkAreaAndNotTopmost) {
    RECT r = RectOf(MainWindow);
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

// ---- A main window that cannot be created ---------------------------------------------------

HHOOK refuseHook = nullptr;
LRESULT CALLBACK RefuseMainWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const char* cls = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs->lpszClass;
        if (!IS_INTRESOURCE(cls) && std::strcmp(cls, "TovaneMainWndClass") == 0) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 1; // creation fails
        }
    }
    return CallNextHookEx(refuseHook, code, wParam, lParam);
}

struct ShownBox {
    std::string Text, Caption;
    UINT Style;
};
std::vector<ShownBox> shownBoxes;
int CaptureBox(const char* text, const char* caption, UINT style) {
    shownBoxes.push_back({text, caption, style});
    return IDOK;
}

TEST(StartUp, AMainWindowThatCannotBeCreatedIsReportedAndEndsTheProgram) {
    InitShared(); // the path the start-up will use: beside this program
    const std::string dat = SettingsFile;
    // A box off the work area: any rewrite would store it pulled inside.
    const std::string stored = std::string(4, '\0') + Int32Bytes(5000) + Int32Bytes(5000) +
                               Int32Bytes(300) + Int32Bytes(200) + Int32Bytes(0) + Int32Bytes(0) +
                               Int32Bytes(0);
    WriteWholeFile(dat, stored);

    refuseHook = SetWindowsHookExA(WH_CBT, RefuseMainWindow, nullptr, GetCurrentThreadId());
    ShowProblemBox = CaptureBox;
    PostQuitMessage(0); // would end a loop that ran without a window, instead of hanging here
    int code = RunTovane();
    ShowProblemBox = MessageBoxProblem;
    UnhookWindowsHookEx(refuseHook);
    WPARAM quit = 0;
    QuitPosted(&quit);

    EXPECT_NE(0, code);
    ASSERT_EQ(1u, shownBoxes.size());
    EXPECT_EQ("Tovane - Problem", shownBoxes[0].Caption);
    char system[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_NOT_ENOUGH_MEMORY, 0, system, sizeof system, nullptr);
    std::string systemText = system;
    while (!systemText.empty() && (systemText.back() == '\n' || systemText.back() == '\r'))
        systemText.pop_back();
    ASSERT_FALSE(systemText.empty());
    EXPECT_EQ("Tovane could not create its main window.\n\n" + systemText, shownBoxes[0].Text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), shownBoxes[0].Style);
    EXPECT_EQ(nullptr, FindWindowA("TovaneMainWndClass", nullptr));
    EXPECT_EQ(stored, ReadWholeFile(dat)) << "Tovane.dat must not be rewritten";
    EXPECT_FALSE(FileExists(dat + ".tmp"));
    DeleteFileA(dat.c_str());
}

} // namespace
