#include "windows/WPass.h"

// Interim: the window arrives with its own change; until then the command opens nothing.
void SetupPasswordWindow() {}
HWND CreatePasswordWindow() {
    return nullptr;
}
