#include "windows/WPass.h"
#include "common/NGdi.h"

#include "app/WMain.h"
#include "controls/NIBtn.h"

WindowBox PasswordPlace = {0, 0, 213, 109};

static constexpr char PasswordClassName[] = "TovanePasswordWndClass";
static constexpr DWORD PasswordExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
static constexpr DWORD PasswordStyle = WS_CAPTION | WS_SYSMENU;
static constexpr DWORD EditExStyle = WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY;
static constexpr DWORD UserEditStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
static constexpr DWORD PasswordEditStyle = UserEditStyle | ES_PASSWORD;
static constexpr WPARAM EditLimit = 100;
static constexpr uint16_t OkId = 1;
static constexpr uint16_t CancelId = 2;
static constexpr char UserLabelText[] = "User name:";
static constexpr char PasswordLabelText[] = "Password:";

// Pixels at 96 dpi; every box is x, y, width, height except the separator, which is a RECT
// (left, top, right, bottom) of which only the top edge is drawn.
struct TPasswordLayout {
    IntPair WindowSize;
    IntPair UserLabel;
    IntPair PasswordLabel;
    WindowBox UserEdit;
    WindowBox PasswordEdit;
    WindowBox Separator;
    WindowBox OkButton;
    WindowBox CancelButton;
};

static constexpr TPasswordLayout BaseLayout = {
    {213, 109},        {4, 4},          {107, 4},         {4, 19, 96, 21},
    {107, 19, 96, 21}, {0, 47, 370, 4}, {46, 55, 75, 25}, {128, 55, 75, 25},
};
static TPasswordLayout Layout = BaseLayout;

// Valid while the window exists.
static HWND PassWindow = nullptr;
static HWND UserEdit = nullptr;
static HWND PasswordEdit = nullptr;
static HWND OkButton = nullptr;
static HWND CancelButton = nullptr;
static HWND FocusControl = nullptr; // the control that had the focus last

void SetupPasswordWindow() {
    RegisterProgramClass(PasswordClassName, PasswordProc);

    // Derived from the fixed numbers each time, so a second call never scales twice.
    Layout = BaseLayout;
    if (DpiScaling) {
        ScalePoint(Layout.WindowSize, Layout.WindowSize);
        ScalePoint(Layout.UserLabel, Layout.UserLabel);
        ScalePoint(Layout.PasswordLabel, Layout.PasswordLabel);
        for (WindowBox* box : {&Layout.UserEdit, &Layout.PasswordEdit, &Layout.Separator,
                               &Layout.OkButton, &Layout.CancelButton})
            ScaleBox(*box, *box);
    }
    PasswordPlace.Width = Layout.WindowSize.X;
    PasswordPlace.Height = Layout.WindowSize.Y;
}

static HWND CreateEdit(HWND parent, const char* text, DWORD style, const WindowBox& box) {
    HWND edit =
        CreateWindowExA(EditExStyle, "EDIT", text ? text : "", style, box.Left, box.Top, box.Width,
                        box.Height, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(edit, EM_LIMITTEXT, EditLimit, 0);
    SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont), FALSE);
    return edit;
}

static HWND CreateButton(HWND parent, uint16_t id, const char* caption, const WindowBox& box) {
    return CreateImageButton(parent, id, caption, box.Left, box.Top, box.Width, box.Height,
                             ImageButtonStyle, GuiFont);
}

static void FocusOn(HWND control) {
    FocusControl = control;
    SetFocus(control);
}

HWND CreatePasswordWindow() {
    if (!PasswordMoved) AlignToOwner(MainWindow, PasswordPlace);
    ClampToWorkArea(PasswordPlace);

    std::string caption = "Tovane - ";
    if (Settings.ConnectionName) caption += Settings.ConnectionName;
    caption += " password";

    PassWindow = CreateWindowExA(PasswordExStyle, PasswordClassName, caption.c_str(), PasswordStyle,
                                 PasswordPlace.Left, PasswordPlace.Top, PasswordPlace.Width,
                                 PasswordPlace.Height, MainWindow, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    if (!PassWindow) return nullptr;

    HMENU system = GetSystemMenu(PassWindow, FALSE);
    for (UINT command : {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE})
        DeleteMenu(system, command, MF_BYCOMMAND);

    UserEdit = CreateEdit(PassWindow, Settings.UserName, UserEditStyle, Layout.UserEdit);
    PasswordEdit =
        CreateEdit(PassWindow, Settings.Password, PasswordEditStyle, Layout.PasswordEdit);
    OkButton = CreateButton(PassWindow, OkId, "OK", Layout.OkButton);
    CancelButton = CreateButton(PassWindow, CancelId, "Cancel", Layout.CancelButton);
    FocusOn(PasswordEdit);
    return PassWindow;
}

// The owner is enabled before the window goes, so activation returns to the main window and
// not to some other program's window.
static void Close(int result) {
    EndModal(result, MainWindow);
    DestroyWindow(PassWindow);
}

void ApplyPassword() {
    ReplaceString(Settings.UserName, ControlText(UserEdit));
    if (char* password = ControlText(PasswordEdit)) {
        WipeString(SessionPassword);
        SessionPassword = password;
    }
    Close(ModalOk);
}

// Tab: user name, password, OK, Cancel and round; Shift+Tab the other way round. From
// anywhere else both go to the password edit.
static void MoveFocus(bool backwards) {
    const HWND cycle[] = {UserEdit, PasswordEdit, OkButton, CancelButton};
    constexpr int count = sizeof cycle / sizeof cycle[0];
    HWND focus = GetFocus();
    HWND next = PasswordEdit;
    for (int i = 0; i < count; ++i) {
        if (cycle[i] != focus) continue;
        next = cycle[(i + (backwards ? count - 1 : 1)) % count];
        break;
    }
    FocusOn(next);
}

static void OnPaint(HWND window) {
    PaintGuard paint(window);
    HDC dc = paint.Get();
    FillClientFace(window, dc);
    {
        SelectGuard font(dc, GuiFont);
        SetBkColor(dc, ColorBtnFace);
        SetTextColor(dc, ColorBtnText);
        SetBkMode(dc, OPAQUE);
        ExtTextOutA(dc, Layout.UserLabel.X, Layout.UserLabel.Y, 0, nullptr, UserLabelText,
                    sizeof UserLabelText - 1, nullptr);
        ExtTextOutA(dc, Layout.PasswordLabel.X, Layout.PasswordLabel.Y, 0, nullptr,
                    PasswordLabelText, sizeof PasswordLabelText - 1, nullptr);
        RECT line = {Layout.Separator.Left, Layout.Separator.Top, Layout.Separator.Width,
                     Layout.Separator.Height};
        DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
    }
}

static void OnDestroy(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    PasswordPlace = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    PassWindow = UserEdit = PasswordEdit = OkButton = CancelButton = FocusControl = nullptr;
}

static bool IsOurControl(HWND control) {
    return control && (control == UserEdit || control == PasswordEdit || control == OkButton ||
                       control == CancelButton);
}

// A plain window gets the focus itself when it is activated again; hand it back to the
// control that had it, so typing after switching programs goes where it went before.
static void OnActivate(WPARAM state) {
    if (LOWORD(state) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (IsOurControl(focus)) FocusControl = focus;
    }
}

static void OnSetFocus() {
    if (IsOurControl(FocusControl)) SetFocus(FocusControl);
}

static void OnKeyDown(WPARAM key) {
    switch (key) {
    case VK_TAB: MoveFocus(GetKeyState(VK_SHIFT) < 0); break;
    case VK_RETURN: ApplyPassword(); break;
    case VK_ESCAPE: Close(ModalCancel); break;
    }
}

LRESULT CALLBACK PasswordProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: OnDestroy(window); return 0;
    case WM_MOVE: PasswordMoved = true; return 0;
    case WM_ACTIVATE: OnActivate(wParam); break;
    case WM_SETFOCUS: OnSetFocus(); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_CLOSE: Close(ModalCancel); return 0;
    case WM_DRAWITEM:
        if (wParam == OkId || wParam == CancelId)
            DrawImageButton(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return 0;
    case WM_KEYDOWN: OnKeyDown(wParam); return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == OkId) {
            ApplyPassword();
            return 0;
        }
        if (LOWORD(wParam) == CancelId) {
            Close(ModalCancel);
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
