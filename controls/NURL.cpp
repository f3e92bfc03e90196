#include "controls/NURL.h"

#include <cstring>
#include <new>

#include "common/NCommon.h"
#include "common/NGdi.h"

static constexpr DWORD LinkExStyle = WS_EX_NOPARENTNOTIFY;
static constexpr DWORD LinkStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
static constexpr UINT SizeOnlyFlags =
    SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_NOCOPYBITS;

static LRESULT CALLBACK LinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

static LinkRecord* RecordOf(HWND window) {
    return reinterpret_cast<LinkRecord*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void RegisterLinkControl() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = LinkProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = HandCursor;
    wc.lpszClassName = LinkClassName;
    RegisterClassA(&wc);
}

HWND CreateLinkControl(HWND parent, int32_t x, int32_t y, const char* text, HFONT font,
                       COLORREF color) {
    if (!text) text = "";
    auto* record = new (std::nothrow) LinkRecord{text, font, color};
    if (!record) return nullptr;
    HWND control = CreateWindowExA(LinkExStyle, LinkClassName, nullptr, LinkStyle, x, y, 1, 1,
                                   parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!control) {
        delete record; // no WM_DESTROY will come to free it
        return nullptr;
    }
    SetWindowLongPtrA(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));

    SIZE size = {};
    {
        WindowDC dc(control);
        SelectGuard selected(dc.Get(), font);
        GetTextExtentPoint32A(dc.Get(), text, static_cast<int>(std::strlen(text)), &size);
    }
    SetWindowPos(control, nullptr, x, y, size.cx, size.cy, SizeOnlyFlags);
    return control;
}

static void OnPaint(HWND window) {
    PaintGuard paint(window);
    HDC dc = paint.Get();
    if (const LinkRecord* record = RecordOf(window)) {
        SelectGuard selected(dc, record->Font);
        SetTextColor(dc, record->Color);
        SetBkColor(dc, ColorBtnFace);
        // Opaque cells: the text covers the whole control, so erasing is never needed.
        ExtTextOutA(dc, 0, 0, 0, nullptr, record->Text,
                    static_cast<UINT>(std::strlen(record->Text)), nullptr);
    }
    // The text has just covered the focus rectangle: put it back while focused, or the
    // inverting draw at kill-focus would leave one behind on an unfocused link.
    if (GetFocus() == window) {
        RECT r;
        GetClientRect(window, &r);
        DrawFocusRect(dc, &r);
    }
}

// DrawFocusRect inverts, so the same call shows the rectangle and takes it away again.
static void ToggleFocusRect(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    WindowDC dc(window);
    DrawFocusRect(dc.Get(), &r);
}

static void OpenLink(HWND window) {
    if (const LinkRecord* record = RecordOf(window)) OpenWebPage(record->Text);
}

static void OnDestroy(HWND window) {
    delete RecordOf(window);
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
}

static LRESULT CALLBACK LinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: OnDestroy(window); return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: ToggleFocusRect(window); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_ERASEBKGND: return 0;
    case WM_GETDLGCODE: return DLGC_WANTCHARS;
    case WM_CHAR:
        if (wParam == ' ') OpenLink(window);
        return 0;
    case WM_LBUTTONUP: OpenLink(window); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
