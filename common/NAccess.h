#pragma once
// Screen-reader access (Active Accessibility) for a window that paints a list of text lines,
// which the system's own proxies would read as an empty client area, and for an owner-drawn
// push button, which Wine's proxy reads as a plain client area. The libraries are bound
// at run time, on the first request: a run without a screen reader never loads them.
#include <windows.h>

#include <cstdint>

// What the list's object reads, on the window thread only.
struct TListSource {
    const char* Name;                   // the list's accessible name
    int32_t (*Count)();                 // lines in the list
    const char* (*Text)(int32_t index); // a line's text; null outside the list
    int32_t (*FirstShown)();            // index of the top line in view
    RECT (*ItemBox)(int32_t index);     // a line's box in client coordinates, shown or not
};

// WM_GETOBJECT: for OBJID_CLIENT an IAccessible of the list (role list, a child per line named
// by its text, the newest line as value); 0 for other objects or when the libraries are
// missing, so that the default processing answers.
LRESULT AnswerListObject(HWND window, WPARAM wParam, LPARAM lParam, const TListSource& source);

// WM_GETOBJECT of an owner-drawn push button: for OBJID_CLIENT a push button named by the
// window's text, unavailable when disabled, focusable, whose default action "Press" clicks it.
LRESULT AnswerButtonObject(HWND window, WPARAM wParam, LPARAM lParam);
