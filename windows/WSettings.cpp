#include "windows/WSettings.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/NGdi.h"
#include "controls/NIBtn.h"
#include "ras/NRas.h"
#include "windows/NSecondary.h"

static constexpr char SettingsClassName[] = "TovaneSettingsWndClass";
static constexpr char SettingsCaption[] = "Tovane - Settings";

static constexpr DWORD EntryListStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_AUTOHSCROLL | CBS_DROPDOWNLIST;
// No WS_TABSTOP: the window's own Tab cycle reaches the check boxes anyway.
static constexpr DWORD OptionStyle = WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX;
static_assert(EntryListStyle == 0x50210043 && OptionStyle == 0x50000003);

static constexpr WORD IdOk = IDOK;
static constexpr WORD IdCancel = IDCANCEL;
static constexpr WORD IdHelp = IDHELP;
static_assert(IdOk == 1 && IdCancel == 2 && IdHelp == 9);

// ---- Layout: pixels at 96 dpi, scaled from this base at each set-up ------------------------

static constexpr int LabelCount = 3;
static constexpr int OptionCount = 4;
static constexpr int ButtonCount = 3;

struct TSettingsLayout {
    IntPair WindowSize;
    IntPair Labels[LabelCount];
    WindowBox EntryList; // the height includes the dropped-down list
    WindowBox UserName;
    WindowBox Password;
    // Left, top, right, bottom exactly as DrawEdge gets them: only the top edge is drawn, so
    // this is an etched line at y 91 that deliberately runs past the client area on the right.
    WindowBox Separator;
    WindowBox Options[OptionCount];
    WindowBox Buttons[ButtonCount];
};

static constexpr TSettingsLayout BaseLayout = {
    {359, 153},
    {{4, 4}, {4, 47}, {107, 47}},
    {4, 19, 200, 80},
    {4, 62, 96, 21},
    {107, 62, 96, 21},
    {0, 91, 370, 4},
    {{213, 11, 140, 17}, {213, 30, 140, 17}, {213, 49, 140, 17}, {213, 68, 140, 17}},
    {{110, 99, 75, 25}, {192, 99, 75, 25}, {274, 99, 75, 25}},
};
static TSettingsLayout Layout = BaseLayout;

static constexpr const char* LabelTexts[LabelCount] = {"Connection:", "User name:", "Password:"};

struct Option {
    const char* Text;
    uint8_t SettingsRecord::*Flag;
};
static constexpr Option Options[OptionCount] = {
    {"Simple status messages.", &SettingsRecord::SimpleStatus},
    {"Auto reconnect.", &SettingsRecord::AutoReconnect},
    {"Shrink when connected.", &SettingsRecord::ShrinkWhenConnected},
    {"Tovane always on top.", &SettingsRecord::AlwaysOnTop},
};

struct Button {
    WORD Id;
    const char* Caption;
};
static constexpr Button Buttons[ButtonCount] = {
    {IdOk, "OK"}, {IdCancel, "Cancel"}, {IdHelp, "Help"}};

// ---- The open window ------------------------------------------------------------------------

static LRESULT CALLBACK SettingsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

static TSecondaryWindow State = {SettingsClassName, SettingsProc, {0, 0, 0, 0}};
static void (*EntryChanged)() = nullptr;
static HWND EntryList = nullptr;
static HWND UserNameEdit = nullptr;
static HWND PasswordEdit = nullptr;
static HWND OptionChecks[OptionCount] = {};
static HWND OkButton = nullptr;
static HWND CancelButton = nullptr;
static HWND HelpButton = nullptr;
static HWND* const ButtonWindows[ButtonCount] = {&OkButton, &CancelButton, &HelpButton};

// Tab order, one line a control, round and round.
// clang-format off
static HWND* const TabCycle[] = {
    &EntryList,
    &UserNameEdit,
    &PasswordEdit,
    &OptionChecks[0],
    &OptionChecks[1],
    &OptionChecks[2],
    &OptionChecks[3],
    &OkButton,
    &CancelButton, // also where Shift+Tab starts from outside the cycle
    &HelpButton,
};
// clang-format on

const TSecondaryWindow& SettingsWindowState() {
    return State;
}

// ---- Set-up and creation ------------------------------------------------------------------------

void SetupSettingsWindow() {
    SetupSecondary(State, BaseLayout, Layout);
}

static HWND CreateControl(const char* className, const char* text, DWORD style,
                          const WindowBox& box) {
    HWND control =
        CreateWindowExA(0, className, text, style, box.Left, box.Top, box.Width, box.Height,
                        State.Window, nullptr, GetModuleHandleA(nullptr), nullptr);
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

HWND CreateSettingsWindow(HWND owner, void (*entryChanged)()) {
    HWND window = CreateSecondary(State, owner, SettingsCaption);
    if (!window) return nullptr;
    EntryChanged = entryChanged;

    EntryList = CreateControl("COMBOBOX", "Connection:", EntryListStyle, Layout.EntryList);
    FillEntryList();

    UserNameEdit = CreateCredentialEdit(window, Settings.UserName, false, Layout.UserName);
    PasswordEdit = CreateCredentialEdit(window, Settings.Password, true, Layout.Password);

    for (int i = 0; i < OptionCount; ++i) {
        OptionChecks[i] = CreateControl("BUTTON", Options[i].Text, OptionStyle, Layout.Options[i]);
        if (Settings.*Options[i].Flag) SendMessageA(OptionChecks[i], BM_SETCHECK, BST_CHECKED, 0);
    }
    for (int i = 0; i < ButtonCount; ++i)
        *ButtonWindows[i] =
            CreateImageButton(window, Buttons[i].Id, Buttons[i].Caption, Layout.Buttons[i]);
    return window;
}

// ---- Actions ------------------------------------------------------------------------------------

static void ApplySettings(HWND window) {
    HWND owner = GetWindow(window, GW_OWNER);
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
    if (!sameEntry && EntryChanged) EntryChanged();
    FreeString(oldName);

    SaveSettings();
    CloseSecondary(window, ModalOk);

    // Only once this window is gone: while an owned window exists, Wine moves it into the
    // topmost band in the owner's place and leaves the main window where it was.
    SetWindowPos(owner, Settings.AlwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

// ---- Window procedure ---------------------------------------------------------------------------

static void OnPaint(HWND window) {
    PaintGuard paint(window);
    PaintForm(window, paint.Get(), Layout.Labels, LabelTexts, LabelCount, Layout.Separator);
}

static void OnKeyDown(HWND window, WPARAM key) {
    switch (key) {
    case VK_TAB: MoveTabFocus(TabCycle, GetKeyState(VK_SHIFT) < 0, EntryList, CancelButton); break;
    case VK_RETURN: ApplySettings(window); break;
    case VK_ESCAPE: CloseSecondary(window, ModalCancel); break;
    }
}

static void OnDrawItem(WPARAM id, LPARAM item) {
    if (id == IdOk || id == IdCancel || id == IdHelp)
        DrawImageButton(reinterpret_cast<DRAWITEMSTRUCT*>(item));
}

static LRESULT CALLBACK SettingsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: SecondaryDestroyed(State, window); return 0;
    case WM_MOVE: SecondaryMoved(State); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_CLOSE: CloseSecondary(window, ModalCancel); return 0;
    case WM_DRAWITEM: OnDrawItem(wParam, lParam); return 0;
    case WM_KEYDOWN: OnKeyDown(window, wParam); return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IdOk: ApplySettings(window); return 0;
        case IdCancel: CloseSecondary(window, ModalCancel); return 0;
        case IdHelp:
            WinHelpA(window, HelpFile.c_str(), HELP_CONTEXT, HelpContextSettings);
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
