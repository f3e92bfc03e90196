#include "TestSupport.h"

#include <deque>
#include <fstream>
#include <sstream>
#include <vector>

static void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = folder + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full + "\\");
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find, &fd));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

TempFolder::TempFolder() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        char name[MAX_PATH * 2];
        wsprintfA(name, "%stovane-test-%lu-%lu-%ld\\", base, GetCurrentProcessId(), GetTickCount(),
                  InterlockedIncrement(&counter));
        if (CreateDirectoryA(name, nullptr)) {
            path_ = name;
            return;
        }
    }
}

TempFolder::~TempFolder() {
    RemoveTree(path_);
}

std::string ReadWholeFile(const std::string& path, bool* exists) {
    std::ifstream in(path, std::ios::binary);
    if (exists) *exists = static_cast<bool>(in);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD OpenHandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
    count = 0;
    for (uintptr_t value = 4; value < 0x4000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

std::string ExeFolder() {
    char path[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string text = path;
    return text.substr(0, text.find_last_of('\\') + 1);
}

void PumpMessages(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done()) return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  timeoutMs - elapsed < 10 ? timeoutMs - elapsed : 10, QS_ALLINPUT);
    }
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    char buffer[32768];
    DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    had_ = n > 0 && n < sizeof buffer;
    if (had_) old_.assign(buffer, n);
    SetEnvironmentVariableA(name, value);
}

ScopedEnv::~ScopedEnv() {
    SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr);
}

static std::deque<std::function<void()>> TimerSteps;

static void CALLBACK RunNextTimerStep(HWND, UINT, UINT_PTR id, DWORD) {
    if (TimerSteps.empty()) {
        KillTimer(nullptr, id);
        return;
    }
    std::function<void()> step = std::move(TimerSteps.front());
    TimerSteps.pop_front();
    step();
}

void RunStepsOnTimer(std::vector<std::function<void()>> steps, UINT periodMs) {
    for (auto& step : steps)
        TimerSteps.push_back(std::move(step));
    SetTimer(nullptr, 0, periodMs, RunNextTimerStep);
}

void ClearTimerSteps() {
    TimerSteps.clear();
}

// ---- The .html association ------------------------------------------------------------------

static constexpr char TestClass[] = "TovaneTest.Page";
static constexpr char TestCommandKey[] = "TovaneTest.Page\\shell\\open\\command";

HtmlAssociation::HtmlAssociation() {
    char old[256] = {};
    LONG size = sizeof old;
    had_ = RegQueryValueA(HKEY_CLASSES_ROOT, ".html", old, &size) == ERROR_SUCCESS;
    old_ = old;
}

HtmlAssociation::~HtmlAssociation() {
    if (had_)
        RegSetValueA(HKEY_CLASSES_ROOT, ".html", REG_SZ, old_.c_str(), 0);
    else
        RegDeleteKeyA(HKEY_CLASSES_ROOT, ".html");
    for (const char* key :
         {TestCommandKey, "TovaneTest.Page\\shell\\open", "TovaneTest.Page\\shell", TestClass})
        RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
}

void HtmlAssociation::Set(const char* command) {
    RegSetValueA(HKEY_CLASSES_ROOT, ".html", REG_SZ, TestClass, 0);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, TestCommandKey);
    if (command) RegSetValueA(HKEY_CLASSES_ROOT, TestCommandKey, REG_SZ, command, 0);
}

void HtmlAssociation::SetNumber() {
    Set(nullptr);
    HKEY key = nullptr;
    RegCreateKeyA(HKEY_CLASSES_ROOT, TestCommandKey, &key);
    DWORD value = 1;
    RegSetValueExA(key, nullptr, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

// ---- Imports ------------------------------------------------------------------------------

void* ReplaceImport(const char* dll, const char* name, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
    for (; import->Name; ++import) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + import->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return previous;
        }
    }
    return nullptr;
}

static ULONGLONG(WINAPI* RealTickCount64)() = nullptr;
static ULONGLONG ClockOffset = 0;

static ULONGLONG WINAPI ShiftedTickCount64() {
    return RealTickCount64() + ClockOffset;
}

ClockShift::ClockShift() {
    ClockOffset = 0;
    RealTickCount64 = reinterpret_cast<ULONGLONG(WINAPI*)()>(ReplaceImport(
        "kernel32.dll", "GetTickCount64", reinterpret_cast<void*>(&ShiftedTickCount64)));
}

ClockShift::~ClockShift() {
    ReplaceImport("kernel32.dll", "GetTickCount64", reinterpret_cast<void*>(RealTickCount64));
}

void ClockShift::Advance(ULONGLONG milliseconds) {
    ClockOffset += milliseconds;
}

// ---- Closing secondary windows -----------------------------------------------------------

namespace {
struct CloseWatchState {
    HWND Owner = nullptr;
    HWND Decoy = nullptr;
    HHOOK Hook = nullptr;
    int Destroyed = 0;
    bool OwnerDisabledAtDestroy = false;
    bool DecoyActivated = false;
};
CloseWatchState Watch;

LRESULT CALLBACK WatchCalls(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const CWPSTRUCT& call = *reinterpret_cast<CWPSTRUCT*>(lParam);
        if (call.message == WM_DESTROY && GetWindow(call.hwnd, GW_OWNER) == Watch.Owner &&
            Watch.Owner) {
            ++Watch.Destroyed;
            if (!IsWindowEnabled(Watch.Owner)) Watch.OwnerDisabledAtDestroy = true;
        }
        if (call.hwnd == Watch.Decoy && call.message == WM_ACTIVATE &&
            LOWORD(call.wParam) != WA_INACTIVE)
            Watch.DecoyActivated = true;
    }
    return CallNextHookEx(Watch.Hook, code, wParam, lParam);
}
} // namespace

CloseWatch::CloseWatch(HWND owner) {
    Watch = CloseWatchState();
    Watch.Owner = owner;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TestCloseWatchDecoy";
    RegisterClassA(&wc);
    RECT r = {};
    GetWindowRect(owner, &r);
    Watch.Decoy = CreateWindowExA(0, wc.lpszClassName, "decoy", WS_OVERLAPPEDWINDOW, r.left + 40,
                                  r.top + 40, 200, 120, nullptr, nullptr, nullptr, nullptr);
    SetWindowPos(Watch.Decoy, owner, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    Watch.Hook = SetWindowsHookExA(WH_CALLWNDPROC, WatchCalls, nullptr, GetCurrentThreadId());
    Reset();
}

CloseWatch::~CloseWatch() {
    UnhookWindowsHookEx(Watch.Hook);
    ShowWindow(Watch.Decoy, SW_HIDE);
    DestroyWindow(Watch.Decoy);
    Watch = CloseWatchState();
}

void CloseWatch::Reset() {
    Watch.Destroyed = 0;
    Watch.OwnerDisabledAtDestroy = false;
    Watch.DecoyActivated = false;
}

int CloseWatch::Destroyed() const {
    return Watch.Destroyed;
}

std::string CloseWatch::Problem() const {
    std::string problem;
    if (Watch.Destroyed == 0) problem += "no window was destroyed; ";
    if (Watch.OwnerDisabledAtDestroy) problem += "destroyed while the owner was disabled; ";
    if (Watch.DecoyActivated) problem += "another window was activated; ";
    if (!IsWindowEnabled(Watch.Owner)) problem += "the owner is left disabled; ";
    if (GetActiveWindow() != Watch.Owner) problem += "the owner is not active; ";
    return problem;
}
