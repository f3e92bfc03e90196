#include "Pixels.h"

#include <cstdint>

int Capture::Count(COLORREF color, int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0 < 0 ? 0 : y0; y < y1 && y < Height; ++y)
        for (int x = x0 < 0 ? 0 : x0; x < x1 && x < Width; ++x)
            if (At(x, y) == color) ++n;
    return n;
}

static HBITMAP CreateTopDownBitmap(HDC dc, int width, int height, void** bits) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(dc, &bi, DIB_RGB_COLORS, bits, nullptr, 0);
}

PixelCanvas::PixelCanvas(int width, int height)
    : width_(width), height_(height), dc_(nullptr),
      bitmap_(CreateTopDownBitmap(dc_.Get(), width, height, &bits_)),
      selected_(dc_.Get(), bitmap_.Get()) {}

void PixelCanvas::Fill(COLORREF color) {
    GdiObject<HBRUSH> brush(CreateSolidBrush(color));
    RECT all = {0, 0, width_, height_};
    FillRect(Dc(), &all, brush.Get());
}

Capture PixelCanvas::Read() const {
    GdiFlush();
    Capture c;
    c.Width = width_;
    c.Height = height_;
    c.Data.resize(static_cast<size_t>(width_) * height_);
    const auto* pixels = static_cast<const uint32_t*>(bits_);
    for (size_t i = 0; pixels && i < c.Data.size(); ++i) {
        uint32_t p = pixels[i]; // 0x00RRGGBB
        c.Data[i] = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    return c;
}

Capture CaptureClient(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    if (r.right <= 0 || r.bottom <= 0) return Capture();
    PixelCanvas canvas(r.right, r.bottom);
    WindowDC dc(window);
    BitBlt(canvas.Dc(), 0, 0, r.right, r.bottom, dc.Get(), 0, 0, SRCCOPY);
    return canvas.Read();
}

Capture CaptureScreen(const RECT& area) {
    int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return Capture();
    PixelCanvas canvas(width, height);
    WindowDC screen(nullptr);
    BitBlt(canvas.Dc(), 0, 0, width, height, screen.Get(), area.left, area.top, SRCCOPY);
    return canvas.Read();
}

Capture CaptureDrawing(int width, int height, COLORREF background, void (*draw)(HDC, void*),
                       void* context) {
    PixelCanvas canvas(width, height);
    canvas.Fill(background);
    draw(canvas.Dc(), context);
    return canvas.Read();
}

std::string BmpFileBytes(const Capture& capture) {
    const int width = capture.Width, height = capture.Height;
    const size_t stride = static_cast<size_t>((width * 3 + 3) & ~3);
    std::string pixels(stride * height, '\0');
    for (int y = 0; y < height; ++y) // bottom-up rows of blue, green, red
        for (int x = 0; x < width; ++x) {
            COLORREF c = capture.At(x, y);
            char* p = &pixels[(height - 1 - y) * stride + x * 3];
            p[0] = static_cast<char>(GetBValue(c));
            p[1] = static_cast<char>(GetGValue(c));
            p[2] = static_cast<char>(GetRValue(c));
        }
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, sizeof file + sizeof info};
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    return bytes + pixels;
}
