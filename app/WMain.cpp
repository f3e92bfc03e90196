#include "app/WMain.h"

#include <cstring>
#include <deque>
#include <shellapi.h>
#include <vector>

#include "app/NConnection.h"
#include "app/NLogCopy.h"
#include "app/WStatus.h"
#include "common/NCommon.h"
#include "common/NGdi.h"
#include "controls/NIBtn.h"
#include "windows/NSecondary.h"
#include "windows/WAbout.h"
#include "windows/WPass.h"
#include "windows/WSettings.h"

HWND MainWindow = nullptr;
HWND ConnectButton = nullptr;
HWND DisconnectButton = nullptr;
HMENU TrayMenu = nullptr;
bool InTray = false;
bool WindowReady = false;

static constexpr char MainClassName[] = "TovaneMainWndClass";
static constexpr char MainTitle[] = "Tovane";
static constexpr DWORD MainStyle = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;
static constexpr DWORD MainExStyle = WS_EX_CONTROLPARENT;
static constexpr DWORD StripStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL;
static constexpr DWORD StripExStyle = WS_EX_CLIENTEDGE;
static constexpr int32_t StripInitialSize = 100;
static constexpr UINT LayoutFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS;
static constexpr UINT TrayMenuFlags = TPM_RIGHTALIGN | TPM_RIGHTBUTTON;
static constexpr WPARAM SysCommandMask = 0xFFF0; // the low four bits belong to the system
static constexpr char TipPrefix[] = "Tovane - ";
static constexpr size_t BalloonTitleLimit = 63; // characters of the 64-byte title field
static constexpr size_t BalloonTextLimit = 255; // of the 256-byte text field
static constexpr UINT BalloonTimeoutMs = 10000; // heeded before Windows Vista only
// Indexed by TTrayNews.
static constexpr const char* BalloonTitles[] = {"Connection lost", "Connected",
                                                "Auto reconnect stopped"};

// Layout at 96 dpi. A button box holds the distance of its left edge from the client area's
// right edge, the distance of its top edge from the bottom edge, its width and its height.
static constexpr int32_t BaseButtonBandHeight = 35;
static constexpr WindowBox BaseConnectBox = {79, 29, 75, 25};
static constexpr WindowBox BaseDisconnectBox = {159, 29, 75, 25};
static constexpr int32_t MinWidthSlack = 30; // beside two button widths; not scaled

static int32_t ButtonBandHeight = BaseButtonBandHeight;
static WindowBox ConnectBox = BaseConnectBox;
static WindowBox DisconnectBox = BaseDisconnectBox;

static HMENU MenuBar = nullptr;
// Sent by the shell to every top-level window when the taskbar has been (re-)created.
static UINT TaskbarCreatedMessage = 0;

// Switches run one after another, each once the one before has returned: a hang-up ends before
// the exit after it is tried, even though its wait dispatches the queue.
static std::deque<TSwitch> PendingSwitches;
static bool RunningSwitch = false;

// ---- Set-up and creation -------------------------------------------------------------------

// The window and its status strip are laid out and drawn only once both exist.
static void SetReady(bool ready) {
    WindowReady = ready;
    SetStatusStripReady(ready);
}

void SetupMainWindow() {
    RegisterProgramClass(MainClassName, MainWindowProc, MainIcon);
    SetupStatusStrip();

    // From the 96-dpi values each time, so a second set-up does not scale twice.
    ButtonBandHeight = BaseButtonBandHeight;
    ConnectBox = BaseConnectBox;
    DisconnectBox = BaseDisconnectBox;
    if (DpiScaling) {
        ButtonBandHeight = ScaleValue(BaseButtonBandHeight);
        ScaleBox(BaseConnectBox, ConnectBox);
        ScaleBox(BaseDisconnectBox, DisconnectBox);
    }
    SetReady(false);
    InTray = false;
    PendingSwitches.clear();
    RunningSwitch = false;
    ResetController();
}

static void BuildMenus() {
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, CmdSettings, "&Settings...");
    AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(file, MF_STRING, CmdExit, "E&xit");
    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, CmdHelpContents, "&Contents");
    AppendMenuA(help, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(help, MF_STRING, CmdAbout, "&About...");
    MenuBar = CreateMenu();
    AppendMenuA(MenuBar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    AppendMenuA(MenuBar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "&Help");

    TrayMenu = CreatePopupMenu();
    AppendMenuA(TrayMenu, MF_STRING, CmdRestore, "&Restore");
    AppendMenuA(TrayMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(TrayMenu, MF_STRING, CmdConnect, "&Connect");
    AppendMenuA(TrayMenu, MF_STRING, CmdDisconnect, "&Disconnect");
    AppendMenuA(TrayMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(TrayMenu, MF_STRING, CmdExit, "E&xit");
    SetMenuDefaultItem(TrayMenu, CmdRestore, FALSE);
}

static int32_t FontLineHeight() {
    WindowDC dc(nullptr);
    SelectGuard font(dc.Get(), GuiFont);
    TEXTMETRICA tm = {};
    GetTextMetricsA(dc.Get(), &tm);
    return tm.tmHeight + tm.tmExternalLeading;
}

static SIZE MinimumSize() {
    return {2 * ConnectBox.Width + MinWidthSlack, DoubleFrameHeight + CaptionHeight + MenuHeight +
                                                      ButtonBandHeight + DoubleFrameHeight +
                                                      LineHeight};
}

// Tovane.dat may hold any 16 bytes for the box. A size below the minimum (zero, negative)
// would let the clamp start the window beyond the work area; raised to it, the clamp keeps the
// caption on the work area.
static void RaiseToMinimum(WindowBox& box) {
    SIZE minimum = MinimumSize();
    box.Width = IntMax(box.Width, minimum.cx);
    box.Height = IntMax(box.Height, minimum.cy);
}

static HWND CreateButton(UINT id, const char* caption, const WindowBox& box) {
    return CreateImageButton(MainWindow, static_cast<uint16_t>(id), caption, box);
}

// ---- The controller's port ------------------------------------------------------------------

static void SetMainTitle(const char* title) {
    SetWindowTextA(MainWindow, title);
}

static void EnableCommand(HWND button, UINT command, bool enabled) {
    EnableWindow(button, enabled ? TRUE : FALSE);
    EnableMenuItem(TrayMenu, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

static void EnableConnect(bool enabled) {
    EnableCommand(ConnectButton, CmdConnect, enabled);
}

static void EnableDisconnect(bool enabled) {
    EnableCommand(DisconnectButton, CmdDisconnect, enabled);
}

static void ShrinkOnce() {
    if (!InTray) ShrinkToTray();
}

static bool SetTrayIcon(DWORD action);
static void TellFromTray(TTrayNews news, const char* text);
static void OnSize(WPARAM kind, LPARAM lParam);

// The password window over the main window. The poll may open it from inside another modal
// window's loop: RunModal disables that window too, and only the prompt's own OK ends this run
// with 1.
static bool RunPasswordWindow() {
    HWND window = CreatePasswordWindow(MainWindow);
    const int result = window ? RunModal(window, MainWindow) : ModalCancel;
    if (result != ModalOk) return false;
    InvalidateRect(MainWindow, nullptr, FALSE);
    UpdateWindow(MainWindow);
    return true;
}

static void PostToWindow(UINT message, WPARAM wParam, LPARAM lParam) {
    PostMessageA(MainWindow, message, wParam, lParam);
}

void CALLBACK PollTimer(HWND, UINT, UINT_PTR, DWORD) {
    PollTick();
}

bool CreateMainWindow(bool inTray) {
    BuildMenus();
    TaskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");

    // The minimum size holds a line of the strip: measure it before the first clamp.
    LineHeight = FontLineHeight();
    WindowBox& box = Settings.WindowRect;
    if (LoadFailed) CenterOnScreen(box, box);
    RaiseToMinimum(box);
    ClampToWorkArea(box);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    MainWindow =
        CreateWindowExA(MainExStyle, MainClassName, MainTitle, MainStyle, box.Left, box.Top,
                        box.Width, box.Height, nullptr, MenuBar, instance, nullptr);
    if (!MainWindow) {
        DWORD error = GetLastError();
        DestroyMenu(MenuBar);
        DestroyMenu(TrayMenu);
        MenuBar = TrayMenu = nullptr;
        SetLastError(error);
        return false;
    }
    if (Settings.AlwaysOnTop)
        SetWindowPos(MainWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    StatusStrip =
        CreateWindowExA(StripExStyle, "TovaneStatusWndClass", "", StripStyle, 0, 0,
                        StripInitialSize, StripInitialSize, MainWindow, nullptr, instance, nullptr);

    ConnectButton = CreateButton(CmdConnect, "Connect", ConnectBox);
    DisconnectButton = CreateButton(CmdDisconnect, "Disconnect", DisconnectBox);
    EnableWindow(DisconnectButton, FALSE);

    AttachMainView({SetMainTitle, EnableConnect, EnableDisconnect, ShrinkOnce, TellFromTray,
                    AddStatusLine, RunPasswordWindow, PostToWindow});
    SetReady(true);
    InTray = inTray && SetTrayIcon(NIM_ADD);
    if (InTray) {
        // Laid out now: no showing sends the first WM_SIZE.
        RECT client = {};
        GetClientRect(MainWindow, &client);
        OnSize(SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    } else {
        ShowWindow(MainWindow, SW_SHOWNORMAL);
    }
    RefreshConnection();
    SetTimer(MainWindow, PollTimerId, PollPeriodMs, PollTimer);
    return true;
}

// ---- Tray ------------------------------------------------------------------------------------

// Never keeps a lead byte without its trail byte.
static std::string CutToField(std::string text, size_t limit, UINT codePage = CP_ACP) {
    size_t kept = 0;
    while (kept < text.size()) {
        size_t step = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[kept])) ? 2 : 1;
        if (kept + step > limit || kept + step > text.size()) break;
        kept += step;
    }
    text.resize(kept);
    return text;
}

std::string TrayTipText(const char* connectionName, UINT codePage) {
    if (!connectionName || !*connectionName) return MainTitle;
    return CutToField(std::string(TipPrefix) + connectionName, TrayTipLimit, codePage);
}

static NOTIFYICONDATAA TrayRecord() {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = MainWindow;
    data.uID = TrayIconId;
    return data;
}

// NIM_ADD, or NIM_MODIFY for an icon the shell still shows.
static bool SetTrayIcon(DWORD action) {
    NOTIFYICONDATAA data = TrayRecord();
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = TrayCallbackMessage;
    data.hIcon = MainIcon;
    std::string tip = TrayTipText(Settings.ConnectionName);
    std::memcpy(data.szTip, tip.c_str(), tip.size() + 1);
    return Shell_NotifyIconA(action, &data) != FALSE;
}

// A balloon needs the record's second version, the smallest with its fields (Windows 2000 on);
// the icon itself keeps the first version's record.
static void TellFromTray(TTrayNews news, const char* text) {
    if (!InTray || IsWindowVisible(MainWindow)) return;
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = MainWindow;
    data.uID = TrayIconId;
    data.uFlags = NIF_INFO;
    data.uTimeout = BalloonTimeoutMs;
    data.dwInfoFlags =
        (news == TTrayNews::Connected ? NIIF_INFO : NIIF_WARNING) | NIIF_RESPECT_QUIET_TIME;
    std::string title = CutToField(BalloonTitles[static_cast<size_t>(news)], BalloonTitleLimit);
    // An empty text would take the balloon down instead of showing it.
    std::string body = CutToField(text && *text ? text : MainTitle, BalloonTextLimit);
    std::memcpy(data.szInfoTitle, title.c_str(), title.size() + 1);
    std::memcpy(data.szInfo, body.c_str(), body.size() + 1);
    Shell_NotifyIconA(NIM_MODIFY, &data);
}

// Hidden only once the icon is there: right after logon, or where there is no taskbar, the
// shell refuses it, and a hidden window without an icon could never be brought back.
bool ShrinkToTray() {
    if (!SetTrayIcon(NIM_ADD)) return false;
    ShowWindow(MainWindow, SW_HIDE);
    InTray = true;
    return true;
}

static void RemoveTrayIcon() {
    NOTIFYICONDATAA data = TrayRecord();
    Shell_NotifyIconA(NIM_DELETE, &data);
    InTray = false;
}

// A restarted taskbar knows no icons: add ours again. The message also comes again while the
// icon is still there (a repeated broadcast, a display change), and the add then fails: the
// icon is only brought up to date. The window comes back only if both are refused.
static void OnTaskbarCreated() {
    if (!InTray || SetTrayIcon(NIM_ADD) || SetTrayIcon(NIM_MODIFY)) return;
    InTray = false;
    ShowWindow(MainWindow, SW_SHOWNORMAL);
}

void RestoreFromTray() {
    ShowWindow(MainWindow, SW_SHOWNORMAL);
    SetForegroundWindow(MainWindow);
    if (InTray) RemoveTrayIcon();
}

static void ShowTrayMenu(HWND window) {
    POINT at = {};
    GetCursorPos(&at);
    // Without being foreground first the menu would not close on a click elsewhere, and
    // without the posted message it would not close on the second try.
    SetForegroundWindow(window);
    TrackPopupMenu(TrayMenu, TrayMenuFlags, at.x, at.y, 0, window, nullptr);
    PostMessageA(window, WM_NULL, 0, 0);
}

static void OnTrayNotify(HWND window, LPARAM lParam) {
    if (lParam == WM_LBUTTONUP)
        RestoreFromTray();
    else if (lParam == WM_RBUTTONUP)
        ShowTrayMenu(window);
}

// ---- The command line -------------------------------------------------------------------------

void PostSwitch(TSwitch which) {
    PendingSwitches.push_back(which);
    PostMessageA(MainWindow, SwitchMessage, 0, 0);
}

static bool OnCommand(UINT id);

static void RunSwitch(TSwitch which) {
    switch (which) {
    case TSwitch::Connect: OnCommand(CmdConnect); break;
    case TSwitch::Disconnect: OnCommand(CmdDisconnect); break;
    case TSwitch::Exit:
        // As File | Exit, which a window open over the main window keeps out of reach.
        if (IsWindowEnabled(MainWindow)) OnCommand(CmdExit);
        break;
    case TSwitch::Tray:
        if (!InTray) ShrinkToTray();
        break;
    case TSwitch::Usage: break;
    }
}

static void OnSwitch() {
    if (RunningSwitch || PendingSwitches.empty()) return;
    TSwitch which = PendingSwitches.front();
    PendingSwitches.pop_front();
    RunningSwitch = true;
    RunSwitch(which);
    RunningSwitch = false;
    if (!PendingSwitches.empty()) PostMessageA(MainWindow, SwitchMessage, 0, 0);
}

// A later start from this folder hands its switches over. They are posted, so that its wait
// ends at once even when a command opens the password window or waits for a hang-up.
static LRESULT OnCopyData(const COPYDATASTRUCT* data) {
    std::vector<TSwitch> switches;
    if (!ReadHandover(data, switches)) return FALSE;
    for (TSwitch s : switches)
        PostSwitch(s);
    if (switches.empty()) {
        RestoreFromTray();
        // A window open over the main window (settings, password) is the one to come forward.
        SetForegroundWindow(GetLastActivePopup(MainWindow));
    }
    return TRUE;
}

// ---- Window procedure ---------------------------------------------------------------------------

static void StoreWindowRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    if (IsIconic(window)) {
        // A minimised window reports its icon's place; keep the box it will be restored to.
        // The normal position is relative to the work area.
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        GetWindowPlacement(window, &placement);
        r = placement.rcNormalPosition;
        OffsetRect(&r, WorkArea.left, WorkArea.top);
    }
    Settings.WindowRect = {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

static void OnDestroy(HWND window) {
    KillTimer(window, PollTimerId);
    StoreWindowRect(window);
    if (InTray) RemoveTrayIcon();
    SetReady(false);
    FreeStatusLog();
    if (TrayMenu) DestroyMenu(TrayMenu);
    TrayMenu = nullptr;
    PostQuitMessage(0);
}

static void OnEndSession(HWND window, WPARAM ending) {
    if (!ending) return;
    EndSession();
    KillTimer(window, PollTimerId);
    StoreWindowRect(window);
    SaveSettings();
}

static void OnSize(WPARAM kind, LPARAM lParam) {
    if (!WindowReady || kind != SIZE_RESTORED) return;
    const int32_t w = LOWORD(lParam), h = HIWORD(lParam);
    SetWindowPos(StatusStrip, nullptr, 0, 0, w, IntMax(0, h - ButtonBandHeight),
                 LayoutFlags | SWP_NOMOVE);
    SetWindowPos(ConnectButton, nullptr, w - ConnectBox.Left, h - ConnectBox.Top, 0, 0,
                 LayoutFlags | SWP_NOSIZE);
    SetWindowPos(DisconnectButton, nullptr, w - DisconnectBox.Left, h - DisconnectBox.Top, 0, 0,
                 LayoutFlags | SWP_NOSIZE);
}

static void OnGetMinMaxInfo(MINMAXINFO* info) {
    SIZE minimum = MinimumSize();
    info->ptMinTrackSize.x = minimum.cx;
    info->ptMinTrackSize.y = minimum.cy;
}

static void OnPaint(HWND window) {
    PaintGuard paint(window);
    RECT client = {};
    GetClientRect(window, &client);
    RECT band = {0, client.bottom - ButtonBandHeight, client.right + 1, client.bottom + 1};
    FillRect(paint.Get(), &band, BtnFaceBrush);
}

static bool Usable(HWND button) {
    return button && IsWindowEnabled(button);
}

// Tab alternates between the two buttons, skipping a disabled one.
static void MoveFocus() {
    HWND focus = GetFocus();
    HWND next = nullptr;
    if (focus == ConnectButton)
        next = DisconnectButton;
    else if (focus == DisconnectButton)
        next = ConnectButton;
    else
        next = Usable(ConnectButton) ? ConnectButton : DisconnectButton;
    if (Usable(next)) SetFocus(next);
}

static LRESULT OnKeyDown(WPARAM key) {
    if (key == VK_TAB) MoveFocus();
    // Enter and Escape go on to the focused control; nothing else is processed.
    return key == VK_RETURN || key == VK_ESCAPE ? 1 : 0;
}

static bool OnCommand(UINT id) {
    switch (id) {
    case CmdExit:
        if (CanClose()) DestroyWindow(MainWindow);
        return true;
    case CmdSettings:
        if (HWND settings = CreateSettingsWindow(MainWindow, RefreshConnection))
            if (RunModal(settings, MainWindow) == ModalOk) SettingsAccepted();
        return true;
    case CmdHelpContents:
        WinHelpA(MainWindow, HelpFile.c_str(), HELP_CONTEXT, HelpContextMain);
        return true;
    case CmdAbout:
        if (HWND about = CreateAboutWindow(MainWindow)) RunModal(about, MainWindow);
        return true;
    case CmdConnect: Connect(); return true;
    case CmdDisconnect: Disconnect(); return true;
    case CmdRestore: RestoreFromTray(); return true;
    }
    return false;
}

// The strip's menu: for a right click on the strip (its default procedure hands the request
// up) and for the keyboard's request (x and y -1) anywhere in this window.
static bool OnContextMenu(HWND window, WPARAM target, LPARAM lParam) {
    const int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
    const bool keyboard = x == -1 && y == -1;
    if (!keyboard && reinterpret_cast<HWND>(target) != StatusStrip) return false;
    ShowLogMenu(window, x, y);
    return true;
}

static void OnClose(HWND window) {
    if (!CanClose()) return;
    // Hidden first: destroying a visible foreground window is slow and flickers.
    ShowWindow(window, SW_HIDE);
    DestroyWindow(window);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: OnDestroy(window); return 0;
    case WM_MOVE: ForgetSecondaryMoves(); return 0;
    case WM_SIZE: OnSize(wParam, lParam); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_CLOSE: OnClose(window); return 0;
    case WM_ENDSESSION: OnEndSession(window, wParam); return 0;
    case WM_GETMINMAXINFO: OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam)); return 0;
    case WM_DRAWITEM:
        if (wParam == CmdConnect || wParam == CmdDisconnect)
            DrawImageButton(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return 0;
    case WM_KEYDOWN: return OnKeyDown(wParam);
    case WM_KEYUP:
        // Windows turns a released menu key into WM_CONTEXTMENU by default; Wine does not.
        if (wParam != VK_APPS) break;
        OnContextMenu(window, reinterpret_cast<WPARAM>(window), -1);
        return 0;
    case WM_CONTEXTMENU:
        if (OnContextMenu(window, wParam, lParam)) return 0;
        break;
    case WM_COMMAND:
        if (OnCommand(LOWORD(wParam))) return 0;
        break;
    case WM_SYSCOMMAND:
        // With the icon refused, an ordinary minimise to the taskbar.
        if ((wParam & SysCommandMask) == SC_MINIMIZE && ShrinkToTray()) return 0;
        break;
    // Wheel turns reach the focused button first, which hands them up here; the strip scrolls.
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL: return SendMessageA(StatusStrip, message, wParam, lParam);
    case TrayCallbackMessage: OnTrayNotify(window, lParam); return 0;
    case SwitchMessage: OnSwitch(); return 0;
    case WM_COPYDATA: return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case DialReportMessage:
        OnDialReport(static_cast<RASCONNSTATE>(static_cast<DWORD>(wParam)),
                     static_cast<DWORD>(lParam));
        return 0;
    default:
        if (message == TaskbarCreatedMessage && message != 0) {
            OnTaskbarCreated();
            return 0;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
