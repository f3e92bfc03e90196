#include "common/NGeometry.h"

#include <cmath>

#include "common/NGdi.h"

int32_t CaptionHeight = 0, MenuHeight = 0, DoubleFrameHeight = 0, ScreenWidth = 0, ScreenHeight = 0;
RECT WorkArea = {};
int32_t ScreenDpi = 96;
float DpiScale = 0;
bool DpiScaling = false;

void ReadMetrics() {
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &WorkArea, 0);
    ScreenWidth = GetSystemMetrics(SM_CXSCREEN);
    ScreenHeight = GetSystemMetrics(SM_CYSCREEN);
    MenuHeight = GetSystemMetrics(SM_CYMENU);
    CaptionHeight = GetSystemMetrics(SM_CYCAPTION);
    DoubleFrameHeight = 2 * GetSystemMetrics(SM_CYFRAME);

    ScreenDpi = GetDeviceCaps(WindowDC(nullptr).Get(), LOGPIXELSY);
    DpiScaling = ScreenDpi != 96;
    DpiScale = DpiScaling ? static_cast<float>(ScreenDpi) / 96.0f : 0;
}

void AlignToOwner(HWND owner, WindowBox& box) {
    RECT r = {};
    GetWindowRect(owner, &r);
    box.Left = r.left + (r.right - r.left) / 2 - box.Width / 2;
    box.Top = r.top + DoubleFrameHeight / 2 + CaptionHeight + MenuHeight;
}

// In 64 bits: a stored width near INT32_MIN would overflow "right - width". A negative size
// counts as none, so no box starts beyond the far edge. The result lies between the work
// area's edge and the box's own coordinate, so it fits 32 bits again.
static int32_t ClampStart(int32_t start, int32_t size, LONG low, LONG high) {
    int64_t limit = static_cast<int64_t>(high) - (size > 0 ? size : 0);
    int64_t at = start < limit ? start : limit;
    return static_cast<int32_t>(at > low ? at : low);
}

void ClampToWorkArea(WindowBox& box) {
    box.Left = ClampStart(box.Left, box.Width, WorkArea.left, WorkArea.right);
    box.Top = ClampStart(box.Top, box.Height, WorkArea.top, WorkArea.bottom);
}

// (screen - size) div 2 in 64 bits; the quotient fits 32 bits for every size.
static int32_t CentredStart(int32_t screen, int32_t size) {
    return static_cast<int32_t>((static_cast<int64_t>(screen) - size) / 2);
}

void CenterOnScreen(const WindowBox& source, WindowBox& destination) {
    WindowBox box = source;
    box.Left = CentredStart(ScreenWidth, source.Width);
    box.Top = CentredStart(ScreenHeight, source.Height);
    destination = box;
}

int32_t ScaleValue(int32_t value) {
    // Exact product, then round half to even (352.5 -> 352, 247.5 -> 248).
    return static_cast<int32_t>(std::nearbyint(static_cast<double>(value) * DpiScale));
}

void ScaleBox(const WindowBox& source, WindowBox& destination) {
    WindowBox box = {ScaleValue(source.Left), ScaleValue(source.Top), ScaleValue(source.Width),
                     ScaleValue(source.Height)};
    destination = box;
}

void ScalePoint(const IntPair& source, IntPair& destination) {
    IntPair point = {ScaleValue(source.X), ScaleValue(source.Y)};
    destination = point;
}
