#pragma once
// The status strip: the running log of status lines, drawn off-screen with both scroll bars.
#include <windows.h>

#include <cstdint>

extern HWND StatusStrip;
extern int32_t LineHeight;

void SetupStatusStrip(); // registers the class and empties the log
// Appends a copy of the line (null adds nothing) and redraws the strip. Window thread only.
void AddStatusLine(const char* text);
void UpdateStatusScrollBars(bool follow);
void PaintStatusStrip(HDC target);
void FreeStatusLog();
LRESULT CALLBACK StatusStripProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
