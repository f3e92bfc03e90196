#include "common/NCommon.h"

#include "common/NFile.h"
#include "common/NGdi.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <shellapi.h>

TSettings Settings;
char* SessionPassword = nullptr;
bool LoadFailed = false;

HCURSOR HandCursor = nullptr;
HICON MainIcon = nullptr;
HFONT GuiFont = nullptr;
HBRUSH BtnFaceBrush = nullptr;
COLORREF ColorBtnFace = 0, ColorBtnShadow = 0, ColorBtnHighlight = 0, ColorBtnText = 0;
int32_t CaptionHeight = 0, MenuHeight = 0, DoubleFrameHeight = 0, ScreenWidth = 0, ScreenHeight = 0;
RECT WorkArea = {};
int32_t ScreenDpi = 96;
float DpiScale = 0;
bool DpiScaling = false;
IntPair DefaultWindowSize = {282, 165};

char TextBuffer[TextBufferSize];

std::string ProgramFolder;
std::string SettingsFile;
std::string HelpFile;
std::string BrowserCommand;

void (*OpenWebPageHook)(const char* url) = nullptr;

static int32_t ModalResult = 0;

// ---- Heap strings ----------------------------------------------------------------------

char* NewString(const char* text) {
    if (!text || !*text) return nullptr;
    size_t n = std::strlen(text) + 1;
    char* copy = new char[n];
    std::memcpy(copy, text, n);
    return copy;
}

void FreeString(char*& text) {
    delete[] text;
    text = nullptr;
}

void WipeString(char*& text) {
    if (text) SecureZeroMemory(text, std::strlen(text));
    FreeString(text);
}

void ReplaceString(char*& field, char* value) {
    if (field == value) return;
    FreeString(field);
    field = value;
}

char* ControlText(HWND control) {
    // WM_GETTEXT rather than GetWindowText: it also reads a combo box's current text.
    LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return nullptr;
    char* text = new char[static_cast<size_t>(length) + 1];
    LRESULT got = SendMessageA(control, WM_GETTEXT, static_cast<WPARAM>(length) + 1,
                               reinterpret_cast<LPARAM>(text));
    text[got >= 0 && got <= length ? got : 0] = 0;
    if (!*text) FreeString(text);
    return text;
}

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

// ---- Shared objects ----------------------------------------------------------------------

void InitShared() {
    FreeString(SessionPassword);
    BrowserCommand.clear();

    HINSTANCE instance = GetModuleHandleA(nullptr);
    HandCursor = LoadCursorA(instance, "CRHAND");
    MainIcon = LoadIconA(instance, "ICMAIN");
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &WorkArea, 0);
    ScreenWidth = GetSystemMetrics(SM_CXSCREEN);
    ScreenHeight = GetSystemMetrics(SM_CYSCREEN);
    MenuHeight = GetSystemMetrics(SM_CYMENU);
    CaptionHeight = GetSystemMetrics(SM_CYCAPTION);
    DoubleFrameHeight = 2 * GetSystemMetrics(SM_CYFRAME);
    ColorBtnFace = GetSysColor(COLOR_BTNFACE);
    ColorBtnShadow = GetSysColor(COLOR_BTNSHADOW);
    ColorBtnHighlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    ColorBtnText = GetSysColor(COLOR_BTNTEXT);
    BtnFaceBrush = GetSysColorBrush(COLOR_BTNFACE);
    GuiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

    ScreenDpi = GetDeviceCaps(WindowDC(nullptr).Get(), LOGPIXELSY);

    if (ScreenDpi == 96) {
        DpiScale = 0;
        DpiScaling = false;
    } else {
        DpiScale = static_cast<float>(ScreenDpi) / 96.0f;
        DpiScaling = true;
        ScalePoint(DefaultWindowSize, DefaultWindowSize);
    }

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
    FreeString(Settings.ConnectionName);
    FreeString(Settings.UserName);
    WipeString(Settings.Password);
    WipeString(SessionPassword);
    BrowserCommand.clear();
}

// ---- Modal loop ---------------------------------------------------------------------------

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

// ---- Geometry -------------------------------------------------------------------------------

void AlignToOwner(HWND owner, WindowBox& box) {
    RECT r = {};
    GetWindowRect(owner, &r);
    box.Left = r.left + (r.right - r.left) / 2 - box.Width / 2;
    box.Top = r.top + DoubleFrameHeight / 2 + CaptionHeight + MenuHeight;
}

void ClampToWorkArea(WindowBox& box) {
    box.Left = IntMax(IntMin(box.Left, WorkArea.right - box.Width), WorkArea.left);
    box.Top = IntMax(IntMin(box.Top, WorkArea.bottom - box.Height), WorkArea.top);
}

void CenterOnScreen(const WindowBox& source, WindowBox& destination) {
    WindowBox box = source;
    box.Left = (ScreenWidth - source.Width) / 2;
    box.Top = (ScreenHeight - source.Height) / 2;
    destination = box;
}

int32_t ScaleValue(int32_t value) {
    // Exact product, then round half to even (352.5 -> 352, 247.5 -> 248).
    return static_cast<int32_t>(std::nearbyint(static_cast<double>(value) * DpiScale));
}

void ScaleBox(const WindowBox& source, WindowBox& destination) {
    WindowBox box = {ScaleValue(source.Left), ScaleValue(source.Top), ScaleValue(source.Width),
                     ScaleValue(source.Height)};
    destination = box;
}

void ScalePoint(const IntPair& source, IntPair& destination) {
    IntPair point = {ScaleValue(source.X), ScaleValue(source.Y)};
    destination = point;
}

// ---- Paths and the browser -------------------------------------------------------------------

std::string FolderOfPath(const char* path) {
    std::string text = path ? path : "";
    // Last "\" or ":" that is not the trail byte of a double-byte character.
    size_t cut = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsDBCSLeadByte(c) && i + 1 < text.size()) {
            ++i;
            continue;
        }
        if (c == '\\' || c == ':') cut = i;
    }
    std::string folder = cut == std::string::npos ? std::string() : text.substr(0, cut + 1);
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder;
}

static bool EqualsNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string BrowserFromCommand(const char* command) {
    std::string text = command ? command : "";
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return std::string();
    if (text[start] == '"') {
        size_t end = text.find('"', start + 1);
        return text.substr(start + 1,
                           end == std::string::npos ? std::string::npos : end - start - 1);
    }
    // Unquoted: up to the first ".exe" that ends a path component, so dotted folders
    // (C:\Users\first.last\...) stay whole.
    for (size_t i = start; i + 4 <= text.size(); ++i) {
        if (!EqualsNoCase(text.c_str() + i, ".exe", 4)) continue;
        size_t after = i + 4;
        if (after == text.size() || text[after] == ' ' || text[after] == '\t' || text[after] == '"')
            return text.substr(start, after - start);
    }
    size_t end = text.find_first_of(" \t", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Reads the default value of a key under HKEY_CLASSES_ROOT into buffer; false on any failure.
static bool ReadClassesValue(const char* key, char* buffer, DWORD size) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    DWORD type = 0, bytes = size - 1;
    LONG r =
        RegQueryValueExA(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(handle);
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    buffer[bytes < size ? bytes : size - 1] = 0;
    return true;
}

void OpenWebPage(const char* url) {
    if (OpenWebPageHook) {
        OpenWebPageHook(url);
        return;
    }
    if (BrowserCommand.empty()) {
        char fileClass[TextBufferSize] = {};
        if (!ReadClassesValue(".html", fileClass, sizeof fileClass)) return;
        std::string key = std::string(fileClass) + "\\shell\\open\\command";
        std::memset(TextBuffer, 0, sizeof TextBuffer);
        if (!ReadClassesValue(key.c_str(), TextBuffer, sizeof TextBuffer)) return;
        BrowserCommand = BrowserFromCommand(TextBuffer);
        if (BrowserCommand.empty()) return;
    }
    ShellExecuteA(nullptr, nullptr, BrowserCommand.c_str(), url, nullptr, SW_SHOWNORMAL);
}

// ---- Settings store --------------------------------------------------------------------------

// The record is read and written as one block: its layout is the file's, on both targets.
static_assert(sizeof(SettingsRecord) == 20);
static_assert(offsetof(SettingsRecord, SimpleStatus) == 0);
static_assert(offsetof(SettingsRecord, AutoReconnect) == 1);
static_assert(offsetof(SettingsRecord, ShrinkWhenConnected) == 2);
static_assert(offsetof(SettingsRecord, AlwaysOnTop) == 3);
static_assert(offsetof(SettingsRecord, WindowRect) + offsetof(WindowBox, Left) == 4);
static_assert(offsetof(SettingsRecord, WindowRect) + offsetof(WindowBox, Top) == 8);
static_assert(offsetof(SettingsRecord, WindowRect) + offsetof(WindowBox, Width) == 12);
static_assert(offsetof(SettingsRecord, WindowRect) + offsetof(WindowBox, Height) == 16);

static constexpr char ProblemCaption[] = "Tovane - Problem";
static constexpr UINT ProblemStyle = MB_OK | MB_ICONEXCLAMATION;
static constexpr char CorruptText[] =
    "Tovane's settings file appears corrupted. The default settings will be used.\n\n"
    "Is the hard disk full? \nRun ScanDisk?\n\n";
static constexpr char SaveFailedText[] =
    "Tovane was unable to save your settings. \n\nIs the hard disk full? \n"
    "Are you trying to run Tovane from a read-only CD-ROM?\n\n";
static constexpr char EofMessage[] = "eof";
// The new settings are written beside Tovane.dat under this suffix, then moved over it.
static constexpr char SaveTempSuffix[] = ".tmp";

int MessageBoxProblem(const char* text, const char* caption, UINT style) {
    return MessageBoxA(nullptr, text, caption, style);
}

int (*ShowProblemBox)(const char* text, const char* caption, UINT style) = MessageBoxProblem;

static void ReportProblem(const char* fixedText, const std::string& message) {
    std::string text = fixedText + message;
    ShowProblemBox(text.c_str(), ProblemCaption, ProblemStyle);
}

static void UseDefaultSettings() {
    Settings.SimpleStatus = Settings.AutoReconnect = Settings.ShrinkWhenConnected =
        Settings.AlwaysOnTop = 1;
    Settings.WindowRect = {0, 0, DefaultWindowSize.X, DefaultWindowSize.Y};
    FreeString(Settings.ConnectionName);
    FreeString(Settings.UserName);
    WipeString(Settings.Password);
}

void LoadSettings() {
    LoadFailed = false;
    // Read into locals and take them over only when the whole file is good.
    SettingsRecord record = {};
    char* connectionName = nullptr;
    char* userName = nullptr;
    char* password = nullptr;
    bool damaged = false;
    std::string problem;
    {
        TNFile file;
        file.MustExist = true;
        try {
            file.Open(SettingsFile);
            file.Read(&record, sizeof record);
            file.ReadPChar(connectionName);
            file.ReadPChar(userName);
            file.ReadPChar(password);
            if (!file.eof()) throw ENFile(EofMessage);
            file.Close();
        } catch (const ENFile& e) {
            LoadFailed = true;
            // A missing file, or one that cannot be opened for reading and writing, is no
            // damage: the defaults come silently.
            damaged = file.Opened;
            problem = e.Message();
        }
    } // a failing close in the destructor is dropped there

    if (LoadFailed) {
        FreeString(connectionName);
        FreeString(userName);
        WipeString(password);
        UseDefaultSettings();
        if (damaged) ReportProblem(CorruptText, problem);
        return;
    }
    static_cast<SettingsRecord&>(Settings) = record;
    ReplaceString(Settings.ConnectionName, connectionName);
    ReplaceString(Settings.UserName, userName);
    WipeString(Settings.Password);
    Settings.Password = password;
}

void SaveSettings() {
    // Truncating Tovane.dat and writing it in place would lose every setting to a full disk
    // or an interrupted write. The complete file goes to a temporary file first, reaches the
    // disk, and only then replaces Tovane.dat in one step; any failure leaves the old file.
    std::string temp = SettingsFile + SaveTempSuffix;
    bool created = false;
    bool failed = false;
    std::string problem;
    {
        TNFile file;
        file.CreateNew = true;
        try {
            file.Open(temp);
            created = true;
            file.Write(&static_cast<const SettingsRecord&>(Settings), sizeof(SettingsRecord));
            file.WritePChar(Settings.ConnectionName);
            file.WritePChar(Settings.UserName);
            file.WritePChar(Settings.Password);
            file.Flush();
            file.Close();
            MoveFileOver(temp, SettingsFile);
        } catch (const ENFile& e) {
            failed = true;
            problem = e.Message();
        }
    } // closes the temporary file if a write failed
    if (!failed) return;
    // Only what this save created goes; it may hold a password.
    if (created) DeleteFileA(temp.c_str());
    ReportProblem(SaveFailedText, problem);
}
