#pragma once
// The connection controller: dials the chosen entry, watches it every second, hangs up and
// redials. It has no window of its own; it writes status lines and switches the main window's
// buttons and tray items.
#include <windows.h>

#include <cstdint>

enum class TControllerState : uint8_t { Initial = 0, Dialing = 1, HangingUp = 2, Ready = 3 };

extern TControllerState ControllerState;
extern int32_t DialAttempt;
extern bool UserStopped;
extern bool FailureHangup;
extern bool SessionEnding;

void ResetController(); // start-up: no handle, flags cleared
void RefreshConnection();
void Connect();
void Disconnect();
bool CanClose();
void CALLBACK PollTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
