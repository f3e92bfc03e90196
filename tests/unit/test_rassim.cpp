// The simulated dial-up service, driven through its seven exports as the program drives the real
// one: its configuration keys, the worker-thread notifier, argument checks, connections shared
// between processes, the control tool and the journal.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "ras/NRas.h"
#include "support/Harness.h"

namespace {

constexpr UINT WmRasDialEvent = 0xCCCD;
constexpr const char ChildVariable[] = "TOVANE_RASSIM_CHILD";

// ---- A helper process: started with ChildVariable = "library|entry", it dials and exits at
// once with the handle as its exit code (0 when the dial failed to start). ----

void WINAPI ChildNotifier(UINT, RASCONNSTATE, DWORD) {}

int DialFromChildIfAsked() {
    char request[2048];
    DWORD n = GetEnvironmentVariableA(ChildVariable, request, sizeof request);
    if (n == 0 || n >= sizeof request) return 0;
    std::string text = request;
    size_t bar = text.find('|');
    HMODULE library = LoadLibraryA(text.substr(0, bar).c_str());
    FARPROC dial = library ? GetProcAddress(library, "RasDialA") : nullptr;
    if (!dial) ExitProcess(0);
    RASDIALPARAMSA params = {};
    params.dwSize = sizeof params;
    lstrcpynA(params.szEntryName, text.substr(bar + 1).c_str(), sizeof params.szEntryName);
    HRASCONN handle = nullptr;
    auto call = reinterpret_cast<decltype(TRasApi::RasDialA)>(reinterpret_cast<void*>(dial));
    DWORD result =
        call(nullptr, nullptr, &params, 0, reinterpret_cast<void*>(ChildNotifier), &handle);
    ExitProcess(result == 0 ? static_cast<UINT>(reinterpret_cast<uintptr_t>(handle)) : 0);
}

[[maybe_unused]] const int ChildDialled = DialFromChildIfAsked();

// ---- Reports the service makes to the notifier ------------------------------------------

struct Report {
    UINT Message;
    RASCONNSTATE State;
    DWORD Error;
    DWORD Thread;
    ULONGLONG At;
    bool DuringDial; // made while RasDialA had not yet returned on the test's thread
};

CRITICAL_SECTION ReportLock;
std::vector<Report> Reports;
volatile LONG InsideDial = 0;

void WINAPI RecordReport(UINT message, RASCONNSTATE state, DWORD error) {
    EnterCriticalSection(&ReportLock);
    Reports.push_back(
        {message, state, error, GetCurrentThreadId(), GetTickCount64(), InsideDial != 0});
    LeaveCriticalSection(&ReportLock);
}

std::vector<Report> ReportsSoFar() {
    EnterCriticalSection(&ReportLock);
    std::vector<Report> copy = Reports;
    LeaveCriticalSection(&ReportLock);
    return copy;
}

bool WaitForReports(size_t count, DWORD timeoutMs = 5000) {
    return PumpUntil([&] { return ReportsSoFar().size() >= count; }, timeoutMs);
}

std::vector<std::pair<RASCONNSTATE, DWORD>> ReportedStates() {
    std::vector<std::pair<RASCONNSTATE, DWORD>> states;
    for (const Report& r : ReportsSoFar())
        states.push_back({r.State, r.Error});
    return states;
}

using StateList = std::vector<std::pair<RASCONNSTATE, DWORD>>;

HRASCONN AsHandle(uintptr_t value) {
    return reinterpret_cast<HRASCONN>(value);
}

// ---- The fixture ---------------------------------------------------------------------------

// The program's own binding, bound to a copy of the simulator.
TRasApi& Sim = RasApi;
std::unique_ptr<TempFolder> SuiteFolder;

template <typename Function> void BindExport(HMODULE library, const char* name, Function& slot) {
    slot = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

template <typename Record> struct Listing {
    DWORD Result, Bytes, Count;
    std::vector<Record> List;
};

struct Status {
    DWORD Result;
    RASCONNSTATE State;
    DWORD Error;
};

class Rassim : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitializeCriticalSection(&ReportLock);
        SuiteFolder = std::make_unique<TempFolder>();
        // A file named rasapi32.dll would be answered by Wine's own library: load a copy.
        ASSERT_TRUE(CopyFileA(SimulatorFile().c_str(), LibraryCopy().c_str(), FALSE));
        LoadRasApiFrom(LibraryCopy().c_str());
        for (int slot = 1; slot <= 7; ++slot)
            ASSERT_TRUE(RasSlotBound(slot)) << slot;
    }

    static void TearDownTestSuite() {
        FreeRasApi();
        Sleep(100); // let finished workers let go of the library before the folder goes
        SuiteFolder.reset();
    }

    static std::string SimulatorFile() { return ExeFolder() + "rassim\\rasapi32.dll"; }
    static std::string LibraryCopy() { return SuiteFolder->File("rassim-under-test.dll"); }

    void SetUp() override {
        ASSERT_NE(nullptr, Sim.RasDialA);
        folder_ = std::make_unique<TempFolder>();
        config_ = std::make_unique<ScopedEnv>("RASSIM_CONFIG", ConfigFile().c_str());
        state_ = std::make_unique<ScopedEnv>("RASSIM_STATE", StateFile().c_str());
        journal_ = std::make_unique<ScopedEnv>("RASSIM_JOURNAL", JournalFile().c_str());
        EnterCriticalSection(&ReportLock);
        Reports.clear();
        LeaveCriticalSection(&ReportLock);
    }

    void TearDown() override {
        for (HRASCONN h : Connections())
            Sim.RasHangUpA(h);
        Sleep(50); // a worker between two steps sees the hang-up and stops
        journal_.reset();
        state_.reset();
        config_.reset();
        folder_.reset();
    }

    std::string ConfigFile() const { return folder_->File("phonebook.ini"); }
    std::string StateFile() const { return folder_->File("connections.state"); }
    std::string JournalFile() const { return folder_->File("journal.txt"); }

    void Configure(const std::string& text) { WriteWholeFile(ConfigFile(), text); }

    static DWORD Dial(const char* entry, HRASCONN& handle, const char* user = "",
                      const char* password = "", bool withNotifier = true) {
        RASDIALPARAMSA params = {};
        params.dwSize = sizeof params;
        lstrcpynA(params.szEntryName, entry, sizeof params.szEntryName);
        lstrcpynA(params.szUserName, user, sizeof params.szUserName);
        lstrcpynA(params.szPassword, password, sizeof params.szPassword);
        handle = nullptr;
        InterlockedExchange(&InsideDial, 1);
        DWORD result =
            Sim.RasDialA(nullptr, nullptr, &params, 0,
                         withNotifier ? reinterpret_cast<void*>(RecordReport) : nullptr, &handle);
        InterlockedExchange(&InsideDial, 0);
        return result;
    }

    static Status StatusOf(HRASCONN handle) {
        RASCONNSTATUSA status = {};
        status.dwSize = sizeof status;
        status.rasconnstate = -99;
        DWORD result = Sim.RasGetConnectStatusA(handle, &status);
        return {result, status.rasconnstate, status.dwError};
    }

    static bool WaitForState(HRASCONN handle, RASCONNSTATE state, DWORD timeoutMs = 5000) {
        return PumpUntil(
            [&] {
                Status s = StatusOf(handle);
                return s.Result == 0 && s.State == state;
            },
            timeoutMs);
    }

    // One listing of the phone book or of the connections: room for `room` records, the first
    // record's size as given.
    template <typename Record>
    static Listing<Record> Enumerate(DWORD size = sizeof(Record), DWORD room = RasListCapacity) {
        Listing<Record> l = {0, static_cast<DWORD>(room * sizeof(Record)), 0,
                             std::vector<Record>(RasListCapacity)};
        l.List[0].dwSize = size;
        if constexpr (std::is_same_v<Record, RASCONNA>)
            l.Result = Sim.RasEnumConnectionsA(l.List.data(), &l.Bytes, &l.Count);
        else
            l.Result = Sim.RasEnumEntriesA(nullptr, nullptr, l.List.data(), &l.Bytes, &l.Count);
        return l;
    }

    static std::vector<HRASCONN> Connections(std::vector<std::string>* names = nullptr) {
        const auto l = Enumerate<RASCONNA>();
        std::vector<HRASCONN> handles;
        for (DWORD i = 0; l.Result == 0 && i < l.Count; ++i) {
            handles.push_back(l.List[i].hrasconn);
            if (names) names->push_back(l.List[i].szEntryName);
        }
        return handles;
    }

    static std::vector<std::string> Entries(DWORD* result = nullptr) {
        const auto l = Enumerate<RASENTRYNAMEA>();
        if (result) *result = l.Result;
        std::vector<std::string> names;
        for (DWORD i = 0; l.Result == 0 && i < l.Count; ++i)
            names.push_back(l.List[i].szEntryName);
        return names;
    }

    // With three records listed: their bytes; room for two gives 603 with the bytes and count
    // needed; records of any other size give 632.
    template <typename Record> static void ExpectSizeAndRoomChecked(std::vector<DWORD> badSizes) {
        const auto all = Enumerate<Record>(), two = Enumerate<Record>(sizeof(Record), 2);
        EXPECT_EQ((std::vector<DWORD>{0, 3 * sizeof(Record), 3}),
                  (std::vector<DWORD>{all.Result, all.Bytes, all.Count}));
        EXPECT_EQ((std::vector<DWORD>{603, 3 * sizeof(Record), 3}),
                  (std::vector<DWORD>{two.Result, two.Bytes, two.Count}));
        for (DWORD size : badSizes)
            EXPECT_EQ(632u, Enumerate<Record>(size).Result) << size;
    }

    // The journal lines that contain the text (every line for an empty text).
    std::vector<std::string> JournalWith(const std::string& text) const {
        return LinesWith(JournalFile(), text);
    }

    // Starts this test program as a helper that dials the entry and exits; returns the handle.
    DWORD DialInChild(const std::string& entry, DWORD* pid = nullptr) const {
        ScopedEnv child(ChildVariable, (LibraryCopy() + "|" + entry).c_str());
        char self[MAX_PATH * 2] = {};
        GetModuleFileNameA(nullptr, self, sizeof self);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        std::string commandLine = std::string("\"") + self + "\"";
        DWORD code = 0;
        if (CreateProcessA(self, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                           nullptr, nullptr, &si, &pi)) {
            WaitForSingleObject(pi.hProcess, 20000);
            GetExitCodeProcess(pi.hProcess, &code);
            if (pid) *pid = pi.dwProcessId;
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
        return code;
    }

    std::unique_ptr<TempFolder> folder_;
    std::unique_ptr<ScopedEnv> config_, state_, journal_;
};

// ---- Phone book ------------------------------------------------------------------------------

// In the order of the file, into records of exactly the right size, and only when they fit.
TEST_F(Rassim, EntriesAreListedInTheOrderOfTheFile) {
    DWORD result = 1;
    EXPECT_TRUE(Entries(&result).empty()); // without a configuration the phone book is empty
    EXPECT_EQ(0u, result);
    Configure("; demo phone book\n"
              "[Zeta Line]\n"
              "[Alpha  Office]\n"
              "States = 0 8192\n"
              "\n"
              "[mid]\n");
    EXPECT_EQ((std::vector<std::string>{"Zeta Line", "Alpha  Office", "mid"}), Entries());
    ExpectSizeAndRoomChecked<RASENTRYNAMEA>({0, 263, 265, 532});
    // A hundred fit the program's list, one more does not.
    std::string text;
    for (int i = 1; i <= 100; ++i)
        text += "[Entry " + std::to_string(i) + "]\n";
    Configure(text);
    result = 1;
    EXPECT_EQ(100u, Entries(&result).size());
    EXPECT_EQ(0u, result);
    Configure(text + "[Entry 101]\n");
    EXPECT_TRUE(Entries(&result).empty());
    EXPECT_EQ(603u, result);
}

TEST_F(Rassim, TheConfigurationDefaultsToRassimIniBesideTheLibrary) {
    std::string beside = SuiteFolder->File("rassim.ini");
    WriteWholeFile(beside, "[Beside]\nStates = 8192:10\n");
    {
        ScopedEnv noConfig("RASSIM_CONFIG", nullptr);
        ScopedEnv noState("RASSIM_STATE", nullptr);
        EXPECT_EQ(std::vector<std::string>{"Beside"}, Entries());
        HRASCONN h = nullptr;
        ASSERT_EQ(0u, Dial("Beside", h));
        // The connection table goes beside the configuration when RASSIM_STATE is not set.
        EXPECT_TRUE(FileExists(SuiteFolder->File("rassim.state")));
        EXPECT_EQ(0u, Sim.RasHangUpA(h));
    }
    DeleteFileA(beside.c_str());
    DeleteFileA(SuiteFolder->File("rassim.state").c_str());
}

// Lines not understood are named in the journal and the rest still holds.
TEST_F(Rassim, GlobalSwitchesMakeTheQueriesFail) {
    Configure("Colour = blue\n[Office]\nStates = 0 x 8192\nDropAfter = soon\n");
    EXPECT_EQ(std::vector<std::string>{"Office"}, Entries());
    for (const char* line :
         {"line 1: not understood", "line 4: not understood", "line 3: States not understood"})
        EXPECT_EQ(1u, JournalWith(line).size()) << line;
    Configure("EnumEntriesError = 621\n"
              "EnumConnectionsError = 668\n"
              "GetConnectStatusError = 0x2c7\n" // 711
              "[Office]\nStates = 8192:10\n");
    DWORD result = 0;
    Entries(&result);
    EXPECT_EQ(621u, result);
    HRASCONN h = nullptr;
    ASSERT_EQ(0u, Dial("Office", h)); // dialling is not switched off
    EXPECT_EQ(668u, Enumerate<RASCONNA>().Result);
    EXPECT_EQ(711u, StatusOf(h).Result);
    Configure("[Office]\n");
    EXPECT_EQ(0u, StatusOf(h).Result);
    EXPECT_EQ(1u, Connections().size());
}

// ---- Dialling --------------------------------------------------------------------------------

// Each dial's reports in order, every one from a worker thread of the service after RasDialA
// has returned, nothing after the last, and the connection left in the last state reported.
TEST_F(Rassim, EveryDialReportsItsStatesInOrderFromAWorkerThread) {
    const StateList whole = {{0, 0},  {1, 0}, {2, 0},  {3, 0},  {4, 0},  {5, 0},
                             {19, 0}, {6, 0}, {10, 0}, {14, 0}, {18, 0}, {0x2000, 0}};
    struct Case {
        const char* Config;
        StateList Expected;
        const char* User = "";
        const char* Password = "";
        ULONGLONG SecondNotBefore = 0; // ms from the dial to the second report
    } const cases[] = {
        {"States = 0:40 1:40 2:40 8192:40", {{0, 0}, {1, 0}, {2, 0}, {0x2000, 0}}},
        {"Delay = 5", whole}, // without States, the whole dial
        // An error state is reported once more, and the dial ends; by default at connecting the
        // device; outside the sequence, instead of Connected.
        {"Delay = 10\nErrorState = 3\nErrorCode = 678", {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 678}}},
        {"Delay = 10\nErrorCode = 676", {{0, 0}, {1, 0}, {2, 0}, {2, 676}}},
        {"States = 0:10 1:10 8192:10\nErrorState = 21\nErrorCode = 718",
         {{0, 0}, {1, 0}, {21, 0}, {21, 718}}},
        // Names in any case; a wrong password fails when authentication ends.
        {"Delay = 5\nUser = demo\nPassword = Secret", whole, "DEMO", "Secret"},
        {"Delay = 5\nUser = demo\nPassword = Secret",
         {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {19, 0}, {6, 0}, {6, 691}},
         "demo",
         "secret"},
        // Without AuthNotify in the sequence the failure comes at the first state after the
        // devices: for a wrong user and for a missing password.
        {"States = 0:5 5:5 8192:5\nUser = demo\nPassword = demo",
         {{0, 0}, {5, 0}, {5, 691}},
         "guest",
         "demo"},
        {"States = 0:5 5:5 8192:5\nUser = demo\nPassword = demo",
         {{0, 0}, {5, 0}, {5, 691}},
         "demo"},
        // Refuse ends every dial with its code, the right credentials all the same.
        {"States = 0:5 6:5 8192:5\nUser = demo\nPassword = demo\nRefuse = 647",
         {{0, 0}, {6, 0}, {6, 647}},
         "demo",
         "demo"},
        // Each state waits for its own delay, measured from the dial (not from a report that a
        // busy machine may have seen late).
        {"Delay = 20\nStates = 0, 1:500, 8192", {{0, 0}, {1, 0}, {0x2000, 0}}, "", "", 480},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Config);
        Configure(std::string("[Office]\nHangUpTime = 0\n") + c.Config + "\n");
        EnterCriticalSection(&ReportLock);
        Reports.clear();
        LeaveCriticalSection(&ReportLock);
        HRASCONN h = nullptr;
        const ULONGLONG start = GetTickCount64();
        ASSERT_EQ(0u, Dial("Office", h, c.User, c.Password));
        EXPECT_NE(nullptr, h);
        ASSERT_TRUE(WaitForReports(c.Expected.size()));
        EXPECT_GE(ReportsSoFar()[1].At - start, c.SecondNotBefore);
        PumpMessages(150); // nothing follows
        EXPECT_EQ(c.Expected, ReportedStates());
        for (const Report& r : ReportsSoFar()) {
            EXPECT_EQ(WmRasDialEvent, r.Message);
            EXPECT_NE(GetCurrentThreadId(), r.Thread);
            EXPECT_FALSE(r.DuringDial);
        }
        Status s = StatusOf(h);
        EXPECT_EQ(0u, s.Result);
        EXPECT_EQ(c.Expected.back().first, s.State);
        EXPECT_EQ(c.Expected.back().second, s.Error);
        // A failed connection stays until it is hung up, as with the real service.
        EXPECT_EQ(1u, Connections().size());
        Sim.RasHangUpA(h);
        ASSERT_TRUE(PumpUntil([] { return Connections().empty(); }, 3000));
    }
}

// The platform's secure form: the password comes back as a handle that only RasDialA resolves.
TEST_F(Rassim, SavedCredentialsComeBackWithAHandleThatDialsWithTheSavedPassword) {
    Configure("[Home]\nStates = 8192:5\nUser = demo\nPassword = Sup3rSecret\nSavedUser = demo\n"
              "SavedPassword = Sup3rSecret\n[NameOnly]\nSavedUser = kim\n");
    RASDIALPARAMSA params = {};
    params.dwSize = sizeof params;
    lstrcpyA(params.szEntryName, "home");
    lstrcpyA(params.szDomain, "stale"); // cleared like every field but the name
    BOOL saved = 2;
    ASSERT_EQ(0u, Sim.RasGetEntryDialParamsA(nullptr, &params, &saved));
    EXPECT_EQ(TRUE, saved);
    auto fields = [&] {
        return std::string(params.szEntryName) + "/" + params.szUserName + "/" + params.szPassword +
               "/" + params.szDomain;
    };
    EXPECT_EQ("home/demo/****************/", fields());
    HRASCONN h = nullptr;
    ASSERT_EQ(0u, Dial("Home", h, params.szUserName, params.szPassword));
    ASSERT_TRUE(WaitForState(h, RASCS_Connected));

    lstrcpyA(params.szEntryName, "NameOnly");
    ASSERT_EQ(0u, Sim.RasGetEntryDialParamsA(nullptr, &params, &saved));
    EXPECT_EQ(FALSE, saved);
    EXPECT_EQ("NameOnly/kim//", fields());
    lstrcpyA(params.szEntryName, "Nobody");
    EXPECT_EQ(623u, Sim.RasGetEntryDialParamsA(nullptr, &params, &saved));
    params.dwSize = 1051;
    EXPECT_EQ(632u, Sim.RasGetEntryDialParamsA(nullptr, &params, &saved));

    // The journal tells that a saved password was used, never what it is or stands for.
    std::string journal = ReadWholeFile(JournalFile());
    EXPECT_EQ(std::string::npos, journal.find("Sup3rSecret"));
    EXPECT_EQ(std::string::npos, journal.find("****"));
    EXPECT_EQ(1u, JournalWith("user=\"demo\" password=saved").size());
    EXPECT_EQ(1u, JournalWith("RasGetEntryDialParamsA size=1052 entry=\"home\" phonebook=(null) "
                              "-> 0 saved=yes")
                      .size());
}

TEST_F(Rassim, AConnectedLineDropsAfterTheConfiguredSeconds) {
    Configure("[Flaky]\nStates = 8192:10\nDropAfter = 1\n");
    HRASCONN h = nullptr;
    ULONGLONG start = GetTickCount64();
    ASSERT_EQ(0u, Dial("Flaky", h));
    ASSERT_TRUE(WaitForState(h, RASCS_Connected));
    ASSERT_TRUE(WaitForState(h, RASCS_Disconnected, 4000));
    EXPECT_GE(GetTickCount64() - start, 900u);
    EXPECT_EQ(629u, StatusOf(h).Error);
    EXPECT_EQ(1u, Connections().size());                   // until the program hangs up
    EXPECT_EQ((StateList{{0x2000, 0}}), ReportedStates()); // a drop is not a dial report
}

TEST_F(Rassim, AHangUpTakesTheConfiguredTimeBeforeTheHandleDies) {
    Configure("[Office]\nStates = 8192:10\nHangUpTime = 600\n");
    HRASCONN h = nullptr;
    ASSERT_EQ(0u, Dial("Office", h));
    ASSERT_TRUE(WaitForState(h, RASCS_Connected));
    ULONGLONG start = GetTickCount64();
    ASSERT_EQ(0u, Sim.RasHangUpA(h));
    Status s = StatusOf(h);
    EXPECT_EQ(0u, s.Result);
    EXPECT_EQ(RASCS_Disconnected, s.State);
    EXPECT_EQ(0u, s.Error);
    EXPECT_EQ(0u, Sim.RasHangUpA(h)); // still there: a second hang-up is accepted
    ASSERT_TRUE(PumpUntil([&] { return StatusOf(h).Result == 6; }, 3000));
    EXPECT_GE(GetTickCount64() - start, 550u);
    EXPECT_TRUE(Connections().empty());
    EXPECT_EQ(6u, Sim.RasHangUpA(h));
}

TEST_F(Rassim, AHangUpDuringTheDialStopsTheReportsAndWithoutANotifierTheDialReturnsAtItsEnd) {
    Configure("[Office]\nStates = 0:10 1:300 8192:10\nHangUpTime = 0\n[Quick]\n"
              "States = 0:100 8192:100\n[Busy]\nDelay = 10\nErrorCode = 676\n");
    HRASCONN h = nullptr;
    ASSERT_EQ(0u, Dial("Office", h));
    ASSERT_TRUE(WaitForReports(1));
    ASSERT_EQ(0u, Sim.RasHangUpA(h));
    PumpMessages(500);
    EXPECT_EQ((StateList{{0, 0}}), ReportedStates());
    EXPECT_EQ(6u, StatusOf(h).Result);

    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(0u, Dial("Quick", h, "", "", false));
    EXPECT_GE(GetTickCount64() - start, 180u);
    EXPECT_EQ(RASCS_Connected, StatusOf(h).State);
    EXPECT_EQ(676u, Dial("Busy", h, "", "", false));
    EXPECT_NE(nullptr, h); // the failed connection is still to be hung up
    EXPECT_EQ((StateList{{0, 0}}), ReportedStates());
}

// Bad arguments, a dial error, a line already in use, and handles the service does not know.
TEST_F(Rassim, DialStatusAndHangUpCheckTheirArgumentsAndFailAtOnce) {
    Configure("[Office]\nStates = 8192:10\n[Dead]\nDialError = 680\nStates = 0:10 8192:10\n");
    RASDIALPARAMSA params = {};
    lstrcpyA(params.szEntryName, "Office");
    HRASCONN h = nullptr;
    for (DWORD size : {0u, 1051u, 1053u, 1060u}) {
        params.dwSize = size;
        EXPECT_EQ(632u, Sim.RasDialA(nullptr, nullptr, &params, 0, nullptr, &h)) << size;
    }
    params.dwSize = sizeof params;
    h = AsHandle(0x1234);
    EXPECT_EQ(6u, Sim.RasDialA(nullptr, nullptr, &params, 0, nullptr, &h)); // nothing to resume
    h = nullptr;
    EXPECT_EQ(87u, Sim.RasDialA(nullptr, nullptr, nullptr, 0, nullptr, &h));
    EXPECT_EQ(87u, Sim.RasDialA(nullptr, nullptr, &params, 0, nullptr, nullptr));
    EXPECT_EQ(
        87u, Sim.RasDialA(nullptr, nullptr, &params, 1, reinterpret_cast<void*>(RecordReport), &h));
    EXPECT_EQ(623u, Dial("Nowhere", h));
    EXPECT_EQ(nullptr, h);
    EXPECT_EQ(680u, Dial("Dead", h));
    EXPECT_EQ(nullptr, h);
    PumpMessages(100);
    EXPECT_TRUE(ReportsSoFar().empty());
    EXPECT_TRUE(Connections().empty());

    ASSERT_EQ(0u, Dial("Office", h));
    HRASCONN second = nullptr;
    EXPECT_EQ(602u, Dial("office", second)); // in use, whatever the case of its name
    EXPECT_EQ(nullptr, second);
    RASCONNSTATUSA status = {};
    for (DWORD size : {0u, 159u, 161u, 288u}) {
        status.dwSize = size;
        EXPECT_EQ(632u, Sim.RasGetConnectStatusA(h, &status)) << size;
    }
    EXPECT_EQ(87u, Sim.RasGetConnectStatusA(h, nullptr));
    uintptr_t unknown = reinterpret_cast<uintptr_t>(h) + 1000;
    EXPECT_EQ(6u, StatusOf(AsHandle(unknown)).Result);
    EXPECT_EQ(6u, StatusOf(nullptr).Result);
    EXPECT_EQ(6u, Sim.RasHangUpA(AsHandle(unknown)));
    EXPECT_EQ(6u, Sim.RasHangUpA(nullptr));
    status.dwSize = sizeof status;
    ASSERT_EQ(0u, Sim.RasGetConnectStatusA(h, &status));
    EXPECT_STREQ("modem", status.szDeviceType);
}

TEST_F(Rassim, ConnectionListsCheckSizeAndRoom) {
    Configure("[A]\nStates = 8192:5\n[B]\nStates = 8192:5\n[C]\nStates = 8192:5\n");
    HRASCONN a, b, c;
    ASSERT_EQ(0u, Dial("A", a));
    ASSERT_EQ(0u, Dial("B", b));
    ASSERT_EQ(0u, Dial("C", c));
    ExpectSizeAndRoomChecked<RASCONNA>({0, sizeof(RASCONNA) - 4, 412 + 416});
    std::vector<std::string> names;
    EXPECT_EQ((std::vector<HRASCONN>{a, b, c}), Connections(&names));
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), names);
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
}

TEST_F(Rassim, ErrorTextsInTheServicesOwnWords) {
    for (DWORD code :
         {6u, 8u, 87u, 602u, 603u, 623u, 629u, 631u, 632u, 676u, 678u, 680u, 691u, 718u}) {
        char text[512] = {};
        EXPECT_EQ(0u, Sim.RasGetErrorStringA(code, text, sizeof text)) << code;
        EXPECT_GT(std::strlen(text), 10u) << code;
    }
    char text[64];
    std::memset(text, 'q', sizeof text);
    EXPECT_NE(0u, Sim.RasGetErrorStringA(12345, text, sizeof text));
    EXPECT_EQ('q', text[0]); // nothing written for an unknown code
    EXPECT_EQ(603u, Sim.RasGetErrorStringA(676, text, 5));
    EXPECT_EQ('q', text[0]);
    char busy[64] = {};
    ASSERT_EQ(0u, Sim.RasGetErrorStringA(676, busy, sizeof busy));
    EXPECT_STREQ("The line is busy.", busy);
}

TEST_F(Rassim, TheServiceKeepsItsLibraryLoadedWhileADialRuns) {
    Configure("[Office]\nStates = 0:50 1:50 8192:50\n");
    std::string copy = folder_->File("rassim-released.dll");
    ASSERT_TRUE(CopyFileA(SimulatorFile().c_str(), copy.c_str(), FALSE));
    HMODULE library = LoadLibraryA(copy.c_str());
    ASSERT_NE(nullptr, library);
    TRasApi api = {};
    BindExport(library, "RasDialA", api.RasDialA);
    RASDIALPARAMSA params = {};
    params.dwSize = sizeof params;
    lstrcpyA(params.szEntryName, "Office");
    HRASCONN h = nullptr;
    ASSERT_EQ(
        0u, api.RasDialA(nullptr, nullptr, &params, 0, reinterpret_cast<void*>(RecordReport), &h));
    FreeLibrary(library);
    EXPECT_NE(nullptr, GetModuleHandleA("rassim-released.dll")); // the worker holds it
    ASSERT_TRUE(WaitForReports(3));
    EXPECT_TRUE(PumpUntil([] { return GetModuleHandleA("rassim-released.dll") == nullptr; }, 3000));
    // Its loading was journalled once, naming this program.
    std::vector<std::string> attach = JournalWith("Attach exe=");
    ASSERT_EQ(1u, attach.size());
    EXPECT_NE(std::string::npos, attach[0].find("unit_test_rassim.exe"));
}

// ---- Across processes --------------------------------------------------------------------

TEST_F(Rassim, AConnectionOutlivesTheProcessThatDialledItWithAHandleUniqueAcrossProcesses) {
    Configure("[Office]\nStates = 0:10 2:300 8192:100\n[B]\nStates = 8192:10\n"
              "[C]\nStates = 8192:10\n");
    DWORD childPid = 0;
    DWORD handle = DialInChild("Office", &childPid);
    ASSERT_NE(0u, handle);
    // The child is gone before its dial completes; the dial goes on without it.
    std::vector<std::string> names;
    std::vector<HRASCONN> found = Connections(&names);
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(AsHandle(handle), found[0]);
    EXPECT_EQ("Office", names[0]);
    ASSERT_TRUE(WaitForState(found[0], RASCS_Connected));
    std::vector<std::string> dials = JournalWith("RasDialA");
    ASSERT_EQ(1u, dials.size());
    char expected[64];
    wsprintfA(expected, " %lu RasDialA ", childPid);
    EXPECT_NE(std::string::npos, dials[0].find(expected)) << dials[0];

    DWORD b = DialInChild("B");
    HRASCONN c = nullptr;
    ASSERT_EQ(0u, Dial("C", c));
    ASSERT_NE(0u, b);
    EXPECT_NE(handle, b);
    EXPECT_NE(AsHandle(handle), c);
    EXPECT_NE(AsHandle(b), c);
    EXPECT_EQ(3u, Connections().size());
}

// ---- The control tool --------------------------------------------------------------------

// The tool lists the connections, drops one by name or handle (with a code when given), and
// forgets them all.
TEST_F(Rassim, TheToolListsAndDropsLines) {
    Configure("[Home Line]\nStates = 8192:10\n[Work]\nStates = 8192:10\n");
    HRASCONN home = nullptr, work = nullptr;
    ASSERT_EQ(0u, Dial("Home Line", home));
    ASSERT_EQ(0u, Dial("Work", work));
    ASSERT_TRUE(WaitForState(home, RASCS_Connected));
    ASSERT_TRUE(WaitForState(work, RASCS_Connected));
    std::string output;
    EXPECT_EQ(0u, RunRassimTool("list", &output));
    for (const std::string& text :
         {std::to_string(reinterpret_cast<uintptr_t>(home)), std::string("8192 "),
          std::string("Home Line"), std::string("Work")})
        EXPECT_NE(std::string::npos, output.find(text)) << text << " in " << output;
    EXPECT_EQ(0u, RunRassimTool("drop \"Home Line\""));
    Status s = StatusOf(home);
    EXPECT_EQ(RASCS_Disconnected, s.State);
    EXPECT_EQ(629u, s.Error);
    EXPECT_EQ(RASCS_Connected, StatusOf(work).State); // only that line
    EXPECT_EQ(0u,
              RunRassimTool("drop " + std::to_string(reinterpret_cast<uintptr_t>(work)) + " 678"));
    EXPECT_EQ(678u, StatusOf(work).Error);
    EXPECT_EQ(2u, Connections().size()); // lost lines stay until hung up
    // Not there: 1; not understood: 2.
    EXPECT_EQ(1u, RunRassimTool("drop Office"));
    EXPECT_EQ(1u, RunRassimTool("drop 12345"));
    EXPECT_EQ(2u, RunRassimTool("drop"));
    EXPECT_EQ(2u, RunRassimTool("drop Office abc"));
    EXPECT_EQ(2u, RunRassimTool("explode"));
    // Resetting forgets every connection but never reuses a handle.
    EXPECT_EQ(0u, RunRassimTool("reset"));
    EXPECT_TRUE(Connections().empty());
    EXPECT_EQ(6u, StatusOf(home).Result);
    HRASCONN again = nullptr;
    ASSERT_EQ(0u, Dial("Work", again));
    EXPECT_NE(home, again);
    EXPECT_NE(work, again);
}

// ---- The journal -----------------------------------------------------------------------------

TEST_F(Rassim, TheJournalHasOneLinePerCallAndReportAndNeverThePassword) {
    Configure("[Demo]\nStates = 0:10 8192:10\nUser = demo\nPassword = Sup3rSecret\n");
    std::string pid = std::to_string(GetCurrentProcessId());
    Entries();
    HRASCONN h = nullptr;
    ASSERT_EQ(0u, Dial("Demo", h, "demo", "Sup3rSecret"));
    ASSERT_TRUE(WaitForState(h, RASCS_Connected));
    ASSERT_TRUE(WaitForReports(2));
    Connections();
    char text[64];
    Sim.RasGetErrorStringA(676, text, sizeof text);
    Sim.RasHangUpA(h);
    std::string handle = std::to_string(reinterpret_cast<uintptr_t>(h));

    std::string journal = ReadWholeFile(JournalFile());
    EXPECT_EQ(std::string::npos, journal.find("Sup3rSecret"));
    for (const std::string& line : JournalWith("")) {
        // milliseconds, process id, then what happened
        size_t blank = line.find(' ');
        ASSERT_NE(std::string::npos, blank) << line;
        EXPECT_EQ(std::string::npos, line.substr(0, blank).find_first_not_of("0123456789"));
    }
    auto has = [&](const std::string& text) {
        return JournalWith(" " + pid + " " + text).size() == 1;
    };
    EXPECT_TRUE(has("RasEnumEntriesA size=264 bytes=26400 phonebook=(null) -> 0 count=1"));
    EXPECT_TRUE(has("RasDialA size=1052 entry=\"Demo\" user=\"demo\" password=yes "
                    "phonebook=(null) notifier=0 -> 0 handle=" +
                    handle));
    EXPECT_TRUE(has("RasGetConnectStatusA handle=" + handle + " size=160 -> 0 state=8192 error=0"));
    EXPECT_TRUE(has("RasEnumConnectionsA size=" + std::to_string(sizeof(RASCONNA)) + " bytes=" +
                    std::to_string(RasListCapacity * sizeof(RASCONNA)) + " -> 0 count=1"));
    EXPECT_TRUE(has("RasGetErrorStringA code=676 size=64 -> 0"));
    EXPECT_TRUE(has("RasHangUpA handle=" + handle + " -> 0"));
    // Each report with its thread; a missing password and failed calls.
    auto once = [&](const std::string& text) { return JournalWith(text).size() == 1; };
    EXPECT_TRUE(once("Notify handle=" + handle +
                     " state=0 error=0 thread=" + std::to_string(ReportsSoFar()[0].Thread)));
    EXPECT_TRUE(once("Notify handle=" + handle + " state=8192 error=0"));
    EXPECT_EQ(623u, Dial("Nobody", h, "someone", ""));
    EXPECT_TRUE(once("RasDialA size=1052 entry=\"Nobody\" user=\"someone\" password=no"));
    EXPECT_TRUE(once("-> 623 handle=0"));
    StatusOf(AsHandle(77));
    EXPECT_TRUE(once("RasGetConnectStatusA handle=77 size=160 -> 6"));
}

} // namespace
