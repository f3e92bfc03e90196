#pragma once
// The settings window: the phone-book entry, the credentials and the four options.
#include <windows.h>

#include "windows/NSecondary.h"

constexpr DWORD HelpContextSettings = 101;

void SetupSettingsWindow();
// Hidden; the caller runs it with RunModal. OK calls entryChanged when the chosen entry differs
// from the stored one (or either is absent), before the settings are saved.
HWND CreateSettingsWindow(HWND owner, void (*entryChanged)());
// Its place and moved flag, kept for the run.
const TSecondaryWindow& SettingsWindowState();
