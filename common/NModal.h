#pragma once
// The one message pump and its key routing, for the main loop, the secondary windows' modal
// loop and a wait that must keep the windows alive. Tab, Enter and Escape key-downs are
// offered first to the active window, and inside a modal loop to the modal window.
#include <windows.h>

constexpr int ModalOk = 1;
constexpr int ModalCancel = 2;

// Offers a Tab, Enter or Escape key-down to the thread's active window first. False means the
// message is dropped: no active window, or the active window returned 0 for it.
bool OfferDialogKey(const MSG& msg);

// The main loop: dispatches until WM_QUIT.
void RunMessageLoop();

// Dispatches every message already queued. A WM_QUIT is not dispatched: quit is set and its
// code kept, for the caller to post again once its wait is over.
void PumpPending(bool& quit, int& quitCode);

// Runs a nested loop until EndModal ends this window's run with a non-zero result. The owner
// and every other visible window it owns are disabled meanwhile; exactly those are enabled
// again when the run ends. A WM_QUIT that arrives meanwhile destroys the window,
// returns ModalCancel and is posted again for the outer loop.
int RunModal(HWND window, HWND owner);
// Ends the run of this window only (a loop further out or further in keeps running), enabling
// the windows its run disabled and bringing back the window that was active before it.
void EndModal(HWND window, int result);
