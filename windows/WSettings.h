#pragma once
// The settings window: the phone-book entry, the credentials and the four options.
#include <windows.h>

void SetupSettingsWindow();
HWND CreateSettingsWindow(); // hidden; the caller runs it with RunModal
