#include "app/App.h"

#include <commctrl.h>

#include <string>

#include "app/NCommandLine.h"
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

static std::string ExecutableFolder() {
    char path[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    return FolderOfPath(n > 0 && n < sizeof path ? path : "");
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
    if (CreateMainWindow(options.InTray)) return true;
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

// A bad switch, the usage box, or a command line that a copy running from this folder takes:
// each ends here, before anything is loaded and without Tovane.dat. False: start this copy.
static bool HandledBeforeStart(const TCommandLine& line, int& exitCode) {
    exitCode = 0;
    if (!line.Unknown.empty()) {
        ShowProblemBox(UnknownSwitchText(line.Unknown).c_str(), ProblemCaption, ProblemStyle);
        exitCode = BadSwitchExitCode;
        return true;
    }
    if (HasSwitch(line, TSwitch::Usage)) {
        MessageBoxA(nullptr, UsageText, UsageCaption, MB_OK | MB_ICONINFORMATION);
        return true;
    }
    switch (ClaimFolderOrHandOver(ExecutableFolder(), line.Switches)) {
    case THandover::HandedOver: return true;
    case THandover::NoAnswer:
        ShowProblemBox("Tovane is already running from this folder but did not answer within 5 "
                       "seconds.",
                       ProblemCaption, ProblemStyle);
        exitCode = NoAnswerExitCode;
        return true;
    case THandover::Claimed: break;
    }
    // Nothing runs that /exit could end.
    if (HasSwitch(line, TSwitch::Exit)) {
        ReleaseFolder();
        return true;
    }
    return false;
}

int RunTovane() {
    const TCommandLine line = ParseCommandLine(GetCommandLineA());
    int exitCode = 0;
    if (HandledBeforeStart(line, exitCode)) return exitCode;
    TStartOptions options;
    options.InTray = HasSwitch(line, TSwitch::Tray);
    if (!StartTovane(options)) {
        DWORD error = GetLastError();
        std::string text = StartFailedText;
        if (error != 0) text += "\n\n" + SystemErrorText(error);
        ShowProblemBox(text.c_str(), ProblemCaption, ProblemStyle);
        ReleaseFolder();
        return StartFailedExitCode;
    }
    PublishMainWindow(MainWindow);
    // Run by the loop, after the start-up's refresh, as the commands would be.
    for (TSwitch s : line.Switches)
        if (s != TSwitch::Tray) PostSwitch(s);
    RunMessageLoop();
    PublishMainWindow(nullptr);
    StopTovane();
    // Only now may a new start from this folder read Tovane.dat.
    ReleaseFolder();
    return 0;
}
