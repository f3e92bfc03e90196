#pragma once
// Reading what a window shows: its client area as pixels, children included.
#include <windows.h>

#include <vector>

struct Capture {
    int Width = 0;
    int Height = 0;
    std::vector<COLORREF> Data; // row by row from the top

    COLORREF At(int x, int y) const { return Data[static_cast<size_t>(y) * Width + x]; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < Width && y < Height; }
};

// The window's client area as it is on screen now (paint it first: UpdateWindow).
Capture CaptureClient(HWND window);
// Runs draw on a Width x Height memory bitmap filled with background, and returns the pixels.
Capture CaptureDrawing(int width, int height, COLORREF background, void (*draw)(HDC, void*),
                       void* context);
