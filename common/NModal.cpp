#include "common/NModal.h"

#include <vector>

bool OfferDialogKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN) return true;
    if (msg.wParam != VK_TAB && msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE) return true;
    HWND active = GetActiveWindow();
    if (!active) return false;
    return SendMessageA(active, msg.message, msg.wParam, msg.lParam) != 0;
}

// The main loop's and a wait's dispatch: dialog keys go to the active window first.
static void Dispatch(MSG& msg) {
    if (!OfferDialogKey(msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

void RunMessageLoop() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        Dispatch(msg);
}

void PumpPending(bool& quit, int& quitCode) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Kept for the outer loop; dispatching cannot act on it.
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
            continue;
        }
        Dispatch(msg);
    }
}

static bool IsDialogKey(const MSG& msg) {
    return msg.message == WM_KEYDOWN &&
           (msg.wParam == VK_TAB || msg.wParam == VK_ESCAPE || msg.wParam == VK_RETURN);
}

// One run of RunModal. Runs nest (the poll may open the password window inside another
// window's loop), so each keeps its own result and the windows it disabled.
struct TModalRun {
    HWND Window;
    HWND Owner;
    HWND Active; // active when the run began
    int Result;
    std::vector<HWND> Disabled;
    TModalRun* Outer;
};
static TModalRun* Innermost = nullptr;

static BOOL CALLBACK CollectEnabled(HWND window, LPARAM into) {
    auto* run = reinterpret_cast<TModalRun*>(into);
    if (window != run->Window && GetWindow(window, GW_OWNER) == run->Owner &&
        IsWindowVisible(window) && IsWindowEnabled(window))
        run->Disabled.push_back(window);
    return TRUE;
}

// Every window disabled for the run is enabled again, before the modal window goes, so that
// activation returns to the program rather than to another program's window.
static void EnableDisabled(TModalRun& run) {
    for (HWND window : run.Disabled)
        if (IsWindow(window)) EnableWindow(window, TRUE);
    run.Disabled.clear();
}

int RunModal(HWND window, HWND owner) {
    if (HWND focus = GetFocus()) SendMessageA(focus, WM_CANCELMODE, 0, 0);
    TModalRun run = {window, owner, GetActiveWindow(), 0, {}, Innermost};
    // The owner may be hidden (shrunk to the tray); the other windows it owns (the settings or
    // about window the poll's prompt opens over) count only while visible.
    if (owner && owner != window && IsWindowEnabled(owner)) run.Disabled.push_back(owner);
    EnumThreadWindows(GetCurrentThreadId(), CollectEnabled, reinterpret_cast<LPARAM>(&run));
    Innermost = &run;
    // Disabled before the window shows, as a dialog box does: whoever sees it on screen (a
    // screen reader, a script) never finds the owner still taking input.
    for (HWND disabled : run.Disabled)
        EnableWindow(disabled, FALSE);
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);

    MSG msg;
    for (;;) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            // A quit request must neither hang here nor be lost: close this window and let
            // the outer loop see the quit.
            EnableDisabled(run);
            if (IsWindow(window)) DestroyWindow(window);
            PostQuitMessage(got == 0 ? static_cast<int>(msg.wParam) : 0);
            run.Result = ModalCancel;
            break;
        }
        if (IsDialogKey(msg)) msg.hwnd = window;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        if (run.Result != 0) break;
        if (!IsWindow(window)) {
            // Destroyed without EndModal (say, by its owner): never leave the owner disabled.
            run.Result = ModalCancel;
            break;
        }
    }
    EnableDisabled(run);
    Innermost = run.Outer;
    return run.Result;
}

void EndModal(HWND window, int result) {
    if (result == 0) return;
    for (TModalRun* run = Innermost; run; run = run->Outer) {
        if (run->Window != window) continue;
        run->Result = result;
        // Back to the window that was active before, or else the first one the run disabled.
        // The window itself may have been active already: focus given to one of its controls
        // while it was hidden activates it.
        HWND back = run->Disabled.empty() ? run->Owner : run->Disabled.front();
        if (run->Active != window && IsWindow(run->Active) && IsWindowEnabled(run->Active))
            back = run->Active;
        EnableDisabled(*run);
        if (back) SetForegroundWindow(back);
        return;
    }
}
