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
#include "support/FakeDialup.h"
#include "support/Harness.h"
#include "support/Pixels.h"

namespace {

// Each item as "text id", " off" when grayed, "-" for a separator, "|" between items.
std::string ItemsOf(HMENU menu) {
    std::string items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[64] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_STATE;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
        items += i ? "|" : "";
        if (info.fType & MFT_SEPARATOR) {
            items += '-';
            continue;
        }
        (items += text) += ' ';
        items += std::to_string(info.wID) + (info.fState & MFS_DISABLED ? " off" : "");
    }
    return items;
}

std::string TrayItems(bool connectGrayed, bool disconnectGrayed) {
    return std::string("&Restore 3078|-|&Connect 3076") + (connectGrayed ? " off" : "") +
           "|&Disconnect 3077" + (disconnectGrayed ? " off" : "") + "|-|E&xit 3072";
}

RECT RectOf(const WindowBox& box) {
    return {box.Left, box.Top, box.Left + box.Width, box.Top + box.Height};
}

void MoveMain(int x, int y, int width, int height) {
    SetWindowPos(MainWindow, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    PumpMessages(20);
}

// The strip above a band of 35 pixels; the 75 by 25 buttons 79 and 159 pixels from the right
// and 29 from the bottom.
void ExpectLayout() {
    const RECT client = ClientOf(MainWindow);
    EXPECT_EQ((RECT{0, 0, client.right, client.bottom - 35}), BoxInParent(StatusStrip));
    for (auto [button, right] : {std::pair{ConnectButton, 79}, std::pair{DisconnectButton, 159}}) {
        const POINT at = {client.right - right, client.bottom - 29};
        EXPECT_EQ((RECT{at.x, at.y, at.x + 75, at.y + 25}), BoxInParent(button)) << right;
    }
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
        UseFakeDialup();
        ResetController();
    }
    void TearDown() override {
        ResetController();
        for (char** field : {&Settings.ConnectionName, &Settings.UserName, &Settings.Password})
            FreeString(*field);
        FreeStatusLog(); // the painting test expects a short log
        if (IsWindow(MainWindow)) UpdateStatusScrollBars(true);
    }
};

// Credentials for a dial that asks for nothing; TearDown lets them go.
void SetCredentials(const char* entry) {
    SetString(Settings.ConnectionName, entry);
    SetString(Settings.UserName, "x");
    SetString(Settings.Password, "x");
}

TEST_F(FirstStart, MenusHaveTheirItems) {
    HMENU bar = GetMenu(MainWindow);
    ASSERT_NE(nullptr, bar);
    ASSERT_EQ(2, GetMenuItemCount(bar));
    char text[32] = {};
    GetMenuStringA(bar, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ("&File", text);
    GetMenuStringA(bar, 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ("&Help", text);
    EXPECT_EQ("&Settings... 3073|-|E&xit 3072", ItemsOf(GetSubMenu(bar, 0)));
    EXPECT_EQ("&Contents 3074|-|&About... 3075", ItemsOf(GetSubMenu(bar, 1)));
    // Both enabled until the controller first sets them.
    EXPECT_EQ(TrayItems(false, false), ItemsOf(TrayMenu));
    EXPECT_EQ(CmdRestore, GetMenuDefaultItem(TrayMenu, FALSE, 0));
}

TEST_F(FirstStart, OpensCentredAtTheDefaultSizeAndTopmost) {
    const RECT r = RectOf(MainWindow);
    const LONG x = (ScreenWidth - 282) / 2, y = (ScreenHeight - 165) / 2;
    EXPECT_EQ((RECT{x, y, x + 282, y + 165}), r);
    EXPECT_EQ(r, RectOf(Settings.WindowRect));
    EXPECT_TRUE(GetWindowLongA(MainWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(IsWindowVisible(MainWindow));
    EXPECT_EQ("Tovane", TextOf(MainWindow));
    EXPECT_EQ(static_cast<LONG>(WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX),
              GetWindowLongA(MainWindow, GWL_STYLE) &
                  (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
}

TEST_F(FirstStart, StripAndButtonsFillTheClientArea) {
    ASSERT_NE(nullptr, StatusStrip);
    EXPECT_EQ(MainWindow, GetParent(StatusStrip));
    EXPECT_TRUE(GetWindowLongA(StatusStrip, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    ExpectLayout();

    EXPECT_EQ("Connect", TextOf(ConnectButton));
    EXPECT_EQ("Disconnect", TextOf(DisconnectButton));
    EXPECT_EQ(static_cast<int>(CmdConnect), GetDlgCtrlID(ConnectButton));
    EXPECT_EQ(static_cast<int>(CmdDisconnect), GetDlgCtrlID(DisconnectButton));
    EXPECT_TRUE(IsWindowEnabled(ConnectButton));
    EXPECT_FALSE(IsWindowEnabled(DisconnectButton));
    for (HWND button : {ConnectButton, DisconnectButton}) {
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

TEST_F(FirstStart, ButtonsStayAnchoredWhenResizedDownToTheMinimumSize) {
    MINMAXINFO info = {};
    info.ptMaxTrackSize = {5000, 5000};
    SendMessageA(MainWindow, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(180, info.ptMinTrackSize.x);
    EXPECT_EQ(2 * DoubleFrameHeight + CaptionHeight + MenuHeight + 35 + LineHeight,
              info.ptMinTrackSize.y);
    EXPECT_EQ(5000, info.ptMaxTrackSize.x) << "the other members are left alone";

    RECT before = RectOf(MainWindow);
    for (SIZE size : {SIZE{420, 330}, SIZE{200, 140}, SIZE{100, 60}}) {
        MoveMain(before.left, before.top, size.cx, size.cy);
        ExpectLayout();
    }
    EXPECT_EQ(180, SizeOf(MainWindow).cx);
    EXPECT_EQ(info.ptMinTrackSize.y, SizeOf(MainWindow).cy);
    MoveMain(before.left, before.top, 282, 165);
}

// Tab alternates between the enabled buttons; a disabled one is skipped, and with nowhere to go
// the focus stays.
TEST_F(FirstStart, TabAlternatesBetweenEnabledButtons) {
    SetForegroundWindow(MainWindow);
    const struct {
        BOOL Connect, Disconnect;
        bool FromTheWindow;
        std::vector<HWND> Focus; // after each Tab
    } cases[] = {{TRUE, TRUE, true, {ConnectButton, DisconnectButton, ConnectButton}},
                 {TRUE, FALSE, false, {ConnectButton}},
                 {FALSE, TRUE, true, {DisconnectButton, DisconnectButton}}};
    for (const auto& c : cases) {
        EnableWindow(ConnectButton, c.Connect);
        EnableWindow(DisconnectButton, c.Disconnect);
        if (c.FromTheWindow) SetFocus(MainWindow);
        for (HWND focus : c.Focus) {
            PressThroughLoop(VK_TAB);
            EXPECT_EQ(focus, GetFocus());
        }
        MSG msg;
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_CHAR, WM_CHAR, PM_REMOVE)) << "Tab is typed";
    }
    EnableWindow(ConnectButton, TRUE);
    EnableWindow(DisconnectButton, FALSE);
    // At the window itself Enter and Escape go on; other keys stop there.
    const std::pair<WPARAM, LRESULT> keys[] = {
        {VK_RETURN, 1}, {VK_ESCAPE, 1}, {VK_TAB, 0}, {'A', 0}};
    for (auto [key, goesOn] : keys)
        EXPECT_EQ(goesOn, SendMessageA(MainWindow, WM_KEYDOWN, key, 1)) << key;
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

std::string expectedTrayItems;
BOOL WINAPI RecordTrack(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    ++track.Calls;
    track.Menu = menu;
    track.Flags = flags;
    track.At = {x, y};
    track.Owner = owner;
    track.Foreground = GetForegroundWindow();
    track.NullQueuedBefore = DrainFindingNull();
    EXPECT_EQ(expectedTrayItems, ItemsOf(menu)); // the states as shown
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

// Where the window is: "tray" (hidden, with an icon), "shown", or "iconic" (on the taskbar).
std::string WhereTheWindowIs() {
    if (InTray) return IsWindowVisible(MainWindow) ? "tray but shown" : "tray";
    if (!IsWindowVisible(MainWindow)) return "hidden without an icon";
    return IsIconic(MainWindow) ? "iconic" : "shown";
}

// Every road into the tray and out, with the shell taking the icon or refusing it (right after
// logon, or without a taskbar): the window never hides without an icon. A new taskbar gets the
// icon again: refused as an add while it is still there, it is modified instead.
TEST_F(FirstStart, TrayIconFollowsTheShellOnEveryRoadInAndOut) {
    TrayCalls calls;
    const std::string name(100, 'n');
    SetCredentials(name.c_str()); // a dial that connects with shrink-when-connected on
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    auto send = [](UINT message, WPARAM wParam, LPARAM lParam) {
        return [=] { SendMessageA(MainWindow, message, wParam, lParam); };
    };
    auto connected = [] {
        Settings.ShrinkWhenConnected = 1;
        Connect();
        OnDialReport(RASCS_Connected, 0);
        Settings.ShrinkWhenConnected = 0;
    };
    const struct {
        const char* What;
        BOOL Answer;
        std::function<void()> Do;
        const char* Calls; // the shell's messages: Add, Modify, Delete
        const char* Where;
    } steps[] = {
        {"new taskbar, not in the tray", TRUE, send(taskbarCreated, 0, 0), "", "shown"},
        {"minimise, the system's low bits set", TRUE, send(WM_SYSCOMMAND, SC_MINIMIZE | 2, 0), "A",
         "tray"},
        {"new taskbar, the icon still there", TRUE, send(taskbarCreated, 0, 0), "AM", "tray"},
        {"new taskbar, the icon gone", TRUE,
         [&] {
             iconShown = false;
             SendMessageA(MainWindow, taskbarCreated, 0, 0);
         },
         "A", "tray"},
        {"mouse move over the icon", TRUE, send(TrayCallbackMessage, TrayIconId, WM_MOUSEMOVE), "",
         "tray"},
        {"left click on the icon", TRUE, send(TrayCallbackMessage, TrayIconId, WM_LBUTTONUP), "D",
         "shown"},
        {"minimise", TRUE, send(WM_SYSCOMMAND, SC_MINIMIZE, 0), "A", "tray"},
        {"the tray menu's Restore", TRUE, send(WM_COMMAND, CmdRestore, 0), "D", "shown"},
        {"restore while not in the tray", TRUE, RestoreFromTray, "", "shown"},
        {"minimise, refused", FALSE, send(WM_SYSCOMMAND, SC_MINIMIZE, 0), "A", "iconic"},
        {"connected, refused", FALSE,
         [&] {
             ShowWindow(MainWindow, SW_RESTORE);
             connected();
             EXPECT_EQ(TControllerState::Ready, ControllerNow().ControllerState);
         },
         "A", "shown"},
        {"connected", TRUE, connected, "A", "tray"},
        {"connected again: no second icon, a balloon", TRUE, connected, "M", "tray"},
        {"new taskbar refusing as an add and as a change", FALSE, send(taskbarCreated, 0, 0), "AM",
         "shown"},
    };
    RECT shown = RectOf(MainWindow);
    for (const auto& step : steps) {
        SCOPED_TRACE(step.What);
        const size_t before = shellCalls.size();
        shellAnswer = step.Answer;
        step.Do();
        std::string seen;
        for (size_t i = before; i < shellCalls.size(); ++i)
            seen += "AMD"[shellCalls[i].first];
        EXPECT_EQ(step.Calls, seen);
        EXPECT_EQ(step.Where, WhereTheWindowIs());
        if (std::string(step.Where) == "shown") {
            EXPECT_EQ(shown, RectOf(MainWindow));
        }
    }
    // The icon's record is the first version's, the same at every add and change; each balloon
    // and each removal names the same icon.
    ASSERT_FALSE(shellCalls.empty());
    ExpectAddRecord(shellCalls[0].second, "Tovane - " + name.substr(0, 54));
    for (const auto& [message, data] : shellCalls) {
        EXPECT_EQ(MainWindow, data.hWnd);
        EXPECT_EQ(1u, data.uID);
        if (message != NIM_DELETE && data.uFlags != NIF_INFO) {
            EXPECT_EQ(0, std::memcmp(&shellCalls[0].second, &data, NOTIFYICONDATAA_V1_SIZE));
        }
    }
}

// Balloons: only from the tray, in the smallest record with the balloon fields, while the icon
// keeps the first version's.
TEST_F(FirstStart, BalloonsComeOnlyFromTheTrayInTheSecondVersionsRecord) {
    TrayCalls calls;
    SetCredentials("Office");
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
    Dialup.Lines.clear(); // the service knows the handle no more: the poll sees a drop
    PollTimer(MainWindow, WM_TIMER, PollTimerId, 0);
    Settings.AutoReconnect = autoReconnect;

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

TEST_F(FirstStart, TrayMenuOnRightButtonUpInEitherControlState) {
    TrayCalls calls;
    SendMessageA(MainWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(InTray);
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                 nullptr, nullptr, nullptr);
    SetCredentials("x"); // the hang-up ends at once
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
    SetCredentials("x");
    std::vector<TControllerState> refusedIn;
    auto tryToClose = [&refusedIn] {
        SendMessageA(MainWindow, WM_CLOSE, 0, 0);
        SendMessageA(MainWindow, WM_COMMAND, CmdExit, 0);
        if (IsWindow(MainWindow) && IsWindowVisible(MainWindow))
            refusedIn.push_back(ControllerNow().ControllerState);
    };
    Connect();
    tryToClose();
    During({tryToClose})();
    Disconnect();
    EXPECT_EQ((std::vector{TControllerState::Dialing, TControllerState::HangingUp}), refusedIn);
    WPARAM code = 0;
    EXPECT_FALSE(QuitPosted(&code));
}

TEST_F(FirstStart, EndSessionStoresTheNormalBoxAndSavesIt) {
    MoveMain(120, 90, 300, 200);
    Settings.WindowRect = {0, 0, 0, 0};
    SendMessageA(MainWindow, WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(0, Settings.WindowRect.Width) << "a session that goes on changes nothing";
    EXPECT_FALSE(ControllerNow().SessionEnding);

    SendMessageA(MainWindow, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ((RECT{120, 90, 420, 290}), RectOf(MainWindow));
    EXPECT_EQ((RECT{120, 90, 420, 290}), RectOf(Settings.WindowRect));
    EXPECT_TRUE(ControllerNow().SessionEnding);
    EXPECT_FALSE(KillTimer(MainWindow, PollTimerId)) << "the poll timer is stopped";
    // The settings are saved too, since the loop may never reach its own save.
    const std::string bytes = ReadWholeFile(SettingsFile);
    EXPECT_EQ((std::vector<int32_t>{120, 90, 300, 200}),
              (std::vector<int32_t>{Int32At(bytes, 4), Int32At(bytes, 8), Int32At(bytes, 12),
                                    Int32At(bytes, 16)}));

    // Minimised, the box to store is the normal one.
    MoveMain(140, 110, 300, 200);
    ShowWindow(MainWindow, SW_MINIMIZE);
    PumpMessages(20);
    ASSERT_TRUE(IsIconic(MainWindow));
    SendMessageA(MainWindow, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ((RECT{140, 110, 440, 310}), RectOf(Settings.WindowRect));
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
    EXPECT_EQ((RECT{100, 80, 420, 290}), RectOf(Settings.WindowRect));
    EXPECT_FALSE(InTray) << "the tray icon goes with the window";
    EXPECT_FALSE(IsMenu(tray)) << "and so does its menu";
    EXPECT_EQ(0, StatusLineCount()) << "the log is freed";
    EXPECT_FALSE(WindowReady);
}

// ---- A stored box partly off the work area
// ---------------------------------------------------

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
    const RECT r = RectOf(MainWindow);
    EXPECT_EQ((RECT{WorkArea.right - 300, WorkArea.top, WorkArea.right, WorkArea.top + 180}), r);
    EXPECT_EQ(r, RectOf(Settings.WindowRect));
    EXPECT_FALSE(GetWindowLongA(MainWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);
    ExpectLayout();
}

// ---- The tray tip ---------------------------------------------------------------------------

// Cut to 63 characters, never inside a double-byte character.
TEST(TrayTip, NamesTheEntryInAtMost63CharactersWithoutSplittingOne) {
    constexpr UINT ShiftJis = 932;
    ASSERT_TRUE(IsDBCSLeadByteEx(ShiftJis, 0x82));
    const std::string wide = "\x82\xA0", n100(100, 'n'); // one double-byte character
    const struct {
        std::string Name;
        UINT CodePage;
        std::string Tip; // after "Tovane - "
    } cases[] = {
        {"My ISP", CP_ACP, "My ISP"},
        {n100, CP_ACP, n100.substr(0, 54)},
        {std::string(53, 'x'), CP_ACP, std::string(53, 'x')},
        {std::string(53, 'a') + wide, ShiftJis, std::string(53, 'a')}, // the lead byte 63rd
        {std::string(52, 'a') + wide + "zz", ShiftJis, std::string(52, 'a') + wide}, // it fits
        {std::string(53, 'a') + wide, 1252, std::string(53, 'a') + wide[0]}, // two characters
    };
    for (const auto& c : cases)
        EXPECT_EQ("Tovane - " + c.Tip, TrayTipText(c.Name.c_str(), c.CodePage)) << c.Name;
    EXPECT_EQ("Tovane", TrayTipText(nullptr));
    EXPECT_EQ("Tovane", TrayTipText(""));
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
    const std::string stored = DatFile::At(5000, 5000, 300, 200).Bytes();
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
    const std::string systemText(system, std::strcspn(system, "\r\n"));
    ASSERT_FALSE(systemText.empty());
    EXPECT_EQ("Tovane could not create its main window.\n\n" + systemText, shownBoxes[0].Text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), shownBoxes[0].Style);
    EXPECT_EQ(nullptr, FindWindowA("TovaneMainWndClass", nullptr));
    EXPECT_EQ(stored, ReadWholeFile(dat)) << "Tovane.dat must not be rewritten";
    EXPECT_FALSE(FileExists(dat + ".tmp"));
    DeleteFileA(dat.c_str());
}

} // namespace
