#pragma once
// The main window: menus, status strip, the Connect and Disconnect buttons and the tray icon.
#include <windows.h>

extern HWND MainWindow;

void SetupMainWindow();
void CreateMainWindow();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
