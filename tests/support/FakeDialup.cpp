#include "support/FakeDialup.h"

#include <algorithm>
#include <cstring>

#include "app/NConnection.h"
#include "support/TestSupport.h"

FakeDialup Dialup;

std::string HexText(const void* value) {
    char text[24];
    wsprintfA(text, "%x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(value)));
    return text;
}

FakeLine* FakeDialup::Find(HRASCONN handle) {
    for (FakeLine& line : Lines)
        if (line.Handle == handle) return &line;
    return nullptr;
}

static DWORD WINAPI ReportThread(void* reports) {
    for (auto [state, error] : *static_cast<std::vector<std::pair<RASCONNSTATE, DWORD>>*>(reports))
        Dialup.Notifier(0xCCCD, state, error);
    return 0;
}

std::function<void()> Reports(std::vector<std::pair<RASCONNSTATE, DWORD>> reports) {
    return [reports]() mutable {
        HANDLE thread = CreateThread(nullptr, 0, ReportThread, &reports, 0, nullptr);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    };
}

// The names of a list are written unterminated, the count beyond its end, when Overfull.
template <typename Record>
static DWORD List(Record* list, DWORD* bytes, DWORD* count,
                  const std::vector<std::pair<std::string, HRASCONN>>& items) {
    if (Dialup.EnumResult) return Dialup.EnumResult;
    if (list[0].dwSize != sizeof(Record) || *bytes != sizeof(Record) * RasListCapacity) return 632;
    DWORD n = 0;
    for (const auto& [name, handle] : items) {
        if constexpr (requires { list[n].hrasconn; }) list[n].hrasconn = handle;
        lstrcpynA(list[n++].szEntryName, name.c_str(), RasMaxEntryName + 1);
    }
    if (Dialup.Overfull)
        for (n = 0; n < RasListCapacity; ++n)
            std::memset(list[n].szEntryName, 'x', sizeof list[n].szEntryName);
    *count = Dialup.Overfull ? 100000 : n;
    return 0;
}

static DWORD WINAPI EnumEntries(LPCSTR reserved, LPCSTR phoneBook, RASENTRYNAMEA* list,
                                DWORD* bytes, DWORD* count) {
    if (reserved || phoneBook) return 632; // the default phone book only
    std::vector<std::pair<std::string, HRASCONN>> items;
    for (const std::string& entry : Dialup.PhoneBook)
        items.push_back({entry, nullptr});
    return List(list, bytes, count, items);
}

static DWORD WINAPI EnumConnections(RASCONNA* list, DWORD* bytes, DWORD* count) {
    std::vector<std::pair<std::string, HRASCONN>> items;
    for (const FakeLine& line : Dialup.Lines)
        if (!line.HungUp) items.push_back({line.Entry, line.Handle});
    return List(list, bytes, count, items);
}

static DWORD WINAPI GetConnectStatus(HRASCONN handle, RASCONNSTATUSA* status) {
    ++Dialup.StatusCalls;
    FakeLine* line = Dialup.Find(handle);
    if (status->dwSize != sizeof(RASCONNSTATUSA)) return 632;
    status->rasconnstate = line && !line->HungUp ? line->State : RASCS_Disconnected;
    status->dwError = 0;
    if (line && line->HungUp)
        return Dialup.HangUpHeld == 0 && GetTickCount64() >= line->GoneAt ? RasErrorInvalidHandle
                                                                          : 0;
    Dialup.Record("status " + HexText(handle));
    return !line ? RasErrorInvalidHandle : Dialup.StatusResult;
}

static DWORD WINAPI Dial(void* extensions, LPCSTR phoneBook, RASDIALPARAMSA* params, DWORD type,
                         void* notifier, HRASCONN* handle) {
    const bool odd = extensions || phoneBook || type != 0 || notifier != &DialNotifier ||
                     params->dwSize != sizeof(RASDIALPARAMSA) || params->szPhoneNumber[0] ||
                     params->szCallbackNumber[0] || params->szDomain[0];
    Dialup.Record(std::string("dial ") + params->szEntryName + " " + params->szUserName + " " +
                  params->szPassword + (odd ? " odd" : ""));
    Dialup.Params = params;
    Dialup.Notifier = reinterpret_cast<RasDialFunc>(notifier);
    if (Dialup.DialResult == 0 || Dialup.DialStoresHandle) {
        Dialup.Lines.push_back({params->szEntryName,
                                reinterpret_cast<HRASCONN>(Dialup.NextHandle++),
                                RASCS_ConnectDevice});
        *handle = Dialup.Lines.back().Handle;
    }
    return Dialup.DialResult;
}

static DWORD WINAPI ErrorString(UINT code, LPSTR buffer, DWORD) {
    Dialup.LeftFilled = 0;
    for (auto* record : {Dialup.Params, Dialup.SavedAsk}) {
        auto bytes = reinterpret_cast<const unsigned char*>(record);
        if (bytes)
            Dialup.LeftFilled += static_cast<int>(std::count_if(
                bytes, bytes + sizeof(RASDIALPARAMSA), [](unsigned char b) { return b; }));
    }
    Dialup.Params = Dialup.SavedAsk = nullptr;
    wsprintfA(buffer, "service text %u", code);
    return 0;
}

static DWORD WINAPI HangUp(HRASCONN handle) {
    Dialup.Record("hangup " + HexText(handle));
    FakeLine* line = Dialup.Find(handle);
    if (!line) return RasErrorInvalidHandle;
    line->HungUp = true;
    line->GoneAt = GetTickCount64() + Dialup.HangUpMs;
    return 0;
}

static DWORD WINAPI SavedCredentials(LPCSTR phoneBook, RASDIALPARAMSA* params, BOOL* saved) {
    Dialup.Record(std::string("ask saved ") + params->szEntryName);
    Dialup.SavedAsk = params;
    if (phoneBook || params->dwSize != sizeof(RASDIALPARAMSA)) return 632;
    lstrcpyA(params->szUserName, Dialup.SavedUser.c_str());
    lstrcpyA(params->szPassword, Dialup.PasswordSaved ? "#saved" : "");
    *saved = Dialup.PasswordSaved;
    return 0;
}

std::function<void()> During(std::vector<std::function<void()>> steps) {
    return [steps] {
        Dialup.HangUpHeld = static_cast<int>(steps.size());
        std::vector<std::function<void()>> counted;
        for (const auto& step : steps)
            counted.push_back([step] { step(), --Dialup.HangUpHeld; });
        RunStepsOnTimer(counted, 10);
    };
}

void UseFakeDialup(std::function<void(std::string)> record) {
    Dialup = FakeDialup();
    if (record) Dialup.Record = std::move(record);
    RasApi = {EnumEntries, EnumConnections, GetConnectStatus, Dial,
              ErrorString, HangUp,          SavedCredentials, RasApi.Library};
}
