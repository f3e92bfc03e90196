#pragma once
// The password window: asks for the user name and password just before a dial.
#include <windows.h>

void SetupPasswordWindow();
HWND CreatePasswordWindow(); // hidden; the caller runs it with RunModal
