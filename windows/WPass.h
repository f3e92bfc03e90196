#pragma once
// The password window: asks for the user name and password just before a dial. The user name
// goes into Settings; a typed password only into SessionPassword, never into the settings file.
#include <windows.h>

#include "windows/NSecondary.h"

void SetupPasswordWindow();            // registers the class and scales the layout (start-up)
HWND CreatePasswordWindow(HWND owner); // hidden; the caller runs it with RunModal (1 OK, 2 cancel)
// Its place (starting at 0, 0, 213, 109 before scaling) and moved flag, kept for the run.
const TSecondaryWindow& PasswordWindowState();
