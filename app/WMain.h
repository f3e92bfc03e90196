#pragma once
// The main window: menus, status strip, the Connect and Disconnect buttons and the tray icon.
#include <windows.h>

#include <cstdint>
#include <string>

#include "app/MainView.h"
#include "app/NCommandLine.h"

constexpr UINT TrayCallbackMessage = 3079;
constexpr UINT TrayIconId = 1;
constexpr UINT PollTimerId = 1;
constexpr UINT PollPeriodMs = 1000;
constexpr DWORD HelpContextMain = 100;
constexpr size_t TrayTipLimit = 63; // characters; the tip field holds 64 bytes with the zero
// Posted to the main window when a switch of the command line waits to run.
constexpr UINT SwitchMessage = WM_APP + 2;

extern HWND MainWindow;
extern HWND ConnectButton;
extern HWND DisconnectButton;
extern HMENU TrayMenu;
extern bool InTray;
extern bool WindowReady;

void SetupMainWindow();
// False when the main window could not be created; the error is left in GetLastError. In the
// tray: the window starts hidden with its icon, or shown when the shell refuses the icon.
bool CreateMainWindow(bool inTray = false);
// Runs the switch from the main window's queue, as its command would run, after those before it.
void PostSwitch(TSwitch which);
// Hides the window into the tray only when the shell took the icon; otherwise the window stays
// shown, InTray false, and the result false.
bool ShrinkToTray();
void RestoreFromTray();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The poll timer's procedure: the controller's tick.
void CALLBACK PollTimer(HWND window, UINT message, UINT_PTR id, DWORD time);

// "Tovane - " and the entry name (or "Tovane"), cut to the tip's limit without splitting a
// double-byte character of the given code page.
std::string TrayTipText(const char* connectionName, UINT codePage = CP_ACP);
