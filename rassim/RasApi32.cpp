// The simulated dial-up service: the seven ANSI entry points of rasapi32.dll, with the platform's
// calling convention and its oldest record layouts.
#include <windows.h>

#include <cstring>
#include <string>

#include "SimConfig.h"
#include "SimJournal.h"
#include "SimTable.h"
#include "SimTexts.h"
#include "ras/NRas.h"

constexpr UINT WmRasDialEvent = 0xCCCD; // the message number a type-0 notifier receives
constexpr DWORD ErrorInvalidHandle = 6;
constexpr DWORD ErrorNotEnoughMemory = 8;
constexpr DWORD ErrorInvalidParameter = 87;
constexpr DWORD ErrorPortAlreadyOpen = 602;
constexpr DWORD ErrorBufferTooSmall = 603;
constexpr DWORD ErrorCannotFindEntry = 623;
constexpr DWORD ErrorUserDisconnection = 631;
constexpr DWORD ErrorInvalidSize = 632;

static const char SimDeviceType[] = "modem";
static const char SimDeviceName[] = "Simulated modem";

static HMODULE SimModule;

static std::string ModuleFolder() {
    char path[MAX_PATH * 2] = {};
    GetModuleFileNameA(SimModule, path, sizeof path);
    return SimFolderOf(path);
}

static TSimConfig CurrentConfig() {
    TSimConfig config;
    std::string path = SimConfigPath(ModuleFolder());
    ReadSimConfig(path, config);
    for (const std::string& problem : config.Problems)
        SimJournal("Config %s %s", JournalQuote(path.c_str()).c_str(), problem.c_str());
    return config;
}

static std::string StatePath() {
    return SimStatePath(ModuleFolder());
}

// The caller's text fields need not be terminated: never read past the field.
static std::string FieldText(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

static void CopyField(char* field, size_t size, const std::string& text) {
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

static HRASCONN ToHandle(uint32_t value) {
    return reinterpret_cast<HRASCONN>(static_cast<uintptr_t>(value));
}

static bool FromHandle(HRASCONN handle, uint32_t& value) {
    uintptr_t v = reinterpret_cast<uintptr_t>(handle);
    if (v == 0 || v > 0xFFFFFFFFu) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

// ---- Enumeration ------------------------------------------------------------------------------

static DWORD EnumEntries(LPCSTR reserved, RASENTRYNAMEA* entries, DWORD* bytes, DWORD* count,
                         DWORD& listed) {
    TSimConfig config = CurrentConfig();
    if (config.EnumEntriesError) return config.EnumEntriesError;
    if (reserved || !bytes || !count) return ErrorInvalidParameter;
    if (entries && entries->dwSize != sizeof(RASENTRYNAMEA)) return ErrorInvalidSize;
    DWORD n = static_cast<DWORD>(config.Entries.size());
    DWORD needed = n * sizeof(RASENTRYNAMEA);
    if ((!entries && n > 0) || *bytes < needed) {
        *bytes = needed;
        *count = n;
        return ErrorBufferTooSmall;
    }
    for (DWORD i = 0; i < n; ++i) {
        entries[i].dwSize = sizeof(RASENTRYNAMEA);
        CopyField(entries[i].szEntryName, sizeof entries[i].szEntryName, config.Entries[i].Name);
    }
    *bytes = needed;
    *count = listed = n;
    return 0;
}

extern "C" DWORD WINAPI RasEnumEntriesA(LPCSTR reserved, LPCSTR phoneBook, RASENTRYNAMEA* entries,
                                        DWORD* bytes, DWORD* count) {
    DWORD size = entries ? entries->dwSize : 0;
    DWORD given = bytes ? *bytes : 0;
    DWORD listed = 0;
    DWORD result = EnumEntries(reserved, entries, bytes, count, listed);
    SimJournal("RasEnumEntriesA size=%lu bytes=%lu phonebook=%s -> %lu count=%lu", size, given,
               JournalQuote(phoneBook).c_str(), result, listed);
    return result;
}

static DWORD EnumConnections(RASCONNA* connections, DWORD* bytes, DWORD* count, DWORD& listed) {
    TSimConfig config = CurrentConfig();
    if (config.EnumConnectionsError) return config.EnumConnectionsError;
    if (!bytes || !count) return ErrorInvalidParameter;
    if (connections && connections->dwSize != sizeof(RASCONNA)) return ErrorInvalidSize;
    TSimTable table;
    WithSimTable(StatePath(), [&](TSimTable& current) {
        table = current;
        return false;
    });
    DWORD n = static_cast<DWORD>(table.Connections.size());
    DWORD needed = n * sizeof(RASCONNA);
    if ((!connections && n > 0) || *bytes < needed) {
        *bytes = needed;
        *count = n;
        return ErrorBufferTooSmall;
    }
    for (DWORD i = 0; i < n; ++i) {
        RASCONNA& c = connections[i];
        c.dwSize = sizeof(RASCONNA);
        c.hrasconn = ToHandle(table.Connections[i].Handle);
        CopyField(c.szEntryName, sizeof c.szEntryName, table.Connections[i].Entry);
        CopyField(c.szDeviceType, sizeof c.szDeviceType, SimDeviceType);
        CopyField(c.szDeviceName, sizeof c.szDeviceName, SimDeviceName);
    }
    *bytes = needed;
    *count = listed = n;
    return 0;
}

extern "C" DWORD WINAPI RasEnumConnectionsA(RASCONNA* connections, DWORD* bytes, DWORD* count) {
    DWORD size = connections ? connections->dwSize : 0;
    DWORD given = bytes ? *bytes : 0;
    DWORD listed = 0;
    DWORD result = EnumConnections(connections, bytes, count, listed);
    SimJournal("RasEnumConnectionsA size=%lu bytes=%lu -> %lu count=%lu", size, given, result,
               listed);
    return result;
}

// ---- Status and hang-up -------------------------------------------------------------------

static DWORD GetConnectStatus(HRASCONN handle, RASCONNSTATUSA* status) {
    TSimConfig config = CurrentConfig();
    if (config.GetConnectStatusError) return config.GetConnectStatusError;
    if (!status) return ErrorInvalidParameter;
    if (status->dwSize != sizeof(RASCONNSTATUSA)) return ErrorInvalidSize;
    uint32_t value = 0;
    if (!FromHandle(handle, value)) return ErrorInvalidHandle;
    bool found = false;
    TSimStatus now = {0, 0};
    WithSimTable(StatePath(), [&](TSimTable& table) {
        if (const TSimConnection* c = FindConnection(table, value)) {
            found = true;
            now = StatusAt(*c, SimNow());
        }
        return false;
    });
    if (!found) return ErrorInvalidHandle;
    status->rasconnstate = now.State;
    status->dwError = now.Error;
    CopyField(status->szDeviceType, sizeof status->szDeviceType, SimDeviceType);
    CopyField(status->szDeviceName, sizeof status->szDeviceName, SimDeviceName);
    return 0;
}

extern "C" DWORD WINAPI RasGetConnectStatusA(HRASCONN handle, RASCONNSTATUSA* status) {
    DWORD size = status ? status->dwSize : 0;
    DWORD result = GetConnectStatus(handle, status);
    if (result == 0)
        SimJournal("RasGetConnectStatusA handle=%lu size=%lu -> 0 state=%ld error=%lu",
                   static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle)), size,
                   static_cast<long>(status->rasconnstate), status->dwError);
    else
        SimJournal("RasGetConnectStatusA handle=%lu size=%lu -> %lu",
                   static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle)), size, result);
    return result;
}

static DWORD HangUp(HRASCONN handle) {
    uint32_t value = 0;
    if (!FromHandle(handle, value)) return ErrorInvalidHandle;
    bool found = false;
    WithSimTable(StatePath(), [&](TSimTable& table) {
        TSimConnection* c = FindConnection(table, value);
        if (!c) return false;
        found = true;
        if (IsHangingUp(*c)) return false; // a second hang-up changes nothing
        c->HangUpAt = SimNow();
        return true;
    });
    return found ? 0 : ErrorInvalidHandle;
}

extern "C" DWORD WINAPI RasHangUpA(HRASCONN handle) {
    DWORD result = HangUp(handle);
    SimJournal("RasHangUpA handle=%lu -> %lu",
               static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle)), result);
    return result;
}

// ---- Error texts --------------------------------------------------------------------------

static DWORD GetErrorString(UINT code, LPSTR buffer, DWORD size) {
    if (!buffer || size == 0) return ErrorInvalidParameter;
    const char* text = SimErrorText(code);
    if (!text) return ErrorInvalidParameter;
    size_t length = std::strlen(text);
    if (length + 1 > size) return ErrorBufferTooSmall;
    std::memcpy(buffer, text, length + 1);
    return 0;
}

extern "C" DWORD WINAPI RasGetErrorStringA(UINT code, LPSTR buffer, DWORD size) {
    DWORD result = GetErrorString(code, buffer, size);
    SimJournal("RasGetErrorStringA code=%u size=%lu -> %lu", code, size, result);
    return result;
}

// ---- Dialling -----------------------------------------------------------------------------

namespace {
struct DialJob {
    uint32_t Handle;
    std::string StatePath;
    RasDialFunc Notifier;
    int64_t Start;
    std::vector<TSimStep> Steps;
};
} // namespace

static void Notify(const DialJob& job, int32_t state, DWORD error) {
    SimJournal("Notify handle=%lu state=%ld error=%lu thread=%lu",
               static_cast<unsigned long>(job.Handle), static_cast<long>(state), error,
               GetCurrentThreadId());
    if (job.Notifier) job.Notifier(WmRasDialEvent, state, error);
}

// Reports each step when its time comes; stops when the connection is hung up or dropped.
// Returns the error the dial ended with, 0 when it connected.
static DWORD RunDial(const DialJob& job) {
    int32_t lastState = 0;
    for (const TSimStep& step : job.Steps) {
        int64_t wait = job.Start + step.At - SimNow();
        if (wait > 0) Sleep(static_cast<DWORD>(wait));
        bool found = false;
        TSimConnection now;
        WithSimTable(job.StatePath, [&](TSimTable& table) {
            if (const TSimConnection* c = FindConnection(table, job.Handle)) {
                found = true;
                now = *c;
            }
            return false;
        });
        if (!found || IsHangingUp(now)) return ErrorUserDisconnection;
        if (IsDropped(now, SimNow())) {
            Notify(job, lastState, now.DropCode);
            return now.DropCode;
        }
        Notify(job, step.State, step.Error);
        lastState = step.State;
        if (step.Error) return step.Error;
    }
    return 0;
}

static DWORD WINAPI DialThread(void* param) {
    auto* job = static_cast<DialJob*>(param);
    RunDial(*job);
    delete job;
    // The thread holds its own reference on this library: a caller may free it mid-dial.
    FreeLibraryAndExitThread(SimModule, 0);
    return 0;
}

static DWORD StartDial(DialJob* job) {
    HMODULE reference = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&DialThread), &reference);
    HANDLE thread = CreateThread(nullptr, 0, DialThread, job, 0, nullptr);
    if (!thread) {
        if (reference) FreeLibrary(reference);
        return ErrorNotEnoughMemory;
    }
    CloseHandle(thread);
    return 0;
}

static DWORD Dial(RASDIALPARAMSA* params, DWORD notifierType, void* notifier, HRASCONN* handle,
                  uint32_t& dialled) {
    if (!params || !handle) return ErrorInvalidParameter;
    if (params->dwSize != sizeof(RASDIALPARAMSA)) return ErrorInvalidSize;
    if (notifier && notifierType != 0) return ErrorInvalidParameter; // only RasDialFunc is known
    if (*handle) return ErrorInvalidHandle;                          // no paused dial to resume
    TSimConfig config = CurrentConfig();
    std::string entryName = FieldText(params->szEntryName, sizeof params->szEntryName);
    const TSimEntry* entry = FindSimEntry(config, entryName.c_str());
    if (!entry) return ErrorCannotFindEntry;
    if (entry->DialError) return entry->DialError;

    std::string user = FieldText(params->szUserName, sizeof params->szUserName);
    std::string password = FieldText(params->szPassword, sizeof params->szPassword);
    if (entry->HasSavedPassword && password == SimSavedPasswordHandle)
        password = entry->SavedPassword;
    auto* job = new DialJob{0, StatePath(), reinterpret_cast<RasDialFunc>(notifier), SimNow(),
                            BuildDialSteps(*entry, user.c_str(), password.c_str())};
    SecureZeroMemory(password.data(), password.size());
    int64_t connectedAt = ConnectedAt(job->Steps);
    bool inUse = false;
    WithSimTable(job->StatePath, [&](TSimTable& table) {
        if (FindConnectionOf(table, entry->Name)) {
            inUse = true;
            return false;
        }
        TSimConnection c;
        c.Handle = table.NextHandle++;
        c.Pid = GetCurrentProcessId();
        c.Entry = entry->Name;
        c.Start = job->Start;
        c.Steps = job->Steps;
        if (entry->DropAfterSeconds && connectedAt >= 0) {
            c.DropAt = c.Start + connectedAt + static_cast<int64_t>(entry->DropAfterSeconds) * 1000;
            c.DropCode = SimDefaultDropCode;
        }
        c.HangUpMs = entry->HangUpMs;
        table.Connections.push_back(c);
        job->Handle = c.Handle;
        return true;
    });
    if (inUse) {
        delete job;
        return ErrorPortAlreadyOpen;
    }
    *handle = ToHandle(job->Handle);
    dialled = job->Handle;
    if (!notifier) { // without a notifier the platform dials synchronously
        DWORD result = RunDial(*job);
        delete job;
        return result;
    }
    return StartDial(job);
}

extern "C" DWORD WINAPI RasDialA(void* extensions, LPCSTR phoneBook, RASDIALPARAMSA* params,
                                 DWORD notifierType, void* notifier, HRASCONN* handle) {
    (void)extensions;
    uint32_t dialled = 0;
    DWORD result = Dial(params, notifierType, notifier, handle, dialled);
    std::string entry, user;
    const char* password = "no";
    if (params) {
        entry = JournalQuote(FieldText(params->szEntryName, sizeof params->szEntryName).c_str());
        user = JournalQuote(FieldText(params->szUserName, sizeof params->szUserName).c_str());
        if (params->szPassword[0] != '\0')
            password = std::strncmp(params->szPassword, SimSavedPasswordHandle,
                                    sizeof params->szPassword) == 0
                           ? "saved"
                           : "yes";
    }
    SimJournal("RasDialA size=%lu entry=%s user=%s password=%s phonebook=%s notifier=%lu%s -> "
               "%lu handle=%lu",
               params ? params->dwSize : 0, entry.c_str(), user.c_str(), password,
               JournalQuote(phoneBook).c_str(), notifierType, notifier ? "" : "(none)", result,
               static_cast<unsigned long>(dialled));
    return result;
}

// ---- Saved credentials ------------------------------------------------------------------

// Fills the record as the platform does: the entry name stays, the saved user name and, when a
// password was saved, the handle that stands for it; every other field is cleared.
static DWORD GetEntryDialParams(RASDIALPARAMSA* params, BOOL* saved, std::string& entryName) {
    if (!params || !saved) return ErrorInvalidParameter;
    if (params->dwSize != sizeof(RASDIALPARAMSA)) return ErrorInvalidSize;
    TSimConfig config = CurrentConfig();
    entryName = FieldText(params->szEntryName, sizeof params->szEntryName);
    const TSimEntry* entry = FindSimEntry(config, entryName.c_str());
    if (!entry) return ErrorCannotFindEntry;
    *params = RASDIALPARAMSA{};
    params->dwSize = sizeof(RASDIALPARAMSA);
    CopyField(params->szEntryName, sizeof params->szEntryName, entryName);
    CopyField(params->szUserName, sizeof params->szUserName, entry->SavedUser);
    if (entry->HasSavedPassword)
        CopyField(params->szPassword, sizeof params->szPassword, SimSavedPasswordHandle);
    *saved = entry->HasSavedPassword ? TRUE : FALSE;
    return 0;
}

// The journal tells only whether a password is saved: never the user name or the handle.
extern "C" DWORD WINAPI RasGetEntryDialParamsA(LPCSTR phoneBook, RASDIALPARAMSA* params,
                                               BOOL* saved) {
    DWORD size = params ? params->dwSize : 0;
    std::string entry;
    DWORD result = GetEntryDialParams(params, saved, entry);
    SimJournal("RasGetEntryDialParamsA size=%lu entry=%s phonebook=%s -> %lu saved=%s", size,
               JournalQuote(entry.c_str()).c_str(), JournalQuote(phoneBook).c_str(), result,
               result == 0 && *saved ? "yes" : "no");
    return result;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        SimModule = instance;
        DisableThreadLibraryCalls(instance);
        char exe[MAX_PATH * 2] = {};
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        SimJournal("Attach exe=%s", JournalQuote(exe).c_str());
    }
    return TRUE;
}
