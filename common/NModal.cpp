#include "common/NModal.h"

static int ModalResult = 0;

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

int RunModal(HWND window, HWND owner) {
    if (HWND focus = GetFocus()) SendMessageA(focus, WM_CANCELMODE, 0, 0);
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    EnableWindow(owner, FALSE);
    ModalResult = 0;

    MSG msg;
    for (;;) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            // A quit request must neither hang here nor be lost: close this window and let
            // the outer loop see the quit.
            int code = got == 0 ? static_cast<int>(msg.wParam) : 0;
            EnableWindow(owner, TRUE);
            if (IsWindow(window)) DestroyWindow(window);
            PostQuitMessage(code);
            ModalResult = 0;
            return ModalCancel;
        }
        if (IsDialogKey(msg)) msg.hwnd = window;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        if (ModalResult != 0) break;
        if (!IsWindow(window)) {
            // Destroyed without EndModal (say, by its owner): never leave the owner disabled.
            EnableWindow(owner, TRUE);
            ModalResult = ModalCancel;
            break;
        }
    }
    int result = ModalResult;
    ModalResult = 0;
    return result;
}

void EndModal(int result, HWND owner) {
    ModalResult = result;
    if (owner) {
        EnableWindow(owner, TRUE);
        SetForegroundWindow(owner);
    }
}
