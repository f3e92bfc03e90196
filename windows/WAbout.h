#pragma once
// The about window: icon, the deciphered texts, the web link and the Close button.
#include <windows.h>

#include "windows/NSecondary.h"

void SetupAboutWindow();
HWND CreateAboutWindow(HWND owner); // hidden; the caller runs it with RunModal
// Its place and moved flag, kept for the run.
const TSecondaryWindow& AboutWindowState();
