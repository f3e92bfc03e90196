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

void ClampToWorkArea(WindowBox& box) {
    box.Left = IntMax(IntMin(box.Left, WorkArea.right - box.Width), WorkArea.left);
    box.Top = IntMax(IntMin(box.Top, WorkArea.bottom - box.Height), WorkArea.top);
}

void CenterOnScreen(const WindowBox& source, WindowBox& destination) {
    WindowBox box = source;
    box.Left = (ScreenWidth - source.Width) / 2;
    box.Top = (ScreenHeight - source.Height) / 2;
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
