#include "app/NCommandLine.h"

#include <cstdio>

const char UsageText[] = "Tovane.exe [switch...]\n\n"
                         "/connect\tdials the chosen connection\n"
                         "/disconnect\thangs up\n"
                         "/tray\tstarts in the tray, or goes there\n"
                         "/exit\tends the copy running from this folder\n"
                         "/?\tshows this list\n\n"
                         "A switch may start with / or - and be in any case. A second start from "
                         "the folder of a running copy hands its switches to that copy.";

static constexpr struct {
    const char* Name;
    TSwitch Switch;
} SwitchNames[] = {{"connect", TSwitch::Connect},
                   {"disconnect", TSwitch::Disconnect},
                   {"tray", TSwitch::Tray},
                   {"exit", TSwitch::Exit},
                   {"?", TSwitch::Usage}};

// Tags a handover among the copy-data messages a window may get; the bytes are the switches.
static constexpr ULONG_PTR HandoverTag = 0x54765331;
static constexpr size_t HandoverLimit = 64;
static constexpr DWORD ClaimRetryMs = 50;

// ---- Parsing ------------------------------------------------------------------------------------

// Blank-separated arguments, quotes removed; the first (the program's name) is dropped. Blanks
// and quotes are below every trail byte of a double-byte code page.
static std::vector<std::string> Arguments(const char* line) {
    std::vector<std::string> arguments;
    std::string current;
    bool quoted = false, started = false;
    for (const char* p = line ? line : "";; ++p) {
        const char c = *p;
        if (c == 0 || (!quoted && (c == ' ' || c == '\t'))) {
            if (started) arguments.push_back(current);
            current.clear();
            started = false;
            if (c == 0) break;
            continue;
        }
        started = true;
        if (c == '"')
            quoted = !quoted;
        else
            current += c;
    }
    if (!arguments.empty()) arguments.erase(arguments.begin());
    return arguments;
}

static bool SameNoCase(const std::string& text, const char* name) {
    size_t i = 0;
    for (; i < text.size() && name[i]; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != name[i]) return false;
    }
    return i == text.size() && name[i] == 0;
}

TCommandLine ParseCommandLine(const char* commandLine) {
    TCommandLine line;
    for (const std::string& argument : Arguments(commandLine)) {
        bool known = false;
        if (argument.size() > 1 && (argument[0] == '/' || argument[0] == '-')) {
            for (const auto& entry : SwitchNames) {
                if (!SameNoCase(argument.substr(1), entry.Name)) continue;
                line.Switches.push_back(entry.Switch);
                known = true;
            }
        }
        if (!known) {
            line.Unknown = argument;
            break;
        }
    }
    return line;
}

bool HasSwitch(const TCommandLine& line, TSwitch which) {
    for (TSwitch s : line.Switches)
        if (s == which) return true;
    return false;
}

std::string UnknownSwitchText(const std::string& argument) {
    return "Unknown switch \"" + argument + "\".\n\nTovane.exe /? lists the switches.";
}

// ---- One copy per folder
// -------------------------------------------------------------------------

static HANDLE FolderClaim = nullptr;
static volatile LONG* FolderWindow = nullptr; // the published main window, in the claim's memory

// Short names and case do not make another folder: the hash is of the long, lower-case path.
std::string FolderObjectName(const std::string& folder) {
    char longPath[MAX_PATH * 2] = {};
    DWORD n = GetLongPathNameA(folder.c_str(), longPath, sizeof longPath);
    std::string path = n > 0 && n < sizeof longPath ? std::string(longPath, n) : folder;
    CharLowerBuffA(path.data(), static_cast<DWORD>(path.size()));
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (unsigned char c : path) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char name[64];
    std::snprintf(name, sizeof name, "Local\\Tovane.Folder.%016llx",
                  static_cast<unsigned long long>(hash));
    return name;
}

static HWND PublishedWindow(HANDLE mapping) {
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(LONG));
    if (!view) return nullptr;
    LONG value = *static_cast<volatile LONG*>(view);
    UnmapViewOfFile(view);
    // Window handles have 32 significant bits in both builds.
    HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
    return window && IsWindow(window) ? window : nullptr;
}

THandover ClaimFolderOrHandOver(const std::string& folder, const std::vector<TSwitch>& switches,
                                DWORD timeoutMs) {
    const std::string name = FolderObjectName(folder);
    COPYDATASTRUCT data = {HandoverTag, static_cast<DWORD>(switches.size()),
                           const_cast<TSwitch*>(switches.data())};
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            sizeof(LONG), name.c_str());
        // Without the object (its name taken by another kind) the copies stay independent.
        if (!mapping) return THandover::Claimed;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            FolderClaim = mapping;
            FolderWindow = static_cast<volatile LONG*>(
                MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
            return THandover::Claimed;
        }
        // The running copy may still be starting, or ending: then its window is not there yet,
        // or no longer, and the claim is tried again until the time is up.
        HWND window = PublishedWindow(mapping);
        CloseHandle(mapping);
        if (window) {
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            AllowSetForegroundWindow(pid); // a copy brought to the front may take the foreground
            const ULONGLONG now = GetTickCount64();
            const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 1;
            DWORD_PTR taken = 0;
            if (SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                    SMTO_ABORTIFHUNG, left, &taken)) {
                if (taken) return THandover::HandedOver;
            } else if (IsWindow(window)) {
                return THandover::NoAnswer;
            }
        }
        if (GetTickCount64() >= deadline) return THandover::NoAnswer;
        Sleep(ClaimRetryMs);
    }
}

void PublishMainWindow(HWND window) {
    if (FolderWindow)
        InterlockedExchange(FolderWindow, static_cast<LONG>(reinterpret_cast<LONG_PTR>(window)));
}

void ReleaseFolder() {
    if (FolderWindow) UnmapViewOfFile(const_cast<LONG*>(FolderWindow));
    if (FolderClaim) CloseHandle(FolderClaim);
    FolderWindow = nullptr;
    FolderClaim = nullptr;
}

bool ReadHandover(const COPYDATASTRUCT* data, std::vector<TSwitch>& switches) {
    if (!data || data->dwData != HandoverTag || data->cbData > HandoverLimit) return false;
    if (data->cbData && !data->lpData) return false;
    switches.clear();
    const auto* bytes = static_cast<const uint8_t*>(data->lpData);
    for (DWORD i = 0; i < data->cbData; ++i) {
        // Only what a running copy can do; a usage request never leaves the second start.
        if (bytes[i] < static_cast<uint8_t>(TSwitch::Connect) ||
            bytes[i] > static_cast<uint8_t>(TSwitch::Exit))
            return false;
        switches.push_back(static_cast<TSwitch>(bytes[i]));
    }
    return true;
}
