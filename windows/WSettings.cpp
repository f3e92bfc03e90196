#include "windows/WSettings.h"
#include "common/NGdi.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/NConnection.h"
#include "app/WMain.h"
#include "controls/NIBtn.h"
#include "ras/NRas.h"

static constexpr char SettingsClassName[] = "TovaneSettingsWndClass";
static constexpr char SettingsCaption[] = "Tovane - Settings";
static constexpr DWORD SettingsExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
static constexpr DWORD SettingsStyle = WS_CAPTION | WS_SYSMENU; // built hidden
static_assert(SettingsExStyle == 0x00010001 && SettingsStyle == 0x00C80000);

static constexpr DWORD EntryListStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_AUTOHSCROLL | CBS_DROPDOWNLIST;
static constexpr DWORD EditStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
static constexpr DWORD EditExStyle = WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY;
// No WS_TABSTOP: the window's own Tab cycle reaches the check boxes anyway.
static constexpr DWORD OptionStyle = WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX;
static_assert(EntryListStyle == 0x50210043 && EditStyle == 0x50010080 &&
              (EditStyle | ES_PASSWORD) == 0x500100A0 && EditExStyle == 0x204 &&
              OptionStyle == 0x50000003);

static constexpr WORD IdOk = IDOK;
static constexpr WORD IdCancel = IDCANCEL;
static constexpr WORD IdHelp = IDHELP;
static_assert(IdOk == 1 && IdCancel == 2 && IdHelp == 9);

static constexpr int CredentialLimit = 100; // characters in each edit

// ---- Layout: pixels at 96 dpi until SetupSettingsWindow scales them once ----------------

WindowBox SettingsPlace = {0, 0, 359, 153};

struct Label {
    IntPair At;
    const char* Text;
};
static Label Labels[] = {
    {{4, 4}, "Connection:"},
    {{4, 47}, "User name:"},
    {{107, 47}, "Password:"},
};

static WindowBox EntryListBox = {4, 19, 200, 80}; // the height includes the dropped-down list
static WindowBox UserNameBox = {4, 62, 96, 21};
static WindowBox PasswordBox = {107, 62, 96, 21};
// Left, top, right, bottom exactly as DrawEdge gets them: only the top edge is drawn, so this
// is an etched line at y 91 that deliberately runs past the client area on the right.
static WindowBox SeparatorEdge = {0, 91, 370, 4};

struct Option {
    const char* Text;
    uint8_t SettingsRecord::*Flag;
    WindowBox Box;
};
static constexpr int OptionCount = 4;
static Option Options[OptionCount] = {
    {"Simple status messages.", &SettingsRecord::SimpleStatus, {213, 11, 140, 17}},
    {"Auto reconnect.", &SettingsRecord::AutoReconnect, {213, 30, 140, 17}},
    {"Shrink when connected.", &SettingsRecord::ShrinkWhenConnected, {213, 49, 140, 17}},
    {"Tovane always on top.", &SettingsRecord::AlwaysOnTop, {213, 68, 140, 17}},
};

struct Button {
    WORD Id;
    const char* Caption;
    WindowBox Box;
};
static Button Buttons[] = {
    {IdOk, "OK", {110, 99, 75, 25}},
    {IdCancel, "Cancel", {192, 99, 75, 25}},
    {IdHelp, "Help", {274, 99, 75, 25}},
};
static constexpr int ButtonCount = sizeof Buttons / sizeof Buttons[0];

// ---- The open window ------------------------------------------------------------------------

static HWND SettingsWindow = nullptr;
static HWND EntryList = nullptr;
static HWND UserNameEdit = nullptr;
static HWND PasswordEdit = nullptr;
static HWND OptionChecks[OptionCount] = {};
static HWND ButtonWindows[ButtonCount] = {};
static HWND LastTabbed = nullptr; // the control that last received the focus through Tab

// ---- Small GDI guards -------------------------------------------------------------------------

// ---- Set-up and creation ------------------------------------------------------------------------

static LRESULT CALLBACK SettingsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

static void ScaleLayout() {
    IntPair size = {SettingsPlace.Width, SettingsPlace.Height};
    ScalePoint(size, size);
    SettingsPlace.Width = size.X;
    SettingsPlace.Height = size.Y;
    for (Label& label : Labels)
        ScalePoint(label.At, label.At);
    for (WindowBox* box : {&EntryListBox, &UserNameBox, &PasswordBox, &SeparatorEdge})
        ScaleBox(*box, *box);
    for (Option& option : Options)
        ScaleBox(option.Box, option.Box);
    for (Button& button : Buttons)
        ScaleBox(button.Box, button.Box);
}

void SetupSettingsWindow() {
    // The layout is scaled in place: a second set-up would scale it twice.
    static bool done = false;
    if (done) return;
    done = true;

    RegisterProgramClass(SettingsClassName, SettingsProc);
    if (DpiScaling) ScaleLayout();
}

static HWND CreateControl(DWORD exStyle, const char* className, const char* text, DWORD style,
                          const WindowBox& box) {
    HWND control =
        CreateWindowExA(exStyle, className, text, style, box.Left, box.Top, box.Width, box.Height,
                        SettingsWindow, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont), FALSE);
    return control;
}

// Lists the phone-book entries in the service's order and selects the stored one, or the first.
static void FillEntryList() {
    std::vector<RASENTRYNAMEA> entries(RasListCapacity);
    entries[0].dwSize = sizeof(RASENTRYNAMEA);
    DWORD bytes = static_cast<DWORD>(sizeof(RASENTRYNAMEA) * entries.size());
    DWORD count = 0;
    if (RasApi.RasEnumEntriesA(nullptr, nullptr, entries.data(), &bytes, &count) != 0) return;
    // A service that claims more entries than it had room for must not make us read past the
    // array, nor may a name without its terminator run into the next record.
    if (count > entries.size()) count = static_cast<DWORD>(entries.size());
    LRESULT selected = 0;
    for (DWORD i = 0; i < count; ++i) {
        const char* field = entries[i].szEntryName;
        std::string name(field, strnlen(field, sizeof entries[i].szEntryName));
        LRESULT at =
            SendMessageA(EntryList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        if (at >= 0 && Settings.ConnectionName && name == Settings.ConnectionName) selected = at;
    }
    if (SendMessageA(EntryList, CB_GETCOUNT, 0, 0) > 0)
        SendMessageA(EntryList, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

static HWND CreateEdit(const char* text, DWORD extraStyle, const WindowBox& box) {
    HWND edit = CreateControl(EditExStyle, "EDIT", text ? text : "", EditStyle | extraStyle, box);
    SendMessageA(edit, EM_LIMITTEXT, CredentialLimit, 0);
    return edit;
}

HWND CreateSettingsWindow() {
    // One instance: a second settings command while the window is open opens nothing.
    if (SettingsWindow && IsWindow(SettingsWindow)) return nullptr;

    if (!SettingsMoved) AlignToOwner(MainWindow, SettingsPlace);
    ClampToWorkArea(SettingsPlace);
    const WindowBox place = SettingsPlace;
    SettingsWindow = CreateWindowExA(
        SettingsExStyle, SettingsClassName, SettingsCaption, SettingsStyle, place.Left, place.Top,
        place.Width, place.Height, MainWindow, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!SettingsWindow) return nullptr;

    HMENU systemMenu = GetSystemMenu(SettingsWindow, FALSE);
    for (UINT command : {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE})
        DeleteMenu(systemMenu, command, MF_BYCOMMAND);

    EntryList = CreateControl(0, "COMBOBOX", "Connection:", EntryListStyle, EntryListBox);
    FillEntryList();

    UserNameEdit = CreateEdit(Settings.UserName, 0, UserNameBox);
    PasswordEdit = CreateEdit(Settings.Password, ES_PASSWORD, PasswordBox);

    for (int i = 0; i < OptionCount; ++i) {
        OptionChecks[i] = CreateControl(0, "BUTTON", Options[i].Text, OptionStyle, Options[i].Box);
        if (Settings.*Options[i].Flag) SendMessageA(OptionChecks[i], BM_SETCHECK, BST_CHECKED, 0);
    }

    for (int i = 0; i < ButtonCount; ++i) {
        const WindowBox& box = Buttons[i].Box;
        ButtonWindows[i] =
            CreateImageButton(SettingsWindow, Buttons[i].Id, Buttons[i].Caption, box.Left, box.Top,
                              box.Width, box.Height, ImageButtonStyle, GuiFont);
    }
    LastTabbed = nullptr;
    return SettingsWindow;
}

// ---- Actions ------------------------------------------------------------------------------------

static void ApplySettings(HWND window) {
    EndModal(ModalOk, MainWindow);

    char* oldName = Settings.ConnectionName;
    Settings.ConnectionName = ControlText(EntryList);
    ReplaceString(Settings.UserName, ControlText(UserNameEdit));
    char* password = ControlText(PasswordEdit);
    WipeString(Settings.Password);
    Settings.Password = password;
    for (int i = 0; i < OptionCount; ++i)
        Settings.*Options[i].Flag = SendMessageA(OptionChecks[i], BM_GETCHECK, 0, 0) != 0 ? 1 : 0;

    bool sameEntry =
        oldName && Settings.ConnectionName && std::strcmp(oldName, Settings.ConnectionName) == 0;
    if (!sameEntry) RefreshConnection();
    FreeString(oldName);

    SaveSettings();
    DestroyWindow(window);

    // Only once this window is gone: while an owned window exists, Wine moves it into the
    // topmost band in the owner's place and leaves the main window where it was.
    SetWindowPos(MainWindow, Settings.AlwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

// Cancel, Escape and the close box. The owner is enabled before this window goes, so that the
// system hands activation back to the main window instead of to some other program.
static void CancelSettings(HWND window) {
    EndModal(ModalCancel, MainWindow);
    DestroyWindow(window);
}

// Tab order: entry list, both edits, the four check boxes, OK, Cancel, Help, and round again.
static void MoveFocus(bool backwards) {
    HWND cycle[] = {EntryList,        UserNameEdit,    PasswordEdit,    OptionChecks[0],
                    OptionChecks[1],  OptionChecks[2], OptionChecks[3], ButtonWindows[0],
                    ButtonWindows[1], ButtonWindows[2]};
    constexpr int count = sizeof cycle / sizeof cycle[0];
    constexpr int cancelAt = 8; // where Shift+Tab starts when no control has the focus
    HWND focus = GetFocus();
    int at = -1;
    for (int i = 0; i < count; ++i)
        if (cycle[i] == focus) at = i;
    int next = at < 0 ? (backwards ? cancelAt : 0) : (at + (backwards ? count - 1 : 1)) % count;
    LastTabbed = cycle[next];
    SetFocus(LastTabbed);
}

// ---- Window procedure ---------------------------------------------------------------------------

static void OnDestroy(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    SettingsPlace = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    SettingsWindow = nullptr;
}

static void OnPaint(HWND window) {
    PaintGuard paint(window);
    HDC dc = paint.Get();
    FillClientFace(window, dc);
    {
        SelectGuard font(dc, GuiFont);
        SetBkColor(dc, ColorBtnFace);
        SetTextColor(dc, ColorBtnText);
        for (const Label& label : Labels)
            ExtTextOutA(dc, label.At.X, label.At.Y, 0, nullptr, label.Text,
                        static_cast<UINT>(std::strlen(label.Text)), nullptr);
        RECT edge = {SeparatorEdge.Left, SeparatorEdge.Top, SeparatorEdge.Width,
                     SeparatorEdge.Height};
        DrawEdge(dc, &edge, EDGE_ETCHED, BF_TOP);
    }
}

static void OnKeyDown(HWND window, WPARAM key) {
    switch (key) {
    case VK_TAB: MoveFocus(GetKeyState(VK_SHIFT) < 0); break;
    case VK_RETURN: ApplySettings(window); break;
    case VK_ESCAPE: CancelSettings(window); break;
    }
}

static void OnDrawItem(WPARAM id, LPARAM item) {
    if (id == IdOk || id == IdCancel || id == IdHelp)
        DrawImageButton(reinterpret_cast<DRAWITEMSTRUCT*>(item));
}

static LRESULT CALLBACK SettingsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: OnDestroy(window); return 0;
    case WM_MOVE: SettingsMoved = true; return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_CLOSE: CancelSettings(window); return 0;
    case WM_DRAWITEM: OnDrawItem(wParam, lParam); return 0;
    case WM_KEYDOWN: OnKeyDown(window, wParam); return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IdOk: ApplySettings(window); return 0;
        case IdCancel: CancelSettings(window); return 0;
        case IdHelp:
            WinHelpA(window, HelpFile.c_str(), HELP_CONTEXT, HelpContextSettings);
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
