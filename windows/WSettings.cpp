#include "windows/WSettings.h"

// Interim: the window arrives with its own change; until then the command opens nothing.
void SetupSettingsWindow() {}
HWND CreateSettingsWindow() {
    return nullptr;
}
