#pragma once
// The program's entry sequence and its one message loop.
#include <windows.h>

// Offers a Tab, Enter or Escape key-down to the thread's active window first. False means the
// message is dropped: no active window, or the active window returned 0 for it.
bool OfferDialogKey(const MSG& msg);

// Start-up, the message loop and shutdown; returns the process exit code.
int RunTovane();
