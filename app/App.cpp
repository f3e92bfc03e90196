#include "app/App.h"

#include <commctrl.h>

#include <string>

#include "app/WMain.h"
#include "common/NCommon.h"
#include "controls/NIBtn.h"
#include "controls/NURL.h"
#include "ras/NRas.h"
#include "windows/WAbout.h"
#include "windows/WPass.h"
#include "windows/WSettings.h"

// Ends the process when the main window cannot be created: without it the loop would wait for
// ever with nothing on screen.
static constexpr int StartFailedExitCode = 1;
static constexpr char StartFailedText[] = "Tovane could not create its main window.";

static std::string SystemErrorText(DWORD error) {
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = n && text ? std::string(text, n) : "Error " + std::to_string(error);
    if (text) LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    return result;
}

bool StartTovane(const TStartOptions& options) {
    if (options.RasLibrary)
        LoadRasApiFrom(options.RasLibrary);
    else if (!options.RasBound)
        LoadRasApi();
    InitCommonControls();
    InitShared();
    if (options.SettingsFile) SettingsFile = options.SettingsFile;
    LoadSettings();
    SetupMainWindow();
    RegisterImageButton();
    SetupSettingsWindow();
    SetupAboutWindow();
    SetupPasswordWindow();
    RegisterLinkControl();
    if (CreateMainWindow()) return true;
    DWORD error = GetLastError();
    DoneShared();
    FreeRasApi();
    SetLastError(error);
    return false;
}

void StopTovane() {
    SaveSettings();
    DoneShared();
    FreeRasApi();
}

int RunTovane() {
    if (!StartTovane()) {
        DWORD error = GetLastError();
        std::string text = StartFailedText;
        if (error != 0) text += "\n\n" + SystemErrorText(error);
        ShowProblemBox(text.c_str(), ProblemCaption, ProblemStyle);
        return StartFailedExitCode;
    }
    RunMessageLoop();
    StopTovane();
    return 0;
}
