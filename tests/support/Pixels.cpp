#include "Pixels.h"

#include <cstdint>

namespace {
// A 32-bit top-down DIB section selected into a memory DC.
struct MemoryBitmap {
    MemoryBitmap(int width, int height) : Width(width), Height(height) {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        Dc = CreateCompatibleDC(nullptr);
        Bitmap = CreateDIBSection(Dc, &bi, DIB_RGB_COLORS, &Bits, nullptr, 0);
        Previous = SelectObject(Dc, Bitmap);
    }
    ~MemoryBitmap() {
        SelectObject(Dc, Previous);
        DeleteObject(Bitmap);
        DeleteDC(Dc);
    }
    MemoryBitmap(const MemoryBitmap&) = delete;
    MemoryBitmap& operator=(const MemoryBitmap&) = delete;

    Capture Read() const {
        GdiFlush();
        Capture c;
        c.Width = Width;
        c.Height = Height;
        c.Data.resize(static_cast<size_t>(Width) * Height);
        const auto* pixels = static_cast<const uint32_t*>(Bits);
        for (size_t i = 0; i < c.Data.size(); ++i) {
            uint32_t p = pixels[i]; // 0x00RRGGBB
            c.Data[i] = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
        }
        return c;
    }

    int Width, Height;
    HDC Dc = nullptr;
    HBITMAP Bitmap = nullptr;
    HGDIOBJ Previous = nullptr;
    void* Bits = nullptr;
};
} // namespace

Capture CaptureClient(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    if (r.right <= 0 || r.bottom <= 0) return Capture();
    MemoryBitmap bitmap(r.right, r.bottom);
    HDC dc = GetDC(window);
    BitBlt(bitmap.Dc, 0, 0, r.right, r.bottom, dc, 0, 0, SRCCOPY);
    ReleaseDC(window, dc);
    return bitmap.Read();
}

Capture CaptureDrawing(int width, int height, COLORREF background, void (*draw)(HDC, void*),
                       void* context) {
    MemoryBitmap bitmap(width, height);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all = {0, 0, width, height};
    FillRect(bitmap.Dc, &all, brush);
    DeleteObject(brush);
    draw(bitmap.Dc, context);
    return bitmap.Read();
}
