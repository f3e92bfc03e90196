#pragma once
// The status strip: shows the status log (app/NStatusLog), drawn off-screen with both scroll
// bars, and appends to it.
#include <windows.h>

#include <cstdint>

#include "app/NStatusLog.h"

extern HWND StatusStrip;
extern int32_t LineHeight;

// Scroll state of the strip (read by tests and the benchmark).
extern int32_t TopLine;      // first line shown
extern int32_t ScrollX;      // horizontal offset in pixels
extern int32_t VisibleLines; // whole lines that fit, as of the last scroll-bar update
extern int32_t ViewWidth;    // client width, as of the last scroll-bar update

void SetupStatusStrip(); // registers the class and empties the log
// Until the strip is ready (its window made and laid out) an append only stores its line.
void SetStatusStripReady(bool ready);
// Appends a copy of the line (null adds nothing) and redraws the strip. Window thread only.
void AddStatusLine(const char* text);
// Recomputes both bars; with follow the view moves to the end and back to the left edge.
void UpdateStatusScrollBars(bool follow);
void PaintStatusStrip(HDC target);
LRESULT CALLBACK StatusStripProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
