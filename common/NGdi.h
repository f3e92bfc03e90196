#pragma once
// Scoped guards that make GDI ownership obvious: each puts back or releases what it took.
#include <windows.h>

// Puts the previously selected object back into the context.
class SelectGuard {
  public:
    SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~SelectGuard() {
        if (old_) SelectObject(dc_, old_);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

  private:
    HDC dc_;
    HGDIOBJ old_;
};

// A window's device context from GetDC, released on scope exit.
class WindowDC {
  public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC Get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// BeginPaint ... EndPaint.
class PaintGuard {
  public:
    explicit PaintGuard(HWND window) : window_(window) { dc_ = BeginPaint(window, &ps_); }
    ~PaintGuard() { EndPaint(window_, &ps_); }
    PaintGuard(const PaintGuard&) = delete;
    PaintGuard& operator=(const PaintGuard&) = delete;
    HDC Get() const { return dc_; }
    const PAINTSTRUCT& Info() const { return ps_; }

  private:
    HWND window_;
    PAINTSTRUCT ps_ = {};
    HDC dc_;
};

// Owns a GDI object made here (pen, brush, font, bitmap, region): deleted on scope exit. Put
// back any selection of it first (declare the SelectGuard after this guard).
template <typename Handle> class GdiObject {
  public:
    explicit GdiObject(Handle handle) : handle_(handle) {}
    ~GdiObject() {
        if (handle_) DeleteObject(handle_);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    Handle Get() const { return handle_; }

  private:
    Handle handle_;
};

using Region = GdiObject<HRGN>;

// A memory device context like the given one (null: like the screen), deleted on scope exit.
class MemoryDC {
  public:
    explicit MemoryDC(HDC like) : dc_(CreateCompatibleDC(like)) {}
    ~MemoryDC() {
        if (dc_) DeleteDC(dc_);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC Get() const { return dc_; }

  private:
    HDC dc_;
};
