#pragma once
// Screen metrics, the display scale and window-box geometry. Layout numbers are pixels at 96
// dpi; each window scales its fixed boxes once with ScaleBox and ScalePoint, and only when
// DpiScaling is true.
#include <windows.h>

#include <cstdint>

struct WindowBox {
    int32_t Left;
    int32_t Top;
    int32_t Width;
    int32_t Height;
};

struct IntPair {
    int32_t X;
    int32_t Y;
};

extern int32_t CaptionHeight, MenuHeight, DoubleFrameHeight, ScreenWidth, ScreenHeight;
extern RECT WorkArea;
extern int32_t ScreenDpi;
extern float DpiScale; // 0 when no scaling is needed: test DpiScaling first
extern bool DpiScaling;

// Reads the metrics, the work area and the screen's pixels per inch, and sets the scale.
void ReadMetrics();

inline int32_t IntMin(int32_t a, int32_t b) {
    return b > a ? a : b;
}
inline int32_t IntMax(int32_t a, int32_t b) {
    return b < a ? a : b;
}
void AlignToOwner(HWND owner, WindowBox& box);
void ClampToWorkArea(WindowBox& box);
void CenterOnScreen(const WindowBox& source, WindowBox& destination);
void ScaleBox(const WindowBox& source, WindowBox& destination);
void ScalePoint(const IntPair& source, IntPair& destination);
int32_t ScaleValue(int32_t value); // one number rounded like ScaleBox
