#pragma once
// The program's entry sequence: start-up, the message loop and shutdown.
#include <windows.h>

// Where the start-up may look other than its usual places.
struct TStartOptions {
    const char* SettingsFile = nullptr; // Tovane.dat elsewhere than beside the program
    const char* RasLibrary = nullptr;   // the dial-up library to bind instead of the system's
    bool RasBound = false;              // the dial-up functions are bound already: keep them
    bool InTray = false;                // the window starts hidden in the tray (/tray)
};

// Everything before the message loop: the dial-up library, shared state, the settings, the
// window classes and the main window. False, with the last error set, when the main window
// could not be created; then nothing has been kept and Tovane.dat is as it was.
bool StartTovane(const TStartOptions& options = {});
// After the loop: saves the settings and lets go of what StartTovane took.
void StopTovane();

// Start-up, the message loop and shutdown; returns the process exit code.
int RunTovane();
