#include "windows/WAbout.h"

// Interim: the window arrives with its own change; until then the command opens nothing.
void SetupAboutWindow() {}
HWND CreateAboutWindow() {
    return nullptr;
}
