#pragma once
// The program's entry sequence: start-up, the message loop and shutdown.
#include <windows.h>

// Start-up, the message loop and shutdown; returns the process exit code.
int RunTovane();
