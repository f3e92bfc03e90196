// The connection controller against a dial-up service of the test's own, where every answer and
// the moment of every report must be exact: the notifier is called from a thread the test starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "app/NConnection.h"
#include "app/WMain.h"
#include "app/WStatus.h"
#include "common/NCommon.h"
#include "controls/NIBtn.h"
#include "support/Driver.h"
#include "support/TestSupport.h"
#include "windows/WPass.h"
#include "windows/WSettings.h"

namespace {

// ---- The fake service -------------------------------------------------------------------------

struct FakeConnection {
    std::string Entry;
    HRASCONN Handle = nullptr;
    RASCONNSTATE State = RASCS_Connected;
    bool HungUp = false;
    ULONGLONG GoneAt = 0; // when a hung-up handle becomes invalid
};

struct FakeService {
    std::vector<FakeConnection> Connections;
    DWORD EnumResult = 0, StatusResult = 0, DialResult = 0, HangUpResult = 0;
    bool DialStoresHandle = true; // also when the dial fails at once
    DWORD HangUpMs = 0;
    uintptr_t NextHandle = 0x1000;

    int Dials = 0, StatusCalls = 0;
    std::vector<HRASCONN> HangUps;
    RASDIALPARAMSA LastParams = {};
    const RASDIALPARAMSA* LastParamsAddress = nullptr;
    LPCSTR LastPhoneBook = "unset";
    void* LastExtensions = &Dials;
    DWORD LastNotifierType = 99;
    RasDialFunc LastNotifier = nullptr;
    bool CheckParams = false; // the next error text looks at the dial's record
    int ParamsLeftFilled = -1;
    std::string SavedUser; // what Windows saved with the entry
    bool PasswordSaved = false;
    int SavedAsks = 0;
    const RASDIALPARAMSA* SavedAddress = nullptr;
    int SavedLeftFilled = -1;

    FakeConnection* Find(HRASCONN handle) {
        for (FakeConnection& c : Connections)
            if (c.Handle == handle) return &c;
        return nullptr;
    }
};

FakeService Fake;
constexpr char SavedHandle[] = "**saved handle**";

DWORD WINAPI FakeEnumEntries(LPCSTR, LPCSTR, RASENTRYNAMEA* entries, DWORD*, DWORD* count) {
    lstrcpyA(entries[0].szEntryName, "Office");
    *count = 1;
    return 0;
}

DWORD WINAPI FakeEnumConnections(RASCONNA* list, DWORD* bytes, DWORD* count) {
    if (Fake.EnumResult) return Fake.EnumResult;
    if (list[0].dwSize != sizeof(RASCONNA) || *bytes != sizeof(RASCONNA) * 100) return 632;
    DWORD n = 0;
    for (const FakeConnection& c : Fake.Connections) {
        if (c.HungUp) continue;
        list[n].hrasconn = c.Handle;
        lstrcpynA(list[n++].szEntryName, c.Entry.c_str(), RasMaxEntryName + 1);
    }
    *count = n;
    return 0;
}

DWORD WINAPI FakeGetConnectStatus(HRASCONN handle, RASCONNSTATUSA* status) {
    ++Fake.StatusCalls;
    FakeConnection* c = Fake.Find(handle);
    if (status->dwSize != sizeof(RASCONNSTATUSA)) return 632;
    if (!c || (c->HungUp && GetTickCount64() >= c->GoneAt)) return RasErrorInvalidHandle;
    if (Fake.StatusResult && !c->HungUp) return Fake.StatusResult;
    status->rasconnstate = c->HungUp ? RASCS_Disconnected : c->State;
    status->dwError = 0;
    return 0;
}

DWORD WINAPI FakeDial(void* extensions, LPCSTR phoneBook, RASDIALPARAMSA* params,
                      DWORD notifierType, void* notifier, HRASCONN* handle) {
    ++Fake.Dials;
    Fake.LastExtensions = extensions;
    Fake.LastPhoneBook = phoneBook;
    Fake.LastParams = *params;
    Fake.LastParamsAddress = params;
    Fake.LastNotifierType = notifierType;
    Fake.LastNotifier = reinterpret_cast<RasDialFunc>(notifier);
    if (Fake.DialResult == 0 || Fake.DialStoresHandle) {
        FakeConnection c{params->szEntryName, reinterpret_cast<HRASCONN>(Fake.NextHandle++),
                         RASCS_ConnectDevice};
        Fake.Connections.push_back(c);
        *handle = c.Handle;
    }
    Fake.CheckParams = Fake.DialResult != 0;
    return Fake.DialResult;
}

DWORD WINAPI FakeErrorString(UINT code, LPSTR buffer, DWORD) {
    if (Fake.CheckParams) {
        // Still inside Connect, whose record is alive on its stack: it must be all zero now.
        Fake.CheckParams = false;
        auto bytes = reinterpret_cast<const unsigned char*>(Fake.LastParamsAddress);
        Fake.ParamsLeftFilled = 0;
        for (size_t i = 0; i < sizeof(RASDIALPARAMSA); ++i)
            Fake.ParamsLeftFilled += bytes[i] != 0;
        bytes = reinterpret_cast<const unsigned char*>(Fake.SavedAddress);
        Fake.SavedLeftFilled = 0;
        for (size_t i = 0; bytes && i < sizeof(RASDIALPARAMSA); ++i)
            Fake.SavedLeftFilled += bytes[i] != 0;
    }
    wsprintfA(buffer, "service text %u", code);
    return 0;
}

DWORD WINAPI FakeHangUp(HRASCONN handle) {
    Fake.HangUps.push_back(handle);
    if (Fake.HangUpResult) return Fake.HangUpResult;
    FakeConnection* c = Fake.Find(handle);
    if (!c) return RasErrorInvalidHandle;
    c->HungUp = true;
    c->GoneAt = GetTickCount64() + Fake.HangUpMs;
    return 0;
}

DWORD WINAPI FakeSavedCredentials(LPCSTR phoneBook, RASDIALPARAMSA* params, BOOL* saved) {
    ++Fake.SavedAsks;
    Fake.SavedAddress = params;
    if (phoneBook || params->dwSize != sizeof(RASDIALPARAMSA) ||
        std::strcmp(params->szEntryName, "Office") != 0)
        return 623;
    lstrcpyA(params->szUserName, Fake.SavedUser.c_str());
    lstrcpyA(params->szPassword, Fake.PasswordSaved ? SavedHandle : "");
    *saved = Fake.PasswordSaved;
    return 0;
}

// Claims far more connections than the list holds, each with an unterminated name.
DWORD WINAPI OverfullEnumConnections(RASCONNA* list, DWORD*, DWORD* count) {
    for (int i = 0; i < RasListCapacity; ++i) {
        list[i].hrasconn = reinterpret_cast<HRASCONN>(static_cast<uintptr_t>(i + 1));
        std::memset(list[i].szEntryName, 'x', sizeof list[i].szEntryName);
    }
    *count = 100000;
    return 0;
}

const TRasApi FakeApi = {FakeEnumEntries, FakeEnumConnections, FakeGetConnectStatus, FakeDial,
                         FakeErrorString, FakeHangUp,          FakeSavedCredentials, nullptr};

// ---- Reports from a thread of the test's own ----------------------------------------------

struct Report {
    RASCONNSTATE State;
    DWORD Error;
};

struct ReportRun {
    RasDialFunc Notifier;
    std::vector<Report> Reports;
    DWORD Thread = 0;
};

DWORD WINAPI ReportThread(void* parameter) {
    auto* run = static_cast<ReportRun*>(parameter);
    run->Thread = GetCurrentThreadId();
    for (const Report& r : run->Reports)
        run->Notifier(0xCCCD, r.State, r.Error);
    return 0;
}

// Calls the notifier for each report on a new thread and waits for that thread to end; the
// window thread has handled none of them yet when this returns.
DWORD ReportFromThread(std::vector<Report> reports) {
    ReportRun run{Fake.LastNotifier, std::move(reports)};
    HANDLE thread = CreateThread(nullptr, 0, ReportThread, &run, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return run.Thread;
}

// ---- Helpers ------------------------------------------------------------------------------

void SetString(char*& field, const char* value) {
    ReplaceString(field, NewString(value));
}

std::string Text(const char* value) {
    return value ? value : "";
}

bool Grayed(UINT id) {
    return (GetMenuState(TrayMenu, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

bool ConnectedLook() {
    return !IsWindowEnabled(ConnectButton) && IsWindowEnabled(DisconnectButton) &&
           Grayed(CmdConnect) && !Grayed(CmdDisconnect);
}

bool DisconnectedLook() {
    return IsWindowEnabled(ConnectButton) && !IsWindowEnabled(DisconnectButton) &&
           !Grayed(CmdConnect) && Grayed(CmdDisconnect);
}

// The binding's wording, so the expectations follow it.
std::string StateLine(RASCONNSTATE state) {
    return Text(ConnectionStateText(state, 0, Settings.SimpleStatus != 0));
}

std::string ErrorLine(DWORD code) {
    char text[32];
    wsprintfA(text, "service text %lu", code);
    return text;
}

bool IsConnectingLine(const std::string& line, int attempt) {
    char head[32];
    wsprintfA(head, "Connecting  (#%d ", attempt);
    return line.rfind(head, 0) == 0 && line.back() == ')';
}

HRASCONN Handle(uintptr_t value) {
    return reinterpret_cast<HRASCONN>(value);
}

HWND PasswordWindow() {
    return FindWindowA("TovanePasswordWndClass", nullptr);
}

// Types into the open password window and presses OK (a null text leaves a field alone).
void AnswerPrompt(const char* user, const char* password) {
    HWND prompt = PasswordWindow();
    HWND userEdit = FindWindowExA(prompt, nullptr, "EDIT", nullptr);
    if (user) SetWindowTextA(userEdit, user);
    if (password) SetWindowTextA(FindWindowExA(prompt, userEdit, "EDIT", nullptr), password);
    SendMessageA(GetDlgItem(prompt, 1), BM_CLICK, 0, 0);
}

void Tick() {
    PollTimer(MainWindow, WM_TIMER, PollTimerId, 0);
}

int handledDuringWait = 0, keysDuringWait = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) ++handledDuringWait;
    if (message == WM_KEYDOWN || message == WM_CHAR) ++keysDuringWait;
    return DefWindowProcA(window, message, wParam, lParam);
}

// ---- Fixture ------------------------------------------------------------------------------

class Controller : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitShared();
        LoadSettings();
        RasApi = FakeApi;
        SetupMainWindow();
        RegisterImageButton();
        SetupPasswordWindow();
        SetupSettingsWindow();
        SettingsFile = Folder.File("Tovane.dat"); // the settings window's OK saves
        FreeString(Settings.ConnectionName);
        CreateMainWindow();
        KillTimer(MainWindow, PollTimerId); // the tests tick the poll themselves
        WNDCLASSA wc = {};
        wc.lpfnWndProc = CountingProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TestControllerPlain";
        RegisterClassA(&wc);
    }
    static void TearDownTestSuite() {
        ControllerState = TControllerState::Ready;
        ShowWindow(MainWindow, SW_HIDE);
        DestroyWindow(MainWindow);
        PumpMessages(0);
    }
    void SetUp() override {
        Fake = FakeService();
        RasApi = FakeApi;
        ClearTimerSteps();
        SetString(Settings.ConnectionName, "Office");
        SetString(Settings.UserName, "user");
        SetString(Settings.Password, "secret");
        FreeString(SessionPassword);
        Settings.SimpleStatus = Settings.AutoReconnect = Settings.ShrinkWhenConnected = 0;
        ResetController();
        ControllerState = TControllerState::Ready;
        DialAttempt = 0;
        if (InTray) RestoreFromTray();
        ShowWindow(MainWindow, SW_SHOWNORMAL);
        ShowDisconnectedControls();
        PumpMessages(0);
        mark = StatusLineCount();
    }
    void TearDown() override {
        KillTimer(MainWindow, PollTimerId);
        PumpMessages(0);
    }

    // Status lines written since the test began (or since Mark).
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (int32_t i = mark; i < StatusLineCount(); ++i)
            lines.push_back(Text(StatusLineText(i)));
        return lines;
    }
    void Mark() { mark = StatusLineCount(); }

    // Dials and lets the service report the connection.
    HRASCONN ConnectedThroughDial() {
        Connect();
        HRASCONN h = ConnectionHandle;
        ReportFromThread({{RASCS_Connected, 0}});
        PumpMessages(0);
        Fake.Find(h)->State = RASCS_Connected;
        EXPECT_EQ(TControllerState::Ready, ControllerState);
        return h;
    }

    int32_t mark = 0;
    static inline TempFolder Folder;
};

// ---- Refresh ---------------------------------------------------------------------------------

TEST_F(Controller, RefreshWithoutAnEntryNamesNoneAndNeverDials) {
    FreeString(Settings.ConnectionName);
    DialAttempt = 5;
    Settings.AutoReconnect = 1;
    RefreshConnection();
    EXPECT_EQ("Tovane", TextOf(MainWindow));
    EXPECT_EQ(std::vector<std::string>{"No connection selected"}, Lines());
    EXPECT_EQ(TControllerState::Ready, ControllerState);
    EXPECT_EQ(0, DialAttempt);
    Tick();
    EXPECT_EQ(0, Fake.Dials);
}

TEST_F(Controller, RefreshAdoptsTheFirstExactMatchAndWatchesIt) {
    Fake.Connections = {{"Other", Handle(0x11)},
                        {"office", Handle(0x12)},
                        {"Office", Handle(0x13), 14},
                        {"Office", Handle(0x14)}};
    Settings.AutoReconnect = 1;
    RefreshConnection();
    EXPECT_EQ("Tovane - Office", TextOf(MainWindow));
    EXPECT_EQ(Handle(0x13), ConnectionHandle);
    EXPECT_EQ(std::vector<std::string>{StateLine(14)}, Lines());
    EXPECT_EQ(TControllerState::Ready, ControllerState);
    EXPECT_TRUE(ConnectedLook());

    // Up: watched without a line and without a dial.
    Fake.Connections[2].State = RASCS_Connected;
    Tick();
    EXPECT_EQ(0, Fake.Dials);
    EXPECT_EQ(1u, Lines().size());
    // An intermediate state of a line it did not dial counts as down: hung up, redialled.
    Fake.Connections[2].State = 14;
    Tick();
    EXPECT_EQ(std::vector<HRASCONN>{Handle(0x13)}, Fake.HangUps);
    EXPECT_EQ(1, Fake.Dials);
}

TEST_F(Controller, RefreshFindsNothingForOtherCaseZeroHandlesOrAnOverfullList) {
    ConnectionHandle = Handle(0x99);
    Fake.Connections = {{"office", Handle(0x31)}, {"Office", nullptr}};
    RefreshConnection();
    EXPECT_EQ(std::vector<std::string>{"Disconnected"}, Lines());
    EXPECT_EQ(TControllerState::Ready, ControllerState);
    EXPECT_EQ(Handle(0x99), ConnectionHandle); // left as it was

    // A count beyond the list and names without their zero: the search stays inside.
    Mark();
    RasApi.RasEnumConnectionsA = OverfullEnumConnections;
    RefreshConnection();
    EXPECT_EQ(std::vector<std::string>{"Disconnected"}, Lines());
}

TEST_F(Controller, RefreshWithAFailingServiceStaysInitialWithoutALine) {
    Fake.EnumResult = 603;
    ConnectionHandle = Handle(0x77);
    DialAttempt = 3;
    RefreshConnection();
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(TControllerState::Initial, ControllerState);
    EXPECT_EQ(Handle(0x77), ConnectionHandle);
    EXPECT_EQ(0, DialAttempt);

    // Found, but its status fails: the handle is kept, the state stays Initial.
    Fake.EnumResult = 0;
    Fake.StatusResult = 87;
    Fake.Connections = {{"Office", Handle(0x41)}};
    RefreshConnection();
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(TControllerState::Initial, ControllerState);
    EXPECT_EQ(Handle(0x41), ConnectionHandle);
    EXPECT_TRUE(ConnectedLook());

    // The poll is idle in Initial, auto reconnect or not.
    Settings.AutoReconnect = 1;
    Fake.StatusCalls = 0;
    Tick();
    EXPECT_EQ(0, Fake.Dials);
    EXPECT_EQ(0, Fake.StatusCalls);
}

// ---- Connect -------------------------------------------------------------------------------

TEST_F(Controller, ConnectWithoutAnEntryOnlyAsksForOne) {
    FreeString(Settings.ConnectionName);
    Connect();
    EXPECT_EQ(std::vector<std::string>{"Please choose a connection with menu File|Settings..."},
              Lines());
    EXPECT_EQ(TControllerState::Ready, ControllerState);
    EXPECT_EQ(0, Fake.Dials);
    EXPECT_EQ(0, DialAttempt);
    EXPECT_TRUE(DisconnectedLook());
}

TEST_F(Controller, ConnectDialsWithTheStoredCredentialsAndWritesTheAttempt) {
    SetString(SessionPassword, "typed earlier");
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    Connect();
    GetLocalTime(&after);

    ASSERT_EQ(1, Fake.Dials);
    EXPECT_EQ(1052u, Fake.LastParams.dwSize);
    EXPECT_STREQ("Office", Fake.LastParams.szEntryName);
    EXPECT_STREQ("user", Fake.LastParams.szUserName);
    EXPECT_STREQ("secret", Fake.LastParams.szPassword); // the stored password comes first
    EXPECT_STREQ("", Fake.LastParams.szPhoneNumber);
    EXPECT_STREQ("", Fake.LastParams.szCallbackNumber);
    EXPECT_STREQ("", Fake.LastParams.szDomain);
    EXPECT_EQ(nullptr, Fake.LastExtensions);
    EXPECT_EQ(nullptr, Fake.LastPhoneBook);
    EXPECT_EQ(0u, Fake.LastNotifierType);
    EXPECT_EQ(&DialNotifier, Fake.LastNotifier);
    EXPECT_EQ(TControllerState::Dialing, ControllerState);
    EXPECT_EQ(Fake.Connections.back().Handle, ConnectionHandle);
    EXPECT_TRUE(ConnectedLook());
    EXPECT_EQ(nullptr, PasswordWindow());

    std::vector<std::string> lines = Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(" ", lines[0]);
    EXPECT_TRUE(lines[1] == "Connecting  (#1 " + FormatDialTime(before) + ")" ||
                lines[1] == "Connecting  (#1 " + FormatDialTime(after) + ")")
        << lines[1];

    // With no stored password the one typed in this run is used, without a prompt.
    Disconnect();
    FreeString(Settings.Password);
    Connect();
    ASSERT_EQ(2, Fake.Dials);
    EXPECT_STREQ("typed earlier", Fake.LastParams.szPassword);
}

TEST_F(Controller, LongStoredValuesAreCutToTheRecordsFields) {
    SetString(Settings.ConnectionName, std::string(300, 'n').c_str());
    SetString(Settings.UserName, std::string(400, 'u').c_str());
    SetString(Settings.Password, std::string(5000, 'p').c_str());
    Connect();
    ASSERT_EQ(1, Fake.Dials);
    EXPECT_EQ(std::string(256, 'n'), Fake.LastParams.szEntryName);
    EXPECT_EQ(std::string(256, 'u'), Fake.LastParams.szUserName);
    EXPECT_EQ(std::string(256, 'p'), Fake.LastParams.szPassword);
    EXPECT_STREQ("", Fake.LastParams.szPhoneNumber); // neighbours untouched
    EXPECT_STREQ("", Fake.LastParams.szDomain);
}

TEST_F(Controller, AFailedDialIsWrittenThenThePollHangsUpItsHandleAndRedials) {
    Settings.AutoReconnect = 1;
    Fake.DialResult = 676;
    Connect();
    HRASCONN stored = ConnectionHandle;
    ASSERT_NE(nullptr, stored);
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(ErrorLine(676), lines[2]);
    EXPECT_EQ(TControllerState::Ready, ControllerState);
    EXPECT_TRUE(DisconnectedLook());
    EXPECT_EQ(0, Fake.ParamsLeftFilled); // the password was wiped as soon as the call returned

    Mark();
    Fake.DialStoresHandle = false;
    Tick();
    EXPECT_EQ(std::vector<HRASCONN>{stored}, Fake.HangUps);
    lines = Lines();
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ("  disconnecting...", lines[0]);
    EXPECT_EQ("Disconnected", lines[1]);
    EXPECT_TRUE(IsConnectingLine(lines[3], 2)) << lines[3];

    // Failed again without a handle: the next tick redials without a hang-up.
    Tick();
    EXPECT_EQ(1u, Fake.HangUps.size());
    EXPECT_EQ(3, Fake.Dials);
    EXPECT_EQ(3, DialAttempt);
    RefreshConnection(); // the count starts again
    Mark();
    Tick();
    ASSERT_EQ(3u, Lines().size());
    EXPECT_TRUE(IsConnectingLine(Lines()[1], 1)) << Lines()[1];
}

TEST_F(Controller, ConnectIsRefusedWhileADialRuns) {
    Connect();
    HRASCONN h = ConnectionHandle;
    Connect();
    EXPECT_EQ(1, Fake.Dials);
    EXPECT_EQ(h, ConnectionHandle);
    EXPECT_EQ(1, DialAttempt);
}

// ---- Reports from the service --------------------------------------------------------------

TEST_F(Controller, TheNotifierOnlyPostsAndTheWindowThreadWritesInOrder) {
    Connect();
    Mark();
    std::vector<Report> reports;
    for (RASCONNSTATE s : {0, 1, 2, 3, 4, 5, 19, 6, 10, 14, 18, 4096, 22, RASCS_Connected})
        reports.push_back({s, 0});
    EXPECT_NE(GetCurrentThreadId(), ReportFromThread(reports));
    // Nothing happened on the service's thread: no line, no change of state.
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(TControllerState::Dialing, ControllerState);

    PumpMessages(0);
    std::vector<std::string> expected;
    for (const Report& r : reports)
        expected.push_back(StateLine(r.State));
    EXPECT_EQ(expected, Lines());
    EXPECT_EQ("22", expected[12]);
    EXPECT_EQ(TControllerState::Ready, ControllerState);
    EXPECT_TRUE(IsWindowVisible(MainWindow)); // shrinking is off
    EXPECT_FALSE(InTray);
}

TEST_F(Controller, ShortWordingWritesOnlyTheFewStates) {
    Settings.SimpleStatus = 1;
    Connect();
    Mark();
    std::vector<Report> reports;
    for (RASCONNSTATE s : {0, 1, 2, 3, 4, 5, 19, 6, 10, 14, 18, RASCS_Connected})
        reports.push_back({s, 0});
    ReportFromThread(reports);
    PumpMessages(0);
    EXPECT_EQ((std::vector<std::string>{"  connecting...", "  verifying password...", "Connected"}),
              Lines());
}

TEST_F(Controller, ConnectedShrinksToTheTrayOnlyWhenAskedAndNotThereYet) {
    Settings.ShrinkWhenConnected = 1;
    ConnectedThroughDial();
    EXPECT_TRUE(InTray);
    EXPECT_FALSE(IsWindowVisible(MainWindow));

    // Already in the tray (shown here so that a second shrink would be seen): nothing more.
    Disconnect();
    ShowWindow(MainWindow, SW_SHOWNORMAL);
    ConnectedThroughDial();
    EXPECT_TRUE(IsWindowVisible(MainWindow));
}

TEST_F(Controller, ReportsOutsideADialAreWrittenButChangeNothing) {
    ConnectedThroughDial();
    Mark();
    Settings.ShrinkWhenConnected = 1;
    ReportFromThread({{RASCS_Connected, 0}, {2, 691}});
    PumpMessages(50);
    EXPECT_EQ((std::vector<std::string>{"Connected", ErrorLine(691)}), Lines());
    EXPECT_FALSE(InTray);
    EXPECT_TRUE(Fake.HangUps.empty());
}

TEST_F(Controller, AReportedErrorIsHungUpOnTheWindowThreadAndRedialledNumberedHigher) {
    Settings.AutoReconnect = 1;
    RefreshConnection();
    Tick();
    HRASCONN h = ConnectionHandle;
    Mark();
    ReportFromThread({{0, 0}, {2, 0}, {2, 676}});
    EXPECT_TRUE(Fake.HangUps.empty()); // never from the service's thread
    PumpMessages(0);
    EXPECT_EQ(std::vector<HRASCONN>{h}, Fake.HangUps);
    EXPECT_EQ((std::vector<std::string>{StateLine(0), StateLine(2), ErrorLine(676),
                                        "  disconnecting...", "Disconnected"}),
              Lines());
    EXPECT_FALSE(UserStopped);
    EXPECT_EQ(nullptr, ConnectionHandle);

    Mark();
    Tick();
    ASSERT_EQ(2u, Lines().size());
    EXPECT_TRUE(IsConnectingLine(Lines()[1], 2)) << Lines()[1];
}

TEST_F(Controller, AFailingStatusCountsAsALostLine) {
    ConnectedThroughDial();
    Fake.StatusResult = 31;
    Mark();
    Tick();
    EXPECT_EQ((std::vector<std::string>{"  disconnecting...", "Disconnected"}), Lines());
    EXPECT_TRUE(DisconnectedLook());
    EXPECT_EQ(1, Fake.Dials); // auto reconnect is off
    EXPECT_FALSE(UserStopped);

    // That failure is dealt with: a Disconnect the user presses afterwards is the user's, so
    // turning auto reconnect on later dials nothing.
    Disconnect();
    EXPECT_TRUE(UserStopped);
    Settings.AutoReconnect = 1;
    Tick();
    EXPECT_EQ(1, Fake.Dials);
}

TEST_F(Controller, AConnectionTakenUpDuringTheWaitIsKept) {
    HRASCONN old = ConnectedThroughDial();
    Fake.HangUpMs = 200;
    // The settings window's OK, dispatched by the wait, takes up another line of the entry.
    RunStepsOnTimer({[] {
        Fake.Connections.push_back({"Office", Handle(0x77)});
        RefreshConnection();
    }});
    Disconnect();
    EXPECT_EQ(std::vector<HRASCONN>{old}, Fake.HangUps);
    EXPECT_EQ(Handle(0x77), ConnectionHandle);
}

// ---- Disconnect ------------------------------------------------------------------------------

TEST_F(Controller, DisconnectWithoutAHandleOnlyWritesDisconnected) {
    Disconnect();
    EXPECT_EQ(std::vector<std::string>{"Disconnected"}, Lines());
    EXPECT_TRUE(Fake.HangUps.empty());
    EXPECT_TRUE(UserStopped);
}

TEST_F(Controller, TheHangUpWaitsPacedForTheHandleToGoAndKeepsMessagesFlowing) {
    ConnectedThroughDial();
    Fake.HangUpMs = 400;
    HWND plain = CreateWindowExA(0, "TestControllerPlain", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
    handledDuringWait = keysDuringWait = 0;
    SetForegroundWindow(MainWindow);
    struct {
        TControllerState State;
        bool OpenAfterClose, DisconnectEnabled, DisconnectGrayed;
    } during = {};
    RunStepsOnTimer({[&] {
                         PostMessageA(plain, WM_USER, 0, 0);
                         // Offered to the active main window first, which takes Tab itself.
                         PostMessageA(plain, WM_KEYDOWN, VK_TAB, 1);
                     },
                     [&] {
                         SendMessageA(MainWindow, WM_CLOSE, 0, 0); // refused while hanging up
                         during = {ControllerState, IsWindow(MainWindow) != FALSE,
                                   IsWindowEnabled(DisconnectButton) != FALSE,
                                   Grayed(CmdDisconnect)};
                         Tick(); // the poll ticks during the wait and must stay idle
                     }});
    Fake.StatusCalls = 0;
    ULONGLONG start = GetTickCount64();
    Disconnect();
    ULONGLONG took = GetTickCount64() - start;
    DestroyWindow(plain);

    EXPECT_GE(took, 390u);
    EXPECT_LT(took, 3000u);
    EXPECT_EQ(TControllerState::HangingUp, during.State);
    EXPECT_TRUE(during.OpenAfterClose);
    EXPECT_FALSE(during.DisconnectEnabled);
    EXPECT_TRUE(during.DisconnectGrayed);
    EXPECT_EQ(1, handledDuringWait);
    EXPECT_EQ(0, keysDuringWait) << "the Tab was neither dispatched nor typed";
    EXPECT_EQ(1u, Fake.HangUps.size());
    // Paced: a poll per pause of at most 10 ms, not one after the other.
    EXPECT_GE(Fake.StatusCalls, 5);
    EXPECT_LE(Fake.StatusCalls, 120);
    EXPECT_EQ(TControllerState::Ready, ControllerState);
    EXPECT_EQ(nullptr, ConnectionHandle);
    EXPECT_TRUE(IsWindowEnabled(ConnectButton));
    EXPECT_FALSE(Grayed(CmdConnect));
}

TEST_F(Controller, AQuitArrivingDuringTheWaitIsKeptForTheMainLoop) {
    ConnectedThroughDial();
    Fake.HangUpMs = 200;
    RunStepsOnTimer({[] { PostQuitMessage(42); }});
    Disconnect();
    MSG msg;
    bool quit = false;
    while (!quit && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        quit = msg.message == WM_QUIT && msg.wParam == 42;
        DispatchMessageA(&msg);
    }
    EXPECT_TRUE(quit);
}

TEST_F(Controller, CommandsDuringTheWaitStartNoSecondDialOrHangUp) {
    ConnectedThroughDial();
    Fake.HangUpMs = 300;
    RunStepsOnTimer({[] { PostMessageA(MainWindow, WM_COMMAND, CmdConnect, 0); },
                     [] { PostMessageA(MainWindow, WM_COMMAND, CmdDisconnect, 0); }});
    ULONGLONG start = GetTickCount64();
    Disconnect();
    EXPECT_LT(GetTickCount64() - start, 3000u);
    PumpMessages(50);
    EXPECT_EQ(1, Fake.Dials);
    EXPECT_EQ(1u, Fake.HangUps.size());
    EXPECT_EQ(TControllerState::Ready, ControllerState);
}

// ---- The entry changed in the settings window while a dial or hang-up runs --------------------

// What the settings window's OK does with a new entry.
void ChooseEntry(const char* name) {
    SetString(Settings.ConnectionName, name);
    RefreshConnection();
}

TEST_F(Controller, AnEntryChangedDuringTheHangUpWaitIsTakenUpWhenTheWaitEnds) {
    Settings.AutoReconnect = 1;
    HRASCONN h = ConnectedThroughDial();
    Fake.Find(h)->State = RASCS_Disconnected; // the line drops
    Fake.HangUpMs = 300;
    Mark();
    struct {
        TControllerState State;
        int DialAttempt, Dials;
        HRASCONN Handle;
        size_t HangUps;
        std::string Title;
        bool StillThere;
    } during = {};
    RunStepsOnTimer({[] { ChooseEntry("Backup"); },
                     [&] {
                         Tick(); // the poll inside the wait
                         SendMessageA(MainWindow, WM_CLOSE, 0, 0);
                         during = {ControllerState,
                                   DialAttempt,
                                   Fake.Dials,
                                   ConnectionHandle,
                                   Fake.HangUps.size(),
                                   TextOf(MainWindow),
                                   IsWindow(MainWindow) != FALSE};
                     }});
    Tick(); // sees the drop, hangs up and waits
    ClearTimerSteps();

    EXPECT_EQ(TControllerState::HangingUp, during.State);
    EXPECT_EQ(1, during.DialAttempt);
    EXPECT_EQ(h, during.Handle);
    EXPECT_EQ(1, during.Dials) << "no dial inside the wait";
    EXPECT_EQ(1u, during.HangUps);
    EXPECT_EQ("Tovane - Backup", during.Title);
    EXPECT_TRUE(during.StillThere) << "Close is refused during the wait";
    EXPECT_EQ(std::vector<HRASCONN>{h}, Fake.HangUps);
    // Then the refresh for the new entry, and auto reconnect dials it, counted from 1 again.
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ((std::vector<std::string>{"  disconnecting...", "Disconnected", "Disconnected", " "}),
              std::vector<std::string>(lines.begin(), lines.begin() + 4));
    EXPECT_TRUE(IsConnectingLine(lines[4], 1)) << lines[4];
    EXPECT_EQ(2, Fake.Dials);
    EXPECT_STREQ("Backup", Fake.LastParams.szEntryName);
}

// A cleared entry: the refresh at the wait's end says so, and the poll asks for nothing.
TEST_F(Controller, AnEntryClearedDuringThePollsHangUpWaitIsNotAskedFor) {
    Settings.AutoReconnect = 1;
    HRASCONN h = ConnectedThroughDial();
    Fake.Find(h)->State = RASCS_Disconnected;
    Fake.HangUpMs = 300;
    Mark();
    RunStepsOnTimer({[] { ChooseEntry(nullptr); }});
    Tick();
    ClearTimerSteps();
    EXPECT_EQ(
        (std::vector<std::string>{"  disconnecting...", "Disconnected", "No connection selected"}),
        Lines());
    EXPECT_EQ(1, Fake.Dials);
}

TEST_F(Controller, AnEntryChangedDuringADialLeavesTheDialItsReports) {
    for (DWORD error : {DWORD(0), DWORD(633)}) {
        SCOPED_TRACE(error);
        SetUp();
        Fake.Connections.push_back({"Backup", Handle(0x77), RASCS_Connected});
        Connect();
        HRASCONN h = ConnectionHandle;
        Mark();
        ChooseEntry("Backup");
        EXPECT_EQ("Tovane - Backup", TextOf(MainWindow));
        EXPECT_EQ(TControllerState::Dialing, ControllerState);
        EXPECT_EQ(1, DialAttempt);
        EXPECT_EQ(h, ConnectionHandle);
        EXPECT_FALSE(CanClose());
        EXPECT_TRUE(Lines().empty());

        ReportFromThread({{error ? RASCONNSTATE(2) : RASCS_Connected, error}});
        PumpMessages(0);
        // The dial's report is handled (an error hangs up its handle), then the new entry is
        // refreshed and its connection adopted.
        std::vector<std::string> expected = {error ? ErrorLine(error) : StateLine(RASCS_Connected)};
        if (error) expected.insert(expected.end(), {"  disconnecting...", "Disconnected"});
        expected.push_back(StateLine(RASCS_Connected));
        EXPECT_EQ(expected, Lines());
        EXPECT_EQ(error ? std::vector<HRASCONN>{h} : std::vector<HRASCONN>{}, Fake.HangUps);
        EXPECT_EQ(TControllerState::Ready, ControllerState);
        EXPECT_EQ(Handle(0x77), ConnectionHandle);
        EXPECT_EQ(0, DialAttempt);
        EXPECT_TRUE(ConnectedLook());
    }
}

// While hanging up: see the wait test above.
TEST_F(Controller, CloseAndExitAreRefusedWhileDialling) {
    Connect();
    SendMessageA(MainWindow, WM_CLOSE, 0, 0);
    SendMessageA(MainWindow, WM_COMMAND, CmdExit, 0);
    EXPECT_TRUE(IsWindow(MainWindow));
    EXPECT_TRUE(IsWindowVisible(MainWindow));
}

TEST_F(Controller, AfterEndSessionThePollDoesNothing) {
    Settings.AutoReconnect = 1;
    SessionEnding = true;
    Tick();
    EXPECT_EQ(0, Fake.Dials);
}

// ---- The password prompt ------------------------------------------------------------------------

TEST_F(Controller, MissingCredentialsOpenThePromptAndItsAnswerIsDialled) {
    FreeString(Settings.UserName);
    FreeString(Settings.Password);
    HWND owner = nullptr;
    TControllerState inside = TControllerState::Initial;
    int statusCallsInside = -1;
    RunStepsOnTimer({[&] {
                         owner = GetWindow(PasswordWindow(), GW_OWNER);
                         inside = ControllerState;
                         int before = Fake.StatusCalls;
                         Tick();
                         statusCallsInside = Fake.StatusCalls - before;
                     },
                     [] { AnswerPrompt("newuser", "newpass"); }});
    Connect();
    EXPECT_EQ(MainWindow, owner);
    EXPECT_EQ(TControllerState::Dialing, inside);
    EXPECT_EQ(0, statusCallsInside);
    ASSERT_EQ(1, Fake.Dials);
    EXPECT_STREQ("newuser", Fake.LastParams.szUserName);
    EXPECT_STREQ("newpass", Fake.LastParams.szPassword);
    EXPECT_EQ("newuser", Text(Settings.UserName));
    EXPECT_EQ(nullptr, Settings.Password);
    EXPECT_EQ("newpass", Text(SessionPassword));
    EXPECT_TRUE(IsWindowEnabled(MainWindow));

    // A user name without any password prompts too.
    Disconnect();
    FreeString(SessionPassword);
    bool prompted = false;
    RunStepsOnTimer({[&] {
        prompted = PasswordWindow() != nullptr;
        PostMessageA(PasswordWindow(), WM_CLOSE, 0, 0);
    }});
    Connect();
    EXPECT_TRUE(prompted);
    EXPECT_EQ(1, Fake.Dials);
}

TEST_F(Controller, CancellingThePromptRestoresTheStateAndStopsRedialling) {
    FreeString(Settings.UserName);
    Settings.AutoReconnect = 1;
    ControllerState = TControllerState::Initial;
    RunStepsOnTimer({[] { SendMessageA(GetDlgItem(PasswordWindow(), 2), BM_CLICK, 0, 0); }});
    Connect();
    EXPECT_EQ(TControllerState::Initial, ControllerState);
    EXPECT_TRUE(UserStopped);

    RefreshConnection();
    Mark();
    RunStepsOnTimer({[] { SendMessageA(GetDlgItem(PasswordWindow(), 2), BM_CLICK, 0, 0); }});
    Tick(); // auto reconnect opens the prompt
    EXPECT_EQ(0, Fake.Dials);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(TControllerState::Ready, ControllerState);
    EXPECT_EQ(0, DialAttempt);
    Tick(); // and not again
    EXPECT_EQ(nullptr, PasswordWindow());
    EXPECT_EQ(0, Fake.Dials);
}

TEST_F(Controller, APromptAnsweredWithoutAPasswordDoesNotDial) {
    FreeString(Settings.UserName);
    FreeString(Settings.Password);
    RunStepsOnTimer({[] { AnswerPrompt("someone", nullptr); }});
    Connect();
    EXPECT_EQ(0, Fake.Dials);
    EXPECT_TRUE(UserStopped);
    EXPECT_EQ("someone", Text(Settings.UserName));
}

// Ends the other modal window once the dial has started, noting how things stand then.
bool mainDisabledAfterPrompt = false;
HWND activeAfterPrompt = nullptr;
void CALLBACK FinishOtherModalAfterDial(HWND, UINT, UINT_PTR id, DWORD) {
    if (Fake.Dials == 0) return;
    KillTimer(nullptr, id);
    mainDisabledAfterPrompt = !IsWindowEnabled(MainWindow);
    activeAfterPrompt = GetActiveWindow();
    EndModal(FindWindowA(nullptr, "other modal"), ModalCancel);
}

TEST_F(Controller, ThePollOpensThePromptOverTheMainWindowFromAnotherModalLoop) {
    FreeString(Settings.UserName);
    Settings.AutoReconnect = 1;
    RefreshConnection();
    HWND other = CreateWindowExA(0, "TestControllerPlain", "other modal", WS_CAPTION | WS_SYSMENU,
                                 50, 50, 200, 100, MainWindow, nullptr, nullptr, nullptr);
    HWND promptOwner = nullptr;
    // The poll ticks inside the other window's loop; its Connect runs the prompt from there.
    RunStepsOnTimer({[] { Tick(); }});
    RunStepsOnTimer({[&] {
        promptOwner = GetWindow(PasswordWindow(), GW_OWNER);
        AnswerPrompt("inner", "pw");
    }});
    SetTimer(nullptr, 0, 20, FinishOtherModalAfterDial);
    RunModal(other, MainWindow);
    DestroyWindow(other);

    EXPECT_EQ(MainWindow, promptOwner);
    EXPECT_EQ(1, Fake.Dials);
    EXPECT_STREQ("inner", Fake.LastParams.szUserName);
    // The other window is still modal over the main window after the prompt closed.
    EXPECT_TRUE(mainDisabledAfterPrompt);
    EXPECT_EQ(other, activeAfterPrompt);
    EXPECT_TRUE(IsWindowEnabled(MainWindow));
}

// ---- Refused credentials -------------------------------------------------------------------

const std::string WaitLine =
    "Auto reconnect waits 30 seconds: the server refused the user name or password.";
const std::string StopLine = "Auto reconnect stopped: the server refused the user name or "
                             "password 3 times. Check them with menu File|Settings...";

// A dial, started by dial(), that fails with the code: returned by RasDialA, or reported.
void FailDial(DWORD code, bool atOnce, void (*dial)()) {
    Fake.DialResult = atOnce ? code : 0;
    dial();
    if (!atOnce) ReportFromThread({{6, code}});
    PumpMessages(0);
}

// The line that follows the last error line, empty when none does.
std::string AfterError(const std::vector<std::string>& lines, DWORD code) {
    auto error = std::find(lines.rbegin(), lines.rend(), ErrorLine(code));
    return error == lines.rend() || error == lines.rbegin() ? "" : *(error - 1);
}

TEST_F(Controller, RefusedCredentialsWaitThirtySecondsOtherErrorsRedialAtOnce) {
    const struct {
        DWORD Code;
        bool AtOnce, Refusal;
    } cases[] = {{691, false, true},  {646, true, true}, {647, false, true},  {648, true, true},
                 {649, false, true},  {691, true, true}, {645, false, false}, {650, true, false},
                 {676, false, false}, {678, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Code << (c.AtOnce ? " from RasDialA" : " reported"));
        SetUp();
        Settings.AutoReconnect = 1;
        FailDial(c.Code, c.AtOnce, Tick);
        ULONGLONG refused = GetTickCount64();
        EXPECT_EQ(c.Refusal, AfterError(Lines(), c.Code) == WaitLine);
        EXPECT_EQ(c.Refusal ? 1 : 0, RefusalCount);
        EXPECT_NEAR(c.Refusal ? double(refused + 30000) : 0.0, double(RefusalWaitEnd), 500);
        Tick();
        EXPECT_EQ(c.Refusal ? 1 : 2, Fake.Dials);
        if (!c.Refusal) continue;
        RefusalWaitEnd = refused; // the wait is over
        Tick();
        EXPECT_EQ(2, Fake.Dials);
    }
}

TEST_F(Controller, TheThirdRefusalInARowStopsAutoReconnectUntilTheUserConnects) {
    Settings.AutoReconnect = 1;
    for (int i = 0; i < 3; ++i) {
        RefusalWaitEnd = 0;
        FailDial(691, i == 1, Tick);
        EXPECT_EQ(i < 2 ? WaitLine : StopLine, AfterError(Lines(), 691)) << i;
    }
    EXPECT_TRUE(UserStopped);
    RefusalWaitEnd = 0;
    Tick();
    Tick();
    EXPECT_EQ(3, Fake.Dials);

    // The user's Connect counts from one again; without auto reconnect there is no line.
    Settings.AutoReconnect = 0;
    FailDial(691, false, Connect);
    EXPECT_EQ(1, RefusalCount);
    EXPECT_EQ("  disconnecting...", AfterError(Lines(), 691));
}

TEST_F(Controller, RefusalsStartOverAtAConnectionTheUsersConnectAndSettingsOk) {
    auto settings = [](int button) {
        RunStepsOnTimer({[button] {
            PostMessageA(GetDlgItem(FindWindowA("TovaneSettingsWndClass", nullptr), button),
                         BM_CLICK, 0, 0);
        }});
        SendMessageA(MainWindow, WM_COMMAND, CmdSettings, 0);
    };
    const struct {
        const char* Name;
        std::function<void()> Act;
        bool StartsOver;
    } paths[] = {{"poll's dial", Tick, false},
                 {"connected",
                  [] {
                      ReportFromThread({{RASCS_Connected, 0}}), PumpMessages(0);
                  },
                  true},
                 {"user's Connect", [] { Disconnect(), Connect(); }, true},
                 {"settings cancelled", [&] { settings(2); }, false},
                 {"settings OK", [&] { settings(1); }, true}};
    Settings.AutoReconnect = 1;
    RefusalCount = 2;
    for (const auto& path : paths) {
        RefusalWaitEnd = path.StartsOver ? GetTickCount64() + 99000 : 0;
        path.Act();
        EXPECT_EQ(path.StartsOver ? 0 : 2, RefusalCount) << path.Name;
        EXPECT_EQ(0u, RefusalWaitEnd) << path.Name;
        RefusalCount = 2;
    }
    EXPECT_EQ(2, Fake.Dials);
}

TEST_F(Controller, ARefusedTypedPasswordIsForgottenAndAskedForAgain) {
    Settings.AutoReconnect = 1;
    Fake.DialStoresHandle = false; // no hang-up wait to dispatch the prompt's answer early
    SetString(SessionPassword, "typed");
    FailDial(691, false, Connect); // the stored password was refused, not the typed one
    EXPECT_EQ("typed", Text(SessionPassword));
    FreeString(Settings.Password);
    RefusalWaitEnd = 0;
    FailDial(648, true, Tick);
    EXPECT_STREQ("typed", Fake.LastParams.szPassword);
    EXPECT_EQ(nullptr, SessionPassword);

    RefusalWaitEnd = 0;
    RunStepsOnTimer({[] { AnswerPrompt(nullptr, "retyped"); }});
    FailDial(0, true, Tick);
    EXPECT_EQ(3, Fake.Dials);
    EXPECT_STREQ("retyped", Fake.LastParams.szPassword);
}

TEST_F(Controller, WindowsSavedCredentialsReplaceThePromptOnlyForTheSameUser) {
    const struct {
        const char *User, *Stored, *Typed, *SavedUser;
        bool PasswordSaved;
        std::string Dialled; // user/password
    } cases[] = {
        {nullptr, nullptr, nullptr, "ras", true, "ras/**saved handle**"},
        {"ras", nullptr, nullptr, "ras", true, "ras/**saved handle**"},
        {"Ras", nullptr, nullptr, "ras", true, "asked/answer"}, // another user's password
        {nullptr, nullptr, nullptr, "ras", false, "asked/answer"},
        {nullptr, nullptr, nullptr, "", true, "asked/answer"}, // no user name to go with it
        {"ras", "stored", nullptr, "ras", true, "ras/stored"},
        {"ras", nullptr, "typed", "ras", true, "ras/typed"},
        {nullptr, "stored", nullptr, "ras", true, "asked/stored"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Dialled);
        SetUp();
        SetString(Settings.UserName, c.User);
        SetString(Settings.Password, c.Stored);
        SetString(SessionPassword, c.Typed);
        Fake.SavedUser = c.SavedUser;
        Fake.PasswordSaved = c.PasswordSaved;
        Fake.DialResult = 691;
        RunStepsOnTimer({[] { AnswerPrompt("asked", "answer"); }});
        Connect();
        ClearTimerSteps();
        ASSERT_EQ(1, Fake.Dials);
        EXPECT_EQ(c.Dialled,
                  std::string(Fake.LastParams.szUserName) + "/" + Fake.LastParams.szPassword);
        EXPECT_EQ(!c.Stored && !c.Typed, Fake.SavedAsks == 1);
        EXPECT_EQ(0, Fake.SavedLeftFilled); // wiped as soon as RasDialA returned
        // RAS's user name is never kept.
        EXPECT_EQ(c.Dialled[0] == 'a' ? "asked" : Text(c.User), Text(Settings.UserName));
    }

    // Refused, the saved ones give way to the prompt, until the settings window's OK.
    SetUp();
    FreeString(Settings.UserName);
    FreeString(Settings.Password);
    Fake.SavedUser = "ras";
    Fake.PasswordSaved = true;
    FailDial(691, true, Connect);
    for (bool accepted : {false, true}) {
        if (accepted) SettingsAccepted();
        bool asked = false;
        RunStepsOnTimer({[&] {
            asked = PasswordWindow() != nullptr;
            PostMessageA(PasswordWindow(), WM_CLOSE, 0, 0);
        }});
        Connect();
        ClearTimerSteps();
        EXPECT_EQ(!accepted, asked);
    }
    EXPECT_EQ(2, Fake.Dials);
    EXPECT_STREQ(SavedHandle, Fake.LastParams.szPassword);
}

// ---- The poll's own timer ----------------------------------------------------------------

TEST_F(Controller, TheTimerRedialsAboutASecondAfterDisconnectedAndAfterEachFailure) {
    Settings.AutoReconnect = 1;
    Fake.DialResult = 678;
    RefreshConnection();
    ULONGLONG shown = GetTickCount64();
    SetTimer(MainWindow, PollTimerId, PollPeriodMs, PollTimer);
    ASSERT_TRUE(PumpUntil([] { return Fake.Dials == 1; }, 3000));
    ULONGLONG first = GetTickCount64();
    ASSERT_TRUE(PumpUntil([] { return Fake.Dials == 2; }, 3000));
    ULONGLONG second = GetTickCount64();
    EXPECT_GE(first - shown, 900u);
    EXPECT_LE(first - shown, 2000u);
    EXPECT_GE(second - first, 900u);
    EXPECT_LE(second - first, 1500u);
    EXPECT_EQ(2, DialAttempt);
}

// ---- The date and time of an attempt ---------------------------------------------------------

// One of the user's formats, set for the scope (where the system knows it) and put back.
class UserFormat {
  public:
    UserFormat(LCTYPE type, const char* value) : type_(type) {
        known_ = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, old_, sizeof old_) > 0;
        set_ = known_ && SetLocaleInfoA(LOCALE_USER_DEFAULT, type, value);
    }
    ~UserFormat() {
        if (set_) SetLocaleInfoA(LOCALE_USER_DEFAULT, type_, old_);
    }
    UserFormat(const UserFormat&) = delete;
    UserFormat& operator=(const UserFormat&) = delete;
    bool Set() const { return set_; }

  private:
    LCTYPE type_;
    char old_[80] = {};
    bool known_ = false, set_ = false;
};

// The short time where the system has one (Wine has not), else the time without its seconds.
TEST(DialTime, TheUsersShortDateABlankAndTheUsersShortTime) {
    SYSTEMTIME t = {};
    t.wYear = 2024;
    t.wMonth = 3;
    t.wDay = 5;
    t.wHour = 14;
    t.wMinute = 7;
    t.wSecond = 59;
    for (auto [date, shortTime, time, expected] :
         {std::tuple{"yyyy-MM-dd", "HH.mm", "HH.mm.ss", "2024-03-05 14.07"},
          std::tuple{"d/M/yy", "h:mm tt", "h:mm:ss tt", "5/3/24 2:07 PM"}}) {
        UserFormat d(LOCALE_SSHORTDATE, date), s(LOCALE_SSHORTTIME, shortTime),
            l(LOCALE_STIMEFORMAT, time);
        ASSERT_TRUE(d.Set() && l.Set());
        EXPECT_EQ(expected, FormatDialTime(t));
    }
}

} // namespace
