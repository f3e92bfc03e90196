#include "app/App.h"

#include <commctrl.h>

#include "app/WMain.h"
#include "common/NCommon.h"
#include "controls/NIBtn.h"
#include "controls/NURL.h"
#include "ras/NRas.h"
#include "windows/WAbout.h"
#include "windows/WPass.h"
#include "windows/WSettings.h"

bool OfferDialogKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN) return true;
    if (msg.wParam != VK_TAB && msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE) return true;
    HWND active = GetActiveWindow();
    if (!active) return false;
    return SendMessageA(active, msg.message, msg.wParam, msg.lParam) != 0;
}

static void StartUp() {
    LoadRasApi();
    InitCommonControls();
    InitShared();
    LoadSettings();
    SetupMainWindow();
    RegisterImageButton();
    SetupSettingsWindow();
    SetupAboutWindow();
    SetupPasswordWindow();
    RegisterLinkControl();
    CreateMainWindow();
}

static void ShutDown() {
    SaveSettings();
    DoneShared();
    FreeRasApi();
}

int RunTovane() {
    StartUp();
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!OfferDialogKey(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    ShutDown();
    return 0;
}
