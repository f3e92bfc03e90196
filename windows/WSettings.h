#pragma once
// The settings window: the phone-book entry, the credentials and the four options.
#include <windows.h>

#include "common/NCommon.h"

// Outer place of the window, kept for the run (never saved): recorded when the window is
// destroyed, so the next opening reuses it. The moved flag lives with the main window (WMain.h).
extern WindowBox SettingsPlace;

void SetupSettingsWindow();
HWND CreateSettingsWindow(); // hidden; the caller runs it with RunModal
