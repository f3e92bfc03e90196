#pragma once
// The connection controller: dials the chosen entry, watches it every second, hangs up and
// redials. Events come in through the entry points below; every effect leaves through the port
// the main window attaches (app/MainView.h). Everything here runs on the window thread except
// DialNotifier.
#include <windows.h>

#include <cstdint>
#include <string>

#include "app/MainView.h"
#include "ras/NRas.h"

enum class TControllerState : uint8_t { Initial = 0, Dialing = 1, HangingUp = 2, Ready = 3 };
// Whose password the running dial sent.
enum class TDialCredentials : uint8_t { Stored, Typed, Saved };

// DialNotifier's report, posted through the port: wParam the state, lParam the error.
constexpr UINT DialReportMessage = WM_APP + 1;

// The controller's whole state.
struct TController {
    TControllerState ControllerState = TControllerState::Initial;
    HRASCONN ConnectionHandle = nullptr;
    int32_t DialAttempt = 0;
    bool UserStopped = false;    // the user hung up or cancelled: auto reconnect waits for Connect
    bool FailureHangup = false;  // the hang-up under way is for a failed or dropped line
    bool LineWasUp = false;      // the handle has been seen connected: its loss is a drop
    bool SessionEnding = false;  // Windows ends the session: the poll stays idle
    bool RefreshPending = false; // asked for during a dial or hang-up; runs once that ends
    // The server refused the user name or password: redialled at once, that locks the account.
    int32_t RefusalCount = 0;     // since the last connection, the user's Connect or settings OK
    ULONGLONG RefusalWaitEnd = 0; // the poll redials no earlier (GetTickCount64)
    bool SavedRefused = false;    // Windows' saved credentials were refused: ask instead
    TDialCredentials DialCredentials = TDialCredentials::Stored; // the running dial's
};

const TController& ControllerNow(); // for the main window and the tests
void ResetController();             // start-up: every field as above
// Until a port is attached the effects go nowhere.
void AttachMainView(const TMainView& view);

// ---- Events ----------------------------------------------------------------------------------
void RefreshConnection(); // the entry may have changed: title, adoption of a running line
void Connect();           // the user's: also ends the wait after refused credentials
// The settings window's OK: the credentials may be right now, refusals start over.
void SettingsAccepted();
void Disconnect();
void PollTick();   // once a second
void EndSession(); // Windows is ending the session
// Called by the dial-up service on a thread of its choice: it only posts DialReportMessage.
void WINAPI DialNotifier(UINT message, RASCONNSTATE state, DWORD error);
// The notifier's report, on the window thread, in the order the reports were posted.
void OnDialReport(RASCONNSTATE state, DWORD error);

bool CanClose(); // false while a dial or a hang-up runs

// The user's short date, a blank and the user's short time ("ddddd t").
std::string FormatDialTime(const SYSTEMTIME& time);
