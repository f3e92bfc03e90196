#include "app/WStatus.h"

#include <cassert>
#include <cstring>

#include "app/NStatusLog.h"
#include "common/NAccess.h"
#include "common/NCommon.h"
#include "common/NGdi.h"

HWND StatusStrip = nullptr;
int32_t LineHeight = 13;
int32_t TopLine = 0;
int32_t ScrollX = 0;
int32_t VisibleLines = 0;
int32_t ViewWidth = 0;

static constexpr char StatusClassName[] = "TovaneStatusWndClass";
static constexpr int32_t HorizontalSlack = 10; // room right of the widest line
static constexpr int32_t TextLeft = 4;
static constexpr int32_t TextTop = 2;
static constexpr int32_t ClipRightInset = 5;
static constexpr int32_t ClipBottomInset = 1;

static DWORD LogThread = 0; // the window thread, the only one allowed to append
static bool StripReady = false;

// ---- Drawing ------------------------------------------------------------------------------

void PaintStatusStrip(HDC target) {
    RECT client = {};
    GetClientRect(StatusStrip, &client);
    const int32_t w = client.right, h = client.bottom;
    if (w <= 0 || h <= 0) return;

    // Composed off-screen and copied in one go, so lines arriving quickly do not flicker.
    MemoryDC memory(target);
    HDC dc = memory.Get();
    GdiObject<HBITMAP> image(
        CreateBitmap(w, h, GetDeviceCaps(dc, PLANES), GetDeviceCaps(dc, BITSPIXEL), nullptr));
    if (!dc || !image.Get()) return;
    SelectGuard selected(dc, image.Get());
    RECT fill = {0, 0, w + 1, h + 1};
    FillRect(dc, &fill, BtnFaceBrush);
    {
        SelectGuard font(dc, GuiFont);
        COLORREF oldBack = SetBkColor(dc, ColorBtnFace);
        COLORREF oldText = SetTextColor(dc, ColorBtnText);
        RECT clip = {0, 0, w - ClipRightInset, h - ClipBottomInset};
        int32_t line = TopLine > 0 ? TopLine : 0;
        const int32_t count = StatusLineCount();
        for (int32_t y = TextTop; line < count && y < h - ClipBottomInset; y += LineHeight) {
            const char* text = StatusLineText(line++);
            ExtTextOutA(dc, TextLeft - ScrollX, y, ETO_CLIPPED, &clip, text,
                        static_cast<UINT>(std::strlen(text)), nullptr);
        }
        SetTextColor(dc, oldText);
        SetBkColor(dc, oldBack);
    }
    BitBlt(target, 0, 0, w, h, dc, 0, 0, SRCCOPY);
}

// ---- Scroll bars ---------------------------------------------------------------------------

static int32_t ClampPosition(int32_t position, int32_t range, int32_t page) {
    return IntMax(IntMin(position, range - IntMax(page - 1, 0)), 0);
}

// The bars are redrawn with the next frame paint rather than at once: an immediate redraw costs
// milliseconds on some systems, four times per append, while the text itself is drawn directly.
static void SetBar(int bar, int32_t range, int32_t page, int32_t position) {
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = range;
    si.nPage = static_cast<UINT>(page > 0 ? page : 0);
    si.nPos = position;
    SetScrollInfo(StatusStrip, bar, &si, FALSE);
}

// Invalidates the non-client part only (bars and edge); the client is painted by the caller.
static void InvalidateBars() {
    RECT outer = {};
    GetWindowRect(StatusStrip, &outer);
    MapWindowPoints(nullptr, StatusStrip, reinterpret_cast<POINT*>(&outer), 2);
    RECT client = {};
    GetClientRect(StatusStrip, &client);
    Region frame(CreateRectRgnIndirect(&outer));
    Region inside(CreateRectRgnIndirect(&client));
    CombineRgn(frame.Get(), frame.Get(), inside.Get(), RGN_DIFF);
    RedrawWindow(StatusStrip, nullptr, frame.Get(), RDW_INVALIDATE | RDW_FRAME | RDW_NOCHILDREN);
}

void UpdateStatusScrollBars(bool follow) {
    RECT client = {};
    GetClientRect(StatusStrip, &client);

    VisibleLines = LineHeight > 0 ? client.bottom / LineHeight : 0;
    const int32_t count = StatusLineCount();
    int32_t top = follow ? count - VisibleLines + 1 : TopLine;
    TopLine = ClampPosition(top, count, VisibleLines);
    SetBar(SB_VERT, count, VisibleLines, TopLine);

    ViewWidth = client.right;
    const int32_t width = StatusLogWidest() + HorizontalSlack;
    ScrollX = ClampPosition(follow ? 0 : ScrollX, width, ViewWidth);
    SetBar(SB_HORZ, width, ViewWidth, ScrollX);
    InvalidateBars();
}

void AddStatusLine(const char* text) {
    if (!text) return;
    // The dial notifier's work is handed to the window thread; an append from elsewhere would
    // race the painting and the index.
    assert(LogThread == 0 || GetCurrentThreadId() == LogThread);

    // Whether the view shows the end is decided once, before the line arrives: a bar that
    // appears during the update can take two lines' height, and a test repeated after that
    // would lose the end for good.
    const bool atEnd = StatusLineCount() - VisibleLines + 1 <= TopLine;

    WindowDC dc(StatusStrip);
    SIZE size = {};
    {
        SelectGuard font(dc.Get(), GuiFont);
        GetTextExtentPoint32A(dc.Get(), text, static_cast<int>(std::strlen(text)), &size);
    }
    if (!AppendLogLine(text, size.cx)) return;
    // A screen reader announces the list's value, the newest line.
    if (StatusStrip)
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, StatusStrip, OBJID_CLIENT, CHILDID_SELF);
    if (!StripReady) return;
    // The first run may show or hide a bar, which changes the client area the second measures.
    UpdateStatusScrollBars(atEnd);
    UpdateStatusScrollBars(atEnd);
    PaintStatusStrip(dc.Get());
}

// The 32-bit position of a dragged thumb: the message itself carries only 16 bits.
static int32_t TrackPosition(int bar) {
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_TRACKPOS;
    GetScrollInfo(StatusStrip, bar, &si);
    return si.nTrackPos;
}

static int32_t NewTopLine(int request) {
    const int32_t bottom = StatusLineCount() - VisibleLines + 1;
    switch (request) {
    case SB_LINEUP: return IntMax(0, TopLine - 1);
    case SB_LINEDOWN: return IntMin(TopLine + 1, bottom);
    case SB_PAGEUP: return IntMax(0, TopLine - VisibleLines);
    case SB_PAGEDOWN: return IntMin(TopLine + VisibleLines, bottom);
    case SB_THUMBTRACK: return TrackPosition(SB_VERT);
    case SB_TOP: return 0;
    case SB_BOTTOM: return bottom;
    }
    return TopLine;
}

static int32_t NewScrollX(int request) {
    const int32_t right = StatusLogWidest() - ViewWidth + HorizontalSlack;
    switch (request) {
    case SB_LINELEFT: return IntMax(0, ScrollX - LineHeight);
    case SB_LINERIGHT: return IntMin(ScrollX + LineHeight, right);
    case SB_PAGELEFT: return IntMax(0, ScrollX - ViewWidth);
    case SB_PAGERIGHT: return IntMin(ScrollX + ViewWidth, right);
    case SB_THUMBTRACK: return TrackPosition(SB_HORZ);
    case SB_LEFT: return 0;
    case SB_RIGHT: return right;
    }
    return ScrollX;
}

static void Redraw(HWND window) {
    WindowDC dc(window);
    PaintStatusStrip(dc.Get());
}

// One request of the scroll-bar tables. Never above the first line or left of the text's
// start: a short log has a negative "bottom", a strip wider than every line a negative "right".
static void Step(int bar, int request) {
    if (bar == SB_VERT)
        TopLine = IntMax(0, NewTopLine(request));
    else
        ScrollX = IntMax(0, NewScrollX(request));
}

static void ShowPosition(HWND window, int bar) {
    SetScrollPos(window, bar, bar == SB_VERT ? TopLine : ScrollX, TRUE);
    Redraw(window);
}

// The bars' own tracking is announced by the system; this module announces the wheel's.
static void OnScroll(HWND window, int bar, WPARAM wParam) {
    Step(bar, LOWORD(wParam));
    ShowPosition(window, bar);
}

// ---- Wheel ---------------------------------------------------------------------------------
// A notch becomes line (or page) requests of the scroll-bar tables, so the wheel stops where
// the bars stop and scrolling back to the end resumes following.

static int WheelRest[2] = {}; // deltas short of a whole notch, vertical and horizontal

static UINT WheelSetting(UINT action) {
    UINT value = 3; // the system's default for lines and characters alike
    if (!SystemParametersInfoA(action, 0, &value, 0)) value = 3;
    return value;
}

// towardStart: the delta's sign as up (vertical) or left (horizontal).
static void OnWheel(HWND window, int bar, int towardStart) {
    int& rest = WheelRest[bar == SB_VERT ? 0 : 1];
    // High-resolution wheels send parts of a notch; a turn back drops what was gathered.
    if ((rest > 0 && towardStart < 0) || (rest < 0 && towardStart > 0)) rest = 0;
    rest += towardStart;
    const int notches = rest / WHEEL_DELTA;
    rest -= notches * WHEEL_DELTA;
    const UINT setting =
        WheelSetting(bar == SB_VERT ? SPI_GETWHEELSCROLLLINES : SPI_GETWHEELSCROLLCHARS);
    if (notches == 0 || setting == 0) return;

    const bool page = setting == WHEEL_PAGESCROLL;
    const int request = (notches > 0 ? SB_LINEUP : SB_LINEDOWN) + (page ? SB_PAGEUP : 0);
    const int64_t steps = int64_t(notches > 0 ? notches : -notches) * (page ? 1 : setting);
    for (int64_t i = 0; i < steps; ++i) {
        const int32_t before = bar == SB_VERT ? TopLine : ScrollX;
        Step(bar, request);
        if ((bar == SB_VERT ? TopLine : ScrollX) == before) break;
    }
    ShowPosition(window, bar);
    NotifyWinEvent(EVENT_SYSTEM_SCROLLINGEND, window,
                   bar == SB_VERT ? OBJID_VSCROLL : OBJID_HSCROLL, CHILDID_SELF);
}

static void OnMouseWheel(HWND window, WPARAM wParam) {
    // Shift turns the wheel sideways, as in most programs.
    const bool sideways = (GET_KEYSTATE_WPARAM(wParam) & MK_SHIFT) != 0;
    OnWheel(window, sideways ? SB_HORZ : SB_VERT, GET_WHEEL_DELTA_WPARAM(wParam));
}

// ---- Screen readers ---------------------------------------------------------------------------

static int32_t FirstShownLine() {
    return TopLine > 0 ? TopLine : 0;
}

// As painted: the line's row across the whole client width.
static RECT LineBox(int32_t index) {
    RECT client = {};
    GetClientRect(StatusStrip, &client);
    const int32_t top = TextTop + (index - FirstShownLine()) * LineHeight;
    return {0, top, client.right, top + LineHeight};
}

static const TListSource StatusSource = {"Status", StatusLineCount, StatusLineText, FirstShownLine,
                                         LineBox};

static void OnPaint(HWND window) {
    PaintGuard paint(window);
    PaintStatusStrip(paint.Get());
}

LRESULT CALLBACK StatusStripProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        if (StripReady && wParam == SIZE_RESTORED) {
            UpdateStatusScrollBars(false);
            UpdateStatusScrollBars(false);
        }
        return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_VSCROLL: OnScroll(window, SB_VERT, wParam); return 0;
    case WM_HSCROLL: OnScroll(window, SB_HORZ, wParam); return 0;
    case WM_MOUSEWHEEL: OnMouseWheel(window, wParam); return 0;
    // Tilted right is a positive delta.
    case WM_MOUSEHWHEEL: OnWheel(window, SB_HORZ, -GET_WHEEL_DELTA_WPARAM(wParam)); return 0;
    case WM_GETOBJECT:
        if (LRESULT answer = AnswerListObject(window, wParam, lParam, StatusSource)) return answer;
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void SetStatusStripReady(bool ready) {
    StripReady = ready;
}

void SetupStatusStrip() {
    RegisterProgramClass(StatusClassName, StatusStripProc);

    FreeStatusLog();
    TopLine = ScrollX = VisibleLines = ViewWidth = 0;
    LogThread = GetCurrentThreadId();
}
