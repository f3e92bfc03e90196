#include "support/Harness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "app/WMain.h"
#include "common/NCommon.h"
#include "common/NModal.h"
#include "ras/NRas.h"

RECT ClientOf(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    return r;
}

RECT BoxInParent(HWND child) {
    RECT r = RectOf(child);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::vector<int> PlaceOf(HWND child) {
    RECT r = BoxInParent(child);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

SIZE SizeOf(HWND window) {
    RECT r = RectOf(window);
    return {r.right - r.left, r.bottom - r.top};
}

void PostKey(HWND target, WPARAM key) {
    PostMessageA(target, WM_KEYDOWN, key, 1);
}

void SetShift(bool down) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

void PressKey(WPARAM key, bool shift) {
    SetShift(shift);
    PostKey(GetFocus(), key);
}

static INPUT KeyInput(WORD key, bool up) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}

void TypeKey(WORD key, WORD modifier) {
    std::vector<INPUT> in;
    if (modifier) in.push_back(KeyInput(modifier, false));
    in.push_back(KeyInput(key, false));
    in.push_back(KeyInput(key, true));
    if (modifier) in.push_back(KeyInput(modifier, true));
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

void TypeKeys(std::initializer_list<WORD> keys) {
    for (WORD key : keys)
        TypeKey(key);
}

void ClickAt(POINT screen, DWORD down, DWORD up) {
    INPUT in[3] = {};
    for (INPUT& i : in)
        i.type = INPUT_MOUSE;
    // Absolute positions are in 0..65535 across the primary screen.
    in[0].mi.dx = MulDiv(screen.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    in[0].mi.dy = MulDiv(screen.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = down;
    in[2].mi.dwFlags = up;
    SendInput(3, in, sizeof(INPUT));
}

void Click(HWND button) {
    SendMessageA(button, BM_CLICK, 0, 0);
}

const char* TestClass(const char* name, WNDPROC proc) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    RegisterClassA(&wc); // fails harmlessly once registered
    return name;
}

HWND TestWindow(const char* className, int x, int y, int width, int height) {
    HWND window = CreateWindowExA(0, className, "owner", WS_OVERLAPPEDWINDOW, x, y, width, height,
                                  nullptr, nullptr, nullptr, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    return window;
}

std::string Text(const char* value) {
    return value ? value : "(null)";
}

void SetString(char*& field, const char* value) {
    ReplaceString(field, NewString(value));
}

std::vector<std::string> LinesWith(const std::string& path, const std::string& text, size_t from) {
    std::string all = ReadWholeFile(path);
    std::vector<std::string> found;
    size_t at = from;
    while (at < all.size()) {
        size_t end = all.find('\n', at);
        std::string line = all.substr(at, end == std::string::npos ? end : end - at);
        if (line.find(text) != std::string::npos) found.push_back(line);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return found;
}

std::string Int32Bytes(int32_t n) {
    return std::string(reinterpret_cast<const char*>(&n), 4);
}

int32_t Int32At(const std::string& bytes, size_t at) {
    int32_t n = 0;
    if (at + 4 <= bytes.size()) std::memcpy(&n, bytes.data() + at, 4);
    return n;
}

std::string StrBytes(const std::string& text) {
    return Int32Bytes(static_cast<int32_t>(text.size())) + text;
}

std::string DatFile::Bytes() const {
    std::string bytes = {static_cast<char>(SimpleStatus), static_cast<char>(AutoReconnect),
                         static_cast<char>(ShrinkWhenConnected), static_cast<char>(AlwaysOnTop)};
    for (int32_t v : {Left, Top, Width, Height})
        bytes += Int32Bytes(v);
    return bytes + StrBytes(Entry) + StrBytes(User) + StrBytes(Password);
}

DatFile DatFile::At(int32_t left, int32_t top, int32_t width, int32_t height) {
    DatFile dat;
    dat.AlwaysOnTop = 0;
    dat.Left = left;
    dat.Top = top;
    dat.Width = width;
    dat.Height = height;
    return dat;
}

const std::string CorruptSettingsText =
    "Tovane's settings file appears corrupted. The default settings will be used.\n\n"
    "Is the hard disk full? \nRun ScanDisk?\n\n";
const std::string SaveFailedText = "Tovane was unable to save your settings. \n\n"
                                   "Is the hard disk full? \n"
                                   "Are you trying to run Tovane from a read-only CD-ROM?\n\n";

std::string CurrentSettingsBytes() {
    std::string bytes(reinterpret_cast<const char*>(static_cast<SettingsRecord*>(&Settings)),
                      sizeof(SettingsRecord));
    for (const char* s : {Settings.ConnectionName, Settings.UserName, Settings.Password})
        bytes += StrBytes(s ? s : "");
    return bytes;
}

static std::vector<std::string> BrowserOpened;

static HINSTANCE WINAPI RecordBrowserStart(HWND, LPCSTR, LPCSTR, LPCSTR parameters, LPCSTR, INT) {
    BrowserOpened.push_back(parameters ? parameters : "(null)");
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33)); // success: above 32
}

BrowserStarts::BrowserStarts() {
    BrowserOpened.clear();
    html_.Set("C:\\Web\\browser.exe %1");
    saved_ =
        ReplaceImport("shell32.dll", "ShellExecuteA", reinterpret_cast<void*>(RecordBrowserStart));
}

BrowserStarts::~BrowserStarts() {
    ReplaceImport("shell32.dll", "ShellExecuteA", saved_);
}

const std::vector<std::string>& BrowserStarts::Opened() const {
    return BrowserOpened;
}

DWORD RunRassimTool(const std::string& arguments, std::string* output) {
    TempFolder folder;
    std::string outFile = folder.File("tool-output.txt");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::string exe = ExeFolder() + "rassim\\rassim.exe";
    std::string commandLine = "\"" + exe + "\" " + arguments;
    DWORD code = 999;
    if (CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, 20000);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(out);
    if (output) *output = ReadWholeFile(outFile);
    return code;
}

namespace {
HWND stuckWindow = nullptr;
void CALLBACK GiveUp(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (!IsWindow(stuckWindow)) return;
    EndModal(stuckWindow, ModalStuck);
    DestroyWindow(stuckWindow);
}
} // namespace

int DriveModal(HWND window, HWND owner, std::vector<std::function<void()>> steps, DWORD giveUpMs) {
    if (!window) return -1;
    stuckWindow = window;
    RunStepsOnTimer(std::move(steps), 20);
    UINT_PTR guard = SetTimer(nullptr, 0, giveUpMs, GiveUp);
    int result = RunModal(window, owner);
    KillTimer(nullptr, guard);
    ClearTimerSteps();
    stuckWindow = nullptr;
    return result;
}

StartedTovane::StartedTovane(const std::string& dat, TStartOptions options) {
    std::string file = Folder.File("Tovane.dat");
    if (!dat.empty()) WriteWholeFile(file, dat);
    if (!options.SettingsFile) options.SettingsFile = file.c_str();
    Started = StartTovane(options);
    if (Started) KillTimer(MainWindow, PollTimerId);
    PumpMessages(50);
}

StartedTovane::~StartedTovane() {
    if (IsWindow(MainWindow)) {
        KillTimer(MainWindow, PollTimerId);
        ShowWindow(MainWindow, SW_HIDE);
        DestroyWindow(MainWindow);
    }
    // The window's end posted WM_QUIT: take it, or it would end a later loop.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT) DispatchMessageA(&msg);
    if (Started) {
        DoneShared();
        FreeRasApi();
    }
}

TovaneRun::~TovaneRun() {
    if (Process.Running()) {
        EXPECT_TRUE(Close()) << "the program did not end with 0";
    }
}

bool TovaneRun::WithSimulator(const std::string& phoneBook) {
    WriteWholeFile(Folder.File("rassim.ini"), phoneBook);
    env_ = {{"RASSIM_CONFIG", Folder.File("rassim.ini")},
            {"RASSIM_STATE", Folder.File("rassim.state")},
            {"RASSIM_JOURNAL", Folder.File("journal.txt")}};
    return CopyBesideTests("rassim\\rasapi32.dll", Folder.Path(), "rasapi32.dll");
}

bool TovaneRun::Start() {
    Main = nullptr;
    if (!Process.Start(Folder.Path(), env_)) return false;
    Main = Process.WaitForWindow("TovaneMainWndClass");
    return Main != nullptr;
}

HWND TovaneRun::Command(UINT id, const char* className) {
    PostMessageA(Main, WM_COMMAND, id, 0);
    return Process.WaitForWindow(className);
}

bool TovaneRun::Close() {
    return Process.CloseMain() && Process.ExitCode() == 0;
}

std::vector<std::string> TovaneRun::Journal(const std::string& text) const {
    char pid[32];
    wsprintfA(pid, " %lu ", Process.Pid());
    std::vector<std::string> found;
    for (const std::string& line : LinesWith(Folder.File("journal.txt"), pid))
        if (line.find(text) != std::string::npos) found.push_back(line);
    return found;
}
