#pragma once
// The web link: one line of text in a given font and colour, exactly as large as its text,
// with the hand cursor; a click or Space opens its text in the user's browser.
#include <windows.h>

#include <cstdint>

constexpr char LinkClassName[] = "TovaneURLClass";

// Kept in the control's user data; freed when the control is destroyed.
struct LinkRecord {
    const char* Text; // not copied: the caller keeps it alive as long as the control
    HFONT Font;       // the caller's; never deleted here
    COLORREF Color;
};

void RegisterLinkControl();
// A visible tab stop at (x, y) of the parent's client area; null when it cannot be made.
HWND CreateLinkControl(HWND parent, int32_t x, int32_t y, const char* text, HFONT font,
                       COLORREF color);
