#include "common/NCommon.h"

HCURSOR HandCursor = nullptr;
HICON MainIcon = nullptr;
HFONT GuiFont = nullptr;
HBRUSH BtnFaceBrush = nullptr;
COLORREF ColorBtnFace = 0, ColorBtnShadow = 0, ColorBtnHighlight = 0, ColorBtnText = 0;

std::string ProgramFolder;
std::string HelpFile;

void RegisterProgramClass(const char* name, WNDPROC procedure, HICON icon) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = icon;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

void FillClientFace(HWND window, HDC dc) {
    RECT client = {};
    GetClientRect(window, &client);
    client.right += 1;
    client.bottom += 1;
    FillRect(dc, &client, BtnFaceBrush);
}

void InitShared() {
    FreeString(SessionPassword);
    ForgetBrowser();

    HINSTANCE instance = GetModuleHandleA(nullptr);
    HandCursor = LoadCursorA(instance, "CRHAND");
    MainIcon = LoadIconA(instance, "ICMAIN");
    ReadMetrics();
    ColorBtnFace = GetSysColor(COLOR_BTNFACE);
    ColorBtnShadow = GetSysColor(COLOR_BTNSHADOW);
    ColorBtnHighlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    ColorBtnText = GetSysColor(COLOR_BTNTEXT);
    BtnFaceBrush = GetSysColorBrush(COLOR_BTNFACE);
    GuiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    // From the base each time: a second call must not scale it again.
    DefaultWindowSize = BaseWindowSize;
    if (DpiScaling) ScalePoint(BaseWindowSize, DefaultWindowSize);

    // The module path, not the command line: a start by bare name or from a folder whose
    // name contains ".exe" would otherwise put the settings file in the wrong place.
    char path[MAX_PATH * 4] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n >= sizeof path) n = 0;
    path[n] = 0;
    ProgramFolder = FolderOfPath(path);
    SettingsFile = ProgramFolder + "Tovane.dat";
    HelpFile = ProgramFolder + "Tovane.hlp";
}

void DoneShared() {
    if (MainIcon) DestroyIcon(MainIcon);
    if (HandCursor) DestroyCursor(HandCursor);
    MainIcon = nullptr;
    HandCursor = nullptr;
    FreeSettingsStrings();
    ForgetBrowser();
}
