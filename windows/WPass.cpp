#include "windows/WPass.h"

#include <string>

#include "common/NGdi.h"
#include "controls/NIBtn.h"

static constexpr char PasswordClassName[] = "TovanePasswordWndClass";
static constexpr uint16_t OkId = 1;
static constexpr uint16_t CancelId = 2;
static constexpr int LabelCount = 2;
static constexpr const char* LabelTexts[LabelCount] = {"User name:", "Password:"};

// Pixels at 96 dpi; every box is x, y, width, height except the separator, which is a RECT
// (left, top, right, bottom) of which only the top edge is drawn.
struct TPasswordLayout {
    IntPair WindowSize;
    IntPair Labels[LabelCount];
    WindowBox UserEdit;
    WindowBox PasswordEdit;
    WindowBox Separator;
    WindowBox OkButton;
    WindowBox CancelButton;
};

static constexpr TPasswordLayout BaseLayout = {
    {213, 109},      {{4, 4}, {107, 4}}, {4, 19, 96, 21},   {107, 19, 96, 21},
    {0, 47, 370, 4}, {46, 55, 75, 25},   {128, 55, 75, 25},
};
static TPasswordLayout Layout = BaseLayout;

static LRESULT CALLBACK PasswordProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
static TSecondaryWindow State = {PasswordClassName, PasswordProc, {0, 0, 0, 0}};

// Valid while the window exists.
static HWND UserEdit = nullptr;
static HWND PasswordEdit = nullptr;
static HWND OkButton = nullptr;
static HWND CancelButton = nullptr;
static HWND FocusControl = nullptr; // the control that had the focus last

// Tab order, one line a control, round and round.
// clang-format off
static HWND* const TabCycle[] = {
    &UserEdit,
    &PasswordEdit, // also where Tab starts from outside the cycle
    &OkButton,
    &CancelButton,
};
// clang-format on

const TSecondaryWindow& PasswordWindowState() {
    return State;
}

void SetupPasswordWindow() {
    SetupSecondary(State, BaseLayout, Layout);
}

static void FocusOn(HWND control) {
    FocusControl = control;
    SetFocus(control);
}

HWND CreatePasswordWindow(HWND owner) {
    std::string caption = "Tovane - ";
    if (Settings.ConnectionName) caption += Settings.ConnectionName;
    caption += " password";

    HWND window = CreateSecondary(State, owner, caption.c_str());
    if (!window) return nullptr;

    UserEdit = CreateCredentialEdit(window, Settings.UserName, false, Layout.UserEdit);
    PasswordEdit = CreateCredentialEdit(window, Settings.Password, true, Layout.PasswordEdit);
    OkButton = CreateImageButton(window, OkId, "OK", Layout.OkButton);
    CancelButton = CreateImageButton(window, CancelId, "Cancel", Layout.CancelButton);
    FocusOn(PasswordEdit);
    return window;
}

// The OK action: store, end the modal loop with 1, destroy.
static void ApplyPassword(HWND window) {
    ReplaceString(Settings.UserName, ControlText(UserEdit));
    if (char* password = ControlText(PasswordEdit)) {
        WipeString(SessionPassword);
        SessionPassword = password;
    }
    CloseSecondary(window, ModalOk);
}

static void OnPaint(HWND window) {
    PaintGuard paint(window);
    PaintForm(window, paint.Get(), Layout.Labels, LabelTexts, LabelCount, Layout.Separator);
}

static void OnDestroy(HWND window) {
    SecondaryDestroyed(State, window);
    UserEdit = PasswordEdit = OkButton = CancelButton = FocusControl = nullptr;
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

// Tab and Shift+Tab walk the cycle; from anywhere else both go to the password edit.
static void OnKeyDown(HWND window, WPARAM key) {
    switch (key) {
    case VK_TAB:
        FocusControl =
            MoveTabFocus(TabCycle, GetKeyState(VK_SHIFT) < 0, PasswordEdit, PasswordEdit);
        break;
    case VK_RETURN: ApplyPassword(window); break;
    case VK_ESCAPE: CloseSecondary(window, ModalCancel); break;
    }
}

static LRESULT CALLBACK PasswordProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: OnDestroy(window); return 0;
    case WM_MOVE: SecondaryMoved(State); return 0;
    case WM_ACTIVATE: OnActivate(wParam); break;
    case WM_SETFOCUS: OnSetFocus(); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_CLOSE: CloseSecondary(window, ModalCancel); return 0;
    case WM_DRAWITEM:
        if (wParam == OkId || wParam == CancelId)
            DrawImageButton(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return 0;
    case WM_KEYDOWN: OnKeyDown(window, wParam); return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == OkId) {
            ApplyPassword(window);
            return 0;
        }
        if (LOWORD(wParam) == CancelId) {
            CloseSecondary(window, ModalCancel);
            return 0;
        }
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
