#pragma once
// Reading what a window or a drawing shows as pixels: the tests' one capture helper.
#include <windows.h>

#include <string>
#include <vector>

#include "common/NGdi.h"

struct Capture {
    int Width = 0;
    int Height = 0;
    std::vector<COLORREF> Data; // row by row from the top

    COLORREF At(int x, int y) const { return Data[static_cast<size_t>(y) * Width + x]; }
    // Pixels of the given colour in the rectangle [x0, x1) x [y0, y1), clipped to the capture.
    int Count(COLORREF color, int x0, int y0, int x1, int y1) const;
};

// A 32-bit top-down bitmap selected into a memory context: something to draw on and read back.
class PixelCanvas {
  public:
    PixelCanvas(int width, int height);
    PixelCanvas(const PixelCanvas&) = delete;
    PixelCanvas& operator=(const PixelCanvas&) = delete;
    HDC Dc() const { return dc_.Get(); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void Fill(COLORREF color);
    Capture Read() const;

  private:
    int width_, height_;
    void* bits_ = nullptr;
    MemoryDC dc_;
    GdiObject<HBITMAP> bitmap_;
    SelectGuard selected_;
};

// The window's client area as it is on screen now (paint it first: UpdateWindow).
Capture CaptureClient(HWND window);
// A rectangle of the screen, in screen coordinates.
Capture CaptureScreen(const RECT& area);
// Runs draw on a Width x Height memory bitmap filled with background, and returns the pixels.
Capture CaptureDrawing(int width, int height, COLORREF background, void (*draw)(HDC, void*),
                       void* context);
// The capture as the bytes of a 24-bit BMP file.
std::string BmpFileBytes(const Capture& capture);
