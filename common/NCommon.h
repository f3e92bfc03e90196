#pragma once
// Shared drawing objects, metrics, display scale, paths, the settings store, the modal loop,
// window-box geometry and the browser launch. Everything here runs on the window thread.
#include <windows.h>
#include <cstdint>
#include <string>

struct WindowBox {
    int32_t Left;
    int32_t Top;
    int32_t Width;
    int32_t Height;
};

struct IntPair {
    int32_t X;
    int32_t Y;
};

// ---- Settings store --------------------------------------------------------------------

#pragma pack(push, 1)
// Held in memory exactly as stored at the start of Tovane.dat.
struct SettingsRecord {
    uint8_t SimpleStatus;
    uint8_t AutoReconnect;
    uint8_t ShrinkWhenConnected;
    uint8_t AlwaysOnTop;
    WindowBox WindowRect;
};
#pragma pack(pop)

// The record fields are reachable directly (Settings.AutoReconnect); the strings are null when
// absent, else heap copies owned here (NewString/FreeString).
struct TSettings : SettingsRecord {
    char* ConnectionName;
    char* UserName;
    char* Password;
};

extern TSettings Settings;
extern char* SessionPassword; // typed in the password window; never saved
extern bool LoadFailed;       // LoadSettings fell back to the defaults

// Neither raises: a failure falls back to the defaults (load) or leaves Tovane.dat as it was
// (save), and a problem box tells the user.
void LoadSettings();
void SaveSettings();

// Shows the store's problem boxes; the program's is MessageBoxA with no owner, and tests
// replace it to capture caption, text and style.
extern int (*ShowProblemBox)(const char* text, const char* caption, UINT style);
int MessageBoxProblem(const char* text, const char* caption, UINT style);

// ---- Heap strings ----------------------------------------------------------------------

char* NewString(const char* text);             // heap copy; null for null or empty text
void FreeString(char*& text);                  // frees and nulls
void WipeString(char*& text);                  // zeroes the characters first (passwords)
void ReplaceString(char*& field, char* value); // frees the old value, takes ownership of value
char* ControlText(HWND control);               // heap copy of a control's text; null when empty

// ---- Shared objects, set by InitShared ---------------------------------------------------

extern HCURSOR HandCursor;
extern HICON MainIcon;
extern HFONT GuiFont;
extern HBRUSH BtnFaceBrush;
extern COLORREF ColorBtnFace, ColorBtnShadow, ColorBtnHighlight, ColorBtnText;
extern int32_t CaptionHeight, MenuHeight, DoubleFrameHeight, ScreenWidth, ScreenHeight;
extern RECT WorkArea;
extern int32_t ScreenDpi;
extern float DpiScale; // 0 when no scaling is needed: test DpiScaling first
extern bool DpiScaling;
extern IntPair DefaultWindowSize;

constexpr int TextBufferSize = 4098;
// Scratch text for one user at a time; copy out before anything else can run.
extern char TextBuffer[TextBufferSize];

extern std::string ProgramFolder; // executable's folder with a trailing backslash
extern std::string SettingsFile;
extern std::string HelpFile;
extern std::string BrowserCommand; // empty until the first successful lookup

void InitShared();
void DoneShared();

// ---- Window classes and painting ----------------------------------------------------------

// Registers a program class: arrow cursor, no background brush (each window paints all of its
// client area), no menu, and the given icon (usually none).
void RegisterProgramClass(const char* name, WNDPROC procedure, HICON icon = nullptr);
// Fills the client area, one pixel wider and taller, with the button face.
void FillClientFace(HWND window, HDC dc);

// ---- Modal loop ---------------------------------------------------------------------------

constexpr int ModalOk = 1;
constexpr int ModalCancel = 2;

// Runs a nested loop until the window calls EndModal with a non-zero result. A WM_QUIT that
// arrives meanwhile destroys the window, re-enables the owner, returns ModalCancel and is
// posted again for the outer loop.
int RunModal(HWND window, HWND owner);
void EndModal(int result, HWND owner);

// ---- Geometry -------------------------------------------------------------------------------

inline int32_t IntMin(int32_t a, int32_t b) {
    return b > a ? a : b;
}
inline int32_t IntMax(int32_t a, int32_t b) {
    return b < a ? a : b;
}
void AlignToOwner(HWND owner, WindowBox& box);
void ClampToWorkArea(WindowBox& box);
void CenterOnScreen(const WindowBox& source, WindowBox& destination);
void ScaleBox(const WindowBox& source, WindowBox& destination);
void ScalePoint(const IntPair& source, IntPair& destination);
int32_t ScaleValue(int32_t value); // one number rounded like ScaleBox

// ---- Paths and the browser -------------------------------------------------------------------

// Folder part of a full executable path, with a trailing backslash ("C:\Apps\x.exe" -> "C:\Apps\").
std::string FolderOfPath(const char* path);
// The executable named by a registered open command ("\"C:\...\web.exe\" -- %1" -> C:\...\web.exe).
std::string BrowserFromCommand(const char* command);
void OpenWebPage(const char* url);
// Tests replace the browser start; null in the program.
extern void (*OpenWebPageHook)(const char* url);
