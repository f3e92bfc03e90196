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
    RunMessageLoop();
    ShutDown();
    return 0;
}
