#pragma once
// The password window: asks for the user name and password just before a dial. The user name
// goes into Settings; a typed password only into SessionPassword, never into the settings file.
#include <windows.h>

#include "common/NCommon.h"

// Outer place, kept for the run (never saved); starts at 0, 0, 213, 109 (before scaling).
extern WindowBox PasswordPlace;
// PasswordMoved (app/WMain.h) is set by this window's WM_MOVE and cleared when the main window
// moves; while it is clear the window opens over the main window.

void SetupPasswordWindow();  // registers the class and scales the layout (start-up, once)
HWND CreatePasswordWindow(); // hidden; the caller runs it with RunModal (1 OK, 2 cancel)
LRESULT CALLBACK PasswordProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void ApplyPassword(); // the OK action: store, end the modal loop with 1, destroy
