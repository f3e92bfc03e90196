#include "app/NConnection.h"

#include "app/WMain.h"
#include "common/NCommon.h"

// Interim controller until dialling lands: it names the window and never refuses a close.
TControllerState ControllerState = TControllerState::Initial;
int32_t DialAttempt = 0;
bool UserStopped = false;
bool FailureHangup = false;
bool SessionEnding = false;

void ResetController() {
    UserStopped = FailureHangup = SessionEnding = false;
}

void RefreshConnection() {
    std::string title = "Tovane";
    if (Settings.ConnectionName) title += std::string(" - ") + Settings.ConnectionName;
    SetWindowTextA(MainWindow, title.c_str());
    ControllerState = TControllerState::Ready;
}

void Connect() {}
void Disconnect() {}
bool CanClose() {
    return ControllerState == TControllerState::Initial ||
           ControllerState == TControllerState::Ready;
}
void CALLBACK PollTimer(HWND, UINT, UINT_PTR, DWORD) {}
