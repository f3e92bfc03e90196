#include "controls/NIBtn.h"

#include "common/NAccess.h"
#include "common/NCommon.h"
#include "common/NGdi.h"

static constexpr char ImageButtonClass[] = "TovaneIBTNClass";
static constexpr DWORD ImageButtonForcedStyle = WS_CHILD | BS_OWNERDRAW;
static constexpr int CaptionBufferSize = 250;
static constexpr int CaptionLimit = 240; // GetWindowTextA keeps one for the zero: 239 characters
static constexpr int FocusInset = 5;
static constexpr UINT MeasureFlags = DT_CALCRECT | DT_NOCLIP | DT_SINGLELINE;
static constexpr UINT CaptionFlags = DT_NOCLIP | DT_SINGLELINE;
static constexpr COLORREF EnabledTextColor = RGB(0, 0, 0);

// The system button's procedure, as GetClassInfoA reported it; set once at registration.
static WNDPROC SystemButtonProc = nullptr;

void RegisterImageButton() {
    WNDCLASSA wc = {};
    GetClassInfoA(nullptr, "BUTTON", &wc);
    SystemButtonProc = wc.lpfnWndProc;
    wc.lpfnWndProc = ImageButtonProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = ImageButtonClass;
    RegisterClassA(&wc);
}

HWND CreateImageButton(HWND parent, uint16_t id, const char* caption, int32_t x, int32_t y,
                       int32_t width, int32_t height, DWORD style, HFONT font) {
    HWND button = CreateWindowExA(WS_EX_NOPARENTNOTIFY, ImageButtonClass, caption,
                                  style | ImageButtonForcedStyle, x, y, width, height, parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                  GetModuleHandleA(nullptr), nullptr);
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    return button;
}

HWND CreateImageButton(HWND parent, uint16_t id, const char* caption, const WindowBox& box) {
    return CreateImageButton(parent, id, caption, box.Left, box.Top, box.Width, box.Height,
                             ImageButtonStyle, GuiFont);
}

LRESULT CALLBACK ImageButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        // The drawing covers every pixel; erasing first would only flicker.
        return 0;
    case WM_LBUTTONDBLCLK:
        // An owner-drawn system button reports a quick second click as BN_DOUBLECLICKED;
        // here it is a press like any other.
        return CallWindowProcA(SystemButtonProc, window, WM_LBUTTONDOWN, wParam, lParam);
    case WM_GETOBJECT:
        if (LRESULT answer = AnswerButtonObject(window, wParam, lParam)) return answer;
        break;
    case WM_KEYUP:
        // Windows turns a released menu key into WM_CONTEXTMENU by default, which goes on to
        // the owner; Wine does not.
        if (wParam != VK_APPS) break;
        SendMessageA(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), -1);
        return 0;
    }
    return CallWindowProcA(SystemButtonProc, window, message, wParam, lParam);
}

static void Line3(HDC dc, int x0, int y0, int x1, int y1, int x2, int y2) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
    LineTo(dc, x2, y2);
}

static bool HasTabStop(HWND button) {
    return (GetWindowLongA(button, GWL_STYLE) & WS_TABSTOP) != 0;
}

static void DrawFocusInset(HDC dc, RECT box) {
    InflateRect(&box, -FocusInset, -FocusInset);
    DrawFocusRect(dc, &box);
}

// The etched recess, the black outline and the raised or sunken face. Pressed faces move
// rcItem one pixel right and down so the caption and focus rectangle sink with them.
static void DrawFrame(HDC dc, RECT& box, bool pressed) {
    const int r = box.right, b = box.bottom;
    Rectangle(dc, 1, 1, r - 1, b - 1);

    GdiObject<HPEN> shadow(CreatePen(PS_SOLID, 1, ColorBtnShadow));
    GdiObject<HPEN> highlight(CreatePen(PS_SOLID, 1, ColorBtnHighlight));
    {
        SelectGuard pen(dc, shadow.Get());
        Line3(dc, 0, b - 1, 0, 0, r, 0);
        if (pressed)
            Line3(dc, 2, b - 3, 2, 2, r - 2, 2);
        else
            Line3(dc, 2, b - 3, r - 3, b - 3, r - 3, 1);
    }
    SelectGuard pen(dc, highlight.Get());
    Line3(dc, 1, b - 1, r - 1, b - 1, r - 1, 0);
    if (pressed)
        OffsetRect(&box, 1, 1);
    else
        Line3(dc, 2, b - 4, 2, 2, r - 3, 2);
}

static void DrawCaption(HDC dc, const RECT& box, const char* caption, int length, UINT state) {
    int oldMode = SetBkMode(dc, TRANSPARENT);
    RECT text = box;
    DrawTextA(dc, caption, length, &text, MeasureFlags);
    OffsetRect(&text, (box.right - text.right) / 2, (box.bottom - text.bottom) / 2);

    COLORREF oldColor;
    if (state == ODS_DISABLED) {
        // Embossed: a highlight copy one pixel down and right, the shadow copy on top.
        oldColor = SetTextColor(dc, ColorBtnHighlight);
        OffsetRect(&text, 1, 1);
        DrawTextA(dc, caption, length, &text, CaptionFlags);
        SetTextColor(dc, ColorBtnShadow);
        OffsetRect(&text, -1, -1);
        DrawTextA(dc, caption, length, &text, CaptionFlags);
    } else {
        oldColor = SetTextColor(dc, EnabledTextColor);
        DrawTextA(dc, caption, length, &text, CaptionFlags);
    }
    SetTextColor(dc, oldColor);
    SetBkMode(dc, oldMode);
}

void DrawImageButton(DRAWITEMSTRUCT* item) {
    HDC dc = item->hDC;
    if (item->itemAction & (ODA_DRAWENTIRE | ODA_SELECT)) {
        char caption[CaptionBufferSize];
        int length = GetWindowTextA(item->hwndItem, caption, CaptionLimit);
        {
            SelectGuard brush(dc, GetSysColorBrush(COLOR_BTNFACE));
            SelectGuard pen(dc, GetStockObject(BLACK_PEN));
            DrawFrame(dc, item->rcItem, (item->itemState & ODS_SELECTED) != 0);
        }
        DrawCaption(dc, item->rcItem, caption, length, item->itemState);
        if ((item->itemState & ODS_FOCUS) && HasTabStop(item->hwndItem))
            DrawFocusInset(dc, item->rcItem);
    }
    // DrawFocusRect inverts, so drawing it again when focus leaves takes it away.
    if ((item->itemAction & ODA_FOCUS) && HasTabStop(item->hwndItem))
        DrawFocusInset(dc, item->rcItem);
}
