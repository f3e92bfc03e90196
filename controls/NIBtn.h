#pragma once
// The program's own push button: a superclass of the system button, always owner-drawn.
#include <windows.h>

#include <cstdint>

#include "common/NGeometry.h"

constexpr DWORD ImageButtonStyle = WS_VISIBLE | WS_TABSTOP; // what every caller passes

void RegisterImageButton();
HWND CreateImageButton(HWND parent, uint16_t id, const char* caption, int32_t x, int32_t y,
                       int32_t width, int32_t height, DWORD style, HFONT font);
// The same with a box (left, top, width, height), visible, a tab stop, in the shared font.
HWND CreateImageButton(HWND parent, uint16_t id, const char* caption, const WindowBox& box);
// Owners call this from WM_DRAWITEM for their own button ids.
void DrawImageButton(DRAWITEMSTRUCT* item);
LRESULT CALLBACK ImageButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
