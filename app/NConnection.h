#pragma once
// The connection controller: dials the chosen entry, watches it every second, hangs up and
// redials. It has no window of its own; it writes status lines and reports to the main window
// through the view the main window attaches. Everything here runs on the window thread except
// DialNotifier.
#include <windows.h>

#include <cstdint>
#include <string>

#include "app/MainView.h"
#include "ras/NRas.h"

enum class TControllerState : uint8_t { Initial = 0, Dialing = 1, HangingUp = 2, Ready = 3 };

// DialNotifier's report, posted to the main window: wParam the state, lParam the error. The
// main window procedure hands it to OnDialReport.
constexpr UINT DialReportMessage = WM_APP + 1;

extern TControllerState ControllerState;
extern HRASCONN ConnectionHandle;
extern int32_t DialAttempt;
extern bool UserStopped;
extern bool SessionEnding;
extern int32_t RefusalCount;     // authentication refusals in a row
extern ULONGLONG RefusalWaitEnd; // after a refusal the poll redials no earlier (GetTickCount64)

// The main window's side; until one is attached the controller reports to nothing.
void AttachMainView(const TMainView& view);
void ResetController(); // start-up: no handle, flags cleared
void RefreshConnection();
void Connect(); // the user's: also ends the wait after refused credentials
// The settings window's OK: the credentials may be right now, refusals start over.
void SettingsAccepted();
void Disconnect();
bool CanClose();
void CALLBACK PollTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
// Called by the dial-up service on a thread of its choice: it only posts DialReportMessage.
void WINAPI DialNotifier(UINT message, RASCONNSTATE state, DWORD error);
// The notifier's work, on the window thread, in the order the reports were posted.
void OnDialReport(RASCONNSTATE state, DWORD error);
void ShowConnectedControls();
void ShowDisconnectedControls();

// The user's short date, a blank and the user's short time ("ddddd t").
std::string FormatDialTime(const SYSTEMTIME& time);
