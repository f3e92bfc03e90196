#pragma once
// The tests' shared vocabulary: rectangles, input, test window classes, texts, Tovane.dat bytes,
// the modal driver, the program's own start-up in-process, and one real Tovane.exe.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "app/App.h"
#include "ras/NRas.h"
#include "support/Driver.h"
#include "support/TestSupport.h"

// ---- Rectangles (RectOf, the outer box on screen, is in Driver.h) -----------------------------

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline std::ostream& operator<<(std::ostream& out, const RECT& r) {
    return out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}
RECT ClientOf(HWND window);
// A child's outer box in its parent's client coordinates.
RECT BoxInParent(HWND child);
// The same as x, y, width, height: the form the layout tables are written in.
std::vector<int> PlaceOf(HWND child);
SIZE SizeOf(HWND window);

// ---- Input ------------------------------------------------------------------------------------

// A key-down posted to the window, as the system does for a key press.
void PostKey(HWND target, WPARAM key);
// Shift as the keyboard state shows it to this thread.
void SetShift(bool down);
// A key-down posted to the focused window, with Shift held or not.
void PressKey(WPARAM key, bool shift = false);
// A key typed through SendInput (to the foreground window), with a modifier held when given.
void TypeKey(WORD key, WORD modifier = 0);
void TypeKeys(std::initializer_list<WORD> keys);
// Presses and releases, through SendInput, at a point of the screen (left button unless given).
void ClickAt(POINT screen, DWORD down = MOUSEEVENTF_LEFTDOWN, DWORD up = MOUSEEVENTF_LEFTUP);
// BM_CLICK: the button's own click.
void Click(HWND button);

// ---- Windows of the tests' own ----------------------------------------------------------------

// Registers the class once (later calls do nothing) and returns its name.
const char* TestClass(const char* name, WNDPROC proc = DefWindowProcA);
// A visible top-level window of the class at the box, standing in for an owner.
HWND TestWindow(const char* className, int x, int y, int width, int height);

// ---- Texts ------------------------------------------------------------------------------------

// A string field's text; "(null)" for a missing one.
std::string Text(const char* value);
void SetString(char*& field, const char* value);
// Lines of a text file that contain the text (all lines for an empty text), from a byte on.
std::vector<std::string> LinesWith(const std::string& path, const std::string& text,
                                   size_t from = 0);

// ---- Tovane.dat -------------------------------------------------------------------------------

std::string Int32Bytes(int32_t n);
int32_t Int32At(const std::string& bytes, size_t at);
// A stored string: its length, then its characters.
std::string StrBytes(const std::string& text);
// The file as the program writes it, in its order: the flags simple status, auto reconnect,
// shrink when connected, always on top; the window box; the entry, user name and password.
struct DatFile {
    uint8_t SimpleStatus = 1, AutoReconnect = 1, ShrinkWhenConnected = 1, AlwaysOnTop = 1;
    int32_t Left = 0, Top = 0, Width = 282, Height = 165;
    std::string Entry, User, Password;
    std::string Bytes() const;
    // A window not on top, at the box.
    static DatFile At(int32_t left, int32_t top, int32_t width = 282, int32_t height = 165);
};
// The problem boxes' fixed texts, ahead of the record file's message.
extern const std::string CorruptSettingsText;
extern const std::string SaveFailedText;
// What the program must write for its Settings as they are now.
std::string CurrentSettingsBytes();

// ---- The browser and the simulator's tool ---------------------------------------------------

// For the scope: ".html" opens with a browser, and ShellExecuteA as the program imports it
// records the parameters of each start (the address) and succeeds.
class BrowserStarts {
  public:
    BrowserStarts();
    ~BrowserStarts();
    BrowserStarts(const BrowserStarts&) = delete;
    BrowserStarts& operator=(const BrowserStarts&) = delete;
    const std::vector<std::string>& Opened() const;

  private:
    HtmlAssociation html_;
    void* saved_ = nullptr;
};

// Runs rassim.exe (beside the tests) with the arguments; its exit code, its output in output.
DWORD RunRassimTool(const std::string& arguments, std::string* output = nullptr);

// ---- Modal windows ----------------------------------------------------------------------------

// What DriveModal returns when it had to end a window that nothing else ended.
constexpr int ModalStuck = 99;
// Runs the window modally over its owner; the steps run one per timer tick from inside the loop.
// A window still open after giveUpMs is ended with ModalStuck, so a broken path fails instead of
// hanging.
int DriveModal(HWND window, HWND owner, std::vector<std::function<void()>> steps,
               DWORD giveUpMs = 8000);

// ---- The program's start-up in this process ---------------------------------------------------

// StartTovane in a temporary folder holding the given Tovane.dat (none when empty), the poll
// timer stopped; at the end the main window is hidden (quick to destroy) and destroyed, and the
// shared state and dial-up library let go.
class StartedTovane {
  public:
    explicit StartedTovane(const std::string& dat = std::string(), TStartOptions options = {});
    ~StartedTovane();
    StartedTovane(const StartedTovane&) = delete;
    StartedTovane& operator=(const StartedTovane&) = delete;
    bool Started = false;
    TempFolder Folder;
};

// ---- One real Tovane.exe ----------------------------------------------------------------------

// Tovane.exe in a temporary folder, with the simulated dial-up service beside it when asked.
class TovaneRun {
  public:
    TovaneRun() = default;
    ~TovaneRun(); // a program still running is closed, and must end with 0
    TovaneRun(const TovaneRun&) = delete;
    TovaneRun& operator=(const TovaneRun&) = delete;
    // The simulator beside the program, with the phone book, its state and journal here.
    bool WithSimulator(const std::string& phoneBook);
    void WriteDat(const std::string& bytes) { WriteWholeFile(Folder.File("Tovane.dat"), bytes); }
    std::string Dat() const { return ReadWholeFile(Folder.File("Tovane.dat")); }
    // Starts the program and waits for its main window.
    bool Start();
    // Posts a command to the main window and waits for the window of the class.
    HWND Command(UINT id, const char* className);
    // Closes the main window and waits for the exit: true when it ended with 0.
    bool Close();
    // Journal lines of this run of the program that contain the text.
    std::vector<std::string> Journal(const std::string& text) const;
    TempFolder Folder;
    TovaneProcess Process;
    HWND Main = nullptr;

  private:
    std::vector<std::pair<std::string, std::string>> env_;
};
