#pragma once
// The about window: icon, the deciphered texts, the web link and the Close button.
#include <windows.h>

void SetupAboutWindow();
HWND CreateAboutWindow(); // hidden; the caller runs it with RunModal
LRESULT CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
