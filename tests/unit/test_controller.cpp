// The connection controller as sequences, after the message-sequence tests of Wine's comctl32:
// events go in through its entry points; what it does comes out through a recording port and a
// dial-up service of the test's own, one text per effect, in order. Each case is a table of
// events, each with the effects expected of it. No window is needed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "app/NConnection.h"
#include "common/NCommon.h"
#include "support/TestSupport.h"

namespace {

// ---- What the controller did --------------------------------------------------------------------

std::vector<std::string> Effects;
DWORD TestThread = 0;

// An effect from another thread than the test's is marked as such. The two halves of the
// button pair are joined, so that a table reads as the user sees it.
void Record(std::string effect) {
    if (GetCurrentThreadId() != TestThread) effect = "thread " + effect;
    if (!Effects.empty()) {
        std::string& last = Effects.back();
        if (last == "connect off" && effect == "disconnect on") return void(last = "buttons up");
        if (last == "connect on" && effect == "disconnect off") return void(last = "buttons down");
    }
    Effects.push_back(std::move(effect));
}

std::string Hex(const void* value) {
    char text[24];
    wsprintfA(text, "%x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(value)));
    return text;
}

// ---- The service --------------------------------------------------------------------------------

struct FakeConnection {
    std::string Entry;
    HRASCONN Handle = nullptr;
    RASCONNSTATE State = RASCS_Connected;
    bool HungUp = false;
    ULONGLONG GoneAt = 0; // when a hung-up handle becomes invalid
};

struct FakeService {
    std::vector<FakeConnection> Connections;
    DWORD EnumResult = 0, StatusResult = 0, DialResult = 0;
    bool DialStoresHandle = true; // also when the dial fails at once
    DWORD HangUpMs = 0;
    uintptr_t NextHandle = 0x1000;
    int StatusCalls = 0;
    int DuringLeft = 0; // steps still to run inside a hang-up wait, which lasts until they ran
    RasDialFunc Notifier = nullptr;
    const RASDIALPARAMSA* Params = nullptr; // the last dial's record
    const RASDIALPARAMSA* Saved = nullptr;  // the record of the last ask for saved credentials
    int LeftFilled = -1;   // their bytes not zero at the next error text (still in Connect)
    std::string SavedUser; // what Windows saved with the entry
    bool PasswordSaved = false;

    FakeConnection* Find(HRASCONN handle) {
        for (FakeConnection& c : Connections)
            if (c.Handle == handle) return &c;
        return nullptr;
    }
};

FakeService Fake;

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

// The hang-up wait's polls of a handle already hung up are counted, not recorded.
DWORD WINAPI FakeGetConnectStatus(HRASCONN handle, RASCONNSTATUSA* status) {
    ++Fake.StatusCalls;
    FakeConnection* c = Fake.Find(handle);
    if (status->dwSize != sizeof(RASCONNSTATUSA)) return 632;
    status->rasconnstate = c && !c->HungUp ? c->State : RASCS_Disconnected;
    status->dwError = 0;
    if (c && c->HungUp)
        return Fake.DuringLeft == 0 && GetTickCount64() >= c->GoneAt ? RasErrorInvalidHandle : 0;
    Record("status " + Hex(handle));
    return !c ? RasErrorInvalidHandle : Fake.StatusResult;
}

// Records the entry, user and password, and "odd" for a record or call unlike the oldest
// layout's plain dial with a notifier of type 0.
DWORD WINAPI FakeDial(void* extensions, LPCSTR phoneBook, RASDIALPARAMSA* params, DWORD type,
                      void* notifier, HRASCONN* handle) {
    const bool odd = extensions || phoneBook || type != 0 || notifier != &DialNotifier ||
                     params->dwSize != 1052 || params->szPhoneNumber[0] ||
                     params->szCallbackNumber[0] || params->szDomain[0];
    Record(std::string("dial ") + params->szEntryName + " " + params->szUserName + " " +
           params->szPassword + (odd ? " odd" : ""));
    Fake.Params = params;
    Fake.Notifier = reinterpret_cast<RasDialFunc>(notifier);
    if (Fake.DialResult == 0 || Fake.DialStoresHandle) {
        Fake.Connections.push_back({params->szEntryName,
                                    reinterpret_cast<HRASCONN>(Fake.NextHandle++),
                                    RASCS_ConnectDevice});
        *handle = Fake.Connections.back().Handle;
    }
    return Fake.DialResult;
}

DWORD WINAPI FakeErrorString(UINT code, LPSTR buffer, DWORD) {
    Fake.LeftFilled = 0;
    for (auto* record : {Fake.Params, Fake.Saved}) {
        auto bytes = reinterpret_cast<const unsigned char*>(record);
        if (bytes)
            Fake.LeftFilled += static_cast<int>(std::count_if(bytes, bytes + sizeof(RASDIALPARAMSA),
                                                              [](unsigned char b) { return b; }));
    }
    Fake.Params = Fake.Saved = nullptr;
    wsprintfA(buffer, "service text %u", code);
    return 0;
}

DWORD WINAPI FakeHangUp(HRASCONN handle) {
    Record("hangup " + Hex(handle));
    FakeConnection* c = Fake.Find(handle);
    if (!c) return RasErrorInvalidHandle;
    c->HungUp = true;
    c->GoneAt = GetTickCount64() + Fake.HangUpMs;
    return 0;
}

// The password comes back as a handle that RasDialA resolves.
DWORD WINAPI FakeSavedCredentials(LPCSTR phoneBook, RASDIALPARAMSA* params, BOOL* saved) {
    Record(std::string("ask saved ") + params->szEntryName);
    Fake.Saved = params;
    if (phoneBook || params->dwSize != sizeof(RASDIALPARAMSA)) return 632;
    lstrcpyA(params->szUserName, Fake.SavedUser.c_str());
    lstrcpyA(params->szPassword, Fake.PasswordSaved ? "#saved" : "");
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

const TRasApi FakeApi = {nullptr,         FakeEnumConnections, FakeGetConnectStatus, FakeDial,
                         FakeErrorString, FakeHangUp,          FakeSavedCredentials, nullptr};

// ---- The recording port -------------------------------------------------------------------------

using Event = std::function<void()>;

struct Answer {
    bool Ok;
    const char* User;
    const char* Password;      // null: the field left empty
    std::vector<Event> Inside; // run while the prompt is open
};
std::deque<Answer> Answers; // none left: the prompt is cancelled
std::deque<MSG> Posted;

// As the password window does: the name always, a typed password only into this run's memory.
bool RunAnswer() {
    Record("prompt");
    if (Answers.empty()) return false;
    Answer answer = Answers.front();
    Answers.pop_front();
    for (const Event& event : answer.Inside)
        event();
    if (!answer.Ok) return false;
    ReplaceString(Settings.UserName, NewString(answer.User));
    if (answer.Password) ReplaceString(SessionPassword, NewString(answer.Password));
    return true;
}

void RecordPost(UINT message, WPARAM wParam, LPARAM lParam) {
    Record(message == DialReportMessage
               ? "post report " + std::to_string(wParam) + " " + std::to_string(lParam)
               : "post command " + std::to_string(wParam));
    Posted.push_back({nullptr, message, wParam, lParam, 0, {}});
}

const TMainView RecordingPort = {
    [](const char* title) { Record(std::string("title ") + title); },
    [](bool on) { Record(on ? "connect on" : "connect off"); },
    [](bool on) { Record(on ? "disconnect on" : "disconnect off"); },
    [] { Record("tray"); },
    [](TTrayNews news, const char* text) {
        static const char* const kinds[] = {"lost", "connected", "stopped"};
        Record(std::string("tell ") + kinds[static_cast<int>(news)] + " " + text);
    },
    [](const char* text) {
        if (text) Record(std::string("line ") + text);
    },
    RunAnswer,
    RecordPost,
};

// ---- Events -------------------------------------------------------------------------------------

// The window thread's side of a post, as the main window routes it.
void Deliver() {
    while (!Posted.empty()) {
        MSG msg = Posted.front();
        Posted.pop_front();
        if (msg.message == DialReportMessage)
            OnDialReport(static_cast<RASCONNSTATE>(msg.wParam), static_cast<DWORD>(msg.lParam));
        else if (msg.message == WM_COMMAND && msg.wParam == CmdDisconnect)
            Disconnect();
    }
}

DWORD WINAPI ReportThread(void* reports) {
    for (const auto& [state, error] : *static_cast<std::vector<std::pair<int, DWORD>>*>(reports))
        Fake.Notifier(0xCCCD, static_cast<RASCONNSTATE>(state), error);
    return 0;
}

// The service reports on a thread of its own; the window thread has handled none of them when
// this returns.
Event Reports(std::vector<std::pair<int, DWORD>> reports) {
    return [reports]() mutable {
        HANDLE thread = CreateThread(nullptr, 0, ReportThread, &reports, 0, nullptr);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    };
}

const char* const StateNames[] = {"Initial", "Dialing", "HangingUp", "Ready"};

// The controller's whole state as one effect.
void Look() {
    const TController& c = ControllerNow();
    std::string text = StateNames[static_cast<int>(c.ControllerState)];
    text += " #" + std::to_string(c.DialAttempt) + " h";
    text += c.ConnectionHandle ? Hex(c.ConnectionHandle) : "-";
    for (auto [flag, name] : {std::pair{c.UserStopped, " stopped"},
                              {c.FailureHangup, " failure"},
                              {c.SessionEnding, " ending"},
                              {c.RefreshPending, " pending"}})
        if (flag) text += name;
    if (c.SavedRefused) text += " saved-refused";
    if (c.RefusalCount) text += " refused " + std::to_string(c.RefusalCount);
    const ULONGLONG now = GetTickCount64();
    if (c.RefusalWaitEnd > now)
        text += " wait " + std::to_string((c.RefusalWaitEnd - now + 999) / 1000);
    Record(text);
}

void CloseQuery() {
    Record(CanClose() ? "close allowed" : "close refused");
}

void SetString(char*& field, const char* value) {
    ReplaceString(field, NewString(value));
}

// What the settings window's OK does with a new entry.
Event Choose(const char* entry) {
    return [entry] {
        SetString(Settings.ConnectionName, entry);
        RefreshConnection();
    };
}

Event Prompt(bool ok, const char* user, const char* password, std::vector<Event> inside = {}) {
    return [=] { Answers.push_back({ok, user, password, inside}); };
}

// The events run one per timer tick from inside the next hang-up wait, which lasts until they
// all ran: the way the user acts during the wait.
Event During(std::vector<Event> events) {
    return [events] {
        Fake.DuringLeft = static_cast<int>(events.size());
        std::vector<std::function<void()>> steps;
        for (const Event& event : events)
            steps.push_back([event] {
                event();
                --Fake.DuringLeft;
            });
        RunStepsOnTimer(steps, 10);
    };
}

// ---- Tables -------------------------------------------------------------------------------------

// One expected effect, or several in a row.
struct Piece {
    std::vector<std::string> Texts;
    Piece(const char* text) : Texts{text} {}
    Piece(std::string text) : Texts{std::move(text)} {}
    Piece(std::vector<std::string> texts) : Texts(std::move(texts)) {}
};

struct Row {
    Event Do;
    std::vector<std::string> Expect; // a text ending in '*' matches any end
    Row(Event event, std::initializer_list<Piece> pieces) : Do(std::move(event)) {
        for (const Piece& piece : pieces)
            Expect.insert(Expect.end(), piece.Texts.begin(), piece.Texts.end());
    }
};

bool Same(const std::vector<std::string>& expected, const std::vector<std::string>& got) {
    if (expected.size() != got.size()) return false;
    for (size_t i = 0; i < got.size(); ++i) {
        const std::string& e = expected[i];
        if (!e.empty() && e.back() == '*' ? got[i].rfind(e.substr(0, e.size() - 1), 0) != 0
                                          : e != got[i])
            return false;
    }
    return true;
}

std::string Listed(const std::vector<std::string>& texts) {
    std::string list;
    for (const std::string& t : texts)
        list += "    " + t + "\n";
    return list;
}

// Runs the rows in order; the effects of the last row stay in Effects.
void Sequence(const std::vector<Row>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
        Effects.clear();
        rows[i].Do();
        if (!Same(rows[i].Expect, Effects))
            ADD_FAILURE() << "row " << i + 1 << " expected:\n"
                          << Listed(rows[i].Expect) << "  but was:\n"
                          << Listed(Effects);
    }
}

// The wording of the state texts, so the tables follow it.
std::string Line(RASCONNSTATE state, DWORD error = 0) {
    const char* text = ConnectionStateText(state, error, Settings.SimpleStatus != 0);
    return std::string("line ") + (text ? text : "");
}

std::vector<std::string> Dialling(int attempt, std::string user = "user",
                                  std::string password = "secret", std::string entry = "Office") {
    return {"buttons up", "line  ", "line Connecting  (#" + std::to_string(attempt) + " *",
            "dial " + entry + " " + user + " " + password};
}

const std::vector<std::string> HangUp = {"line   disconnecting...", "disconnect off",
                                         "hangup 1000"};
const std::vector<std::string> HungUp = {"line Disconnected", "connect on"};

HRASCONN Handle(uintptr_t value) {
    return reinterpret_cast<HRASCONN>(value);
}

// ---- Fixture ------------------------------------------------------------------------------------

// Each case starts Ready, after a refresh that found no line of the entry.
class Controller : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitShared();
        LoadSettings();
        TestThread = GetCurrentThreadId();
    }
    void SetUp() override {
        Fake = FakeService();
        RasApi = FakeApi;
        Answers.clear();
        Posted.clear();
        ClearTimerSteps();
        SetString(Settings.ConnectionName, "Office");
        SetString(Settings.UserName, "user");
        SetString(Settings.Password, "secret");
        FreeString(SessionPassword);
        Settings.SimpleStatus = Settings.AutoReconnect = Settings.ShrinkWhenConnected = 0;
        ResetController();
        AttachMainView(RecordingPort);
        Sequence({{RefreshConnection, {"title Tovane - Office", "line Disconnected"}}});
    }
    // Dials and lets the service report the connection.
    void Dial() {
        Sequence({{Connect, {Dialling(1)}},
                  {Reports({{RASCS_Connected, 0}}), {"thread post report 8192 0"}},
                  {Deliver, {Line(RASCS_Connected), "tell connected Office"}}});
        Fake.Find(Handle(0x1000))->State = RASCS_Connected;
    }
};

// ---- Refresh ------------------------------------------------------------------------------------

TEST_F(Controller, RefreshWithoutAnEntryNamesNoneAndNeverDials) {
    Fake.DialResult = 676;
    Settings.AutoReconnect = 1;
    Sequence({{Connect, {Dialling(1), "line service text 676", "buttons down"}},
              {Choose(nullptr), {"title Tovane", "line No connection selected"}},
              {Look, {"Ready #0 h1000"}},
              {PollTick, {}}});
}

TEST_F(Controller, RefreshAdoptsTheFirstExactMatchAndWatchesIt) {
    Fake.Connections = {{"Other", Handle(0x11)},
                        {"office", Handle(0x12)},
                        {"Office", Handle(0x13), 14},
                        {"Office", Handle(0x14)}};
    Settings.AutoReconnect = 1;
    Sequence({{RefreshConnection, {"title Tovane - Office", "buttons up", "status 13", Line(14)}},
              {Look, {"Ready #0 h13"}},
              {[] { Fake.Connections[2].State = RASCS_Connected; }, {}},
              {PollTick, {"status 13", "buttons up"}}, // up: watched without a line or a dial
              // An intermediate state of a line it did not dial counts as down.
              {[] { Fake.Connections[2].State = 14; }, {}},
              {PollTick,
               {"status 13", "buttons down", "tell lost Office - redialling",
                "line   disconnecting...", "disconnect off", "hangup 13", HungUp, Dialling(1)}}});
}

TEST_F(Controller, RefreshFindsNothingForOtherCaseZeroHandlesOrAnOverfullList) {
    Fake.DialResult = 676;
    Sequence({{Connect, {Dialling(1), "line service text 676", "buttons down"}},
              {[] {
                   Fake.Connections = {{"office", Handle(0x31)}, {"Office", nullptr}};
               },
               {}},
              {RefreshConnection, {"title Tovane - Office", "line Disconnected"}},
              {Look, {"Ready #0 h1000"}}, // left as it was
              // A count beyond the list and names without their zero: the search stays inside.
              {[] { RasApi.RasEnumConnectionsA = OverfullEnumConnections; }, {}},
              {RefreshConnection, {"title Tovane - Office", "line Disconnected"}}});
}

TEST_F(Controller, RefreshWithAFailingServiceStaysInitialWithoutALine) {
    Fake.DialResult = 676;
    Sequence({{Connect, {Dialling(1), "line service text 676", "buttons down"}},
              {[] { Fake.EnumResult = 603; }, {}},
              {RefreshConnection, {"title Tovane - Office"}},
              {Look, {"Initial #0 h1000"}},
              // Found, but its status fails: the handle is taken, the state stays Initial.
              {[] {
                   Fake.EnumResult = 0;
                   Fake.StatusResult = 87;
                   Fake.Connections = {{"Office", Handle(0x41)}};
                   Settings.AutoReconnect = 1;
               },
               {}},
              {RefreshConnection, {"title Tovane - Office", "buttons up", "status 41"}},
              {Look, {"Initial #0 h41"}},
              {PollTick, {}}}); // idle in Initial, auto reconnect or not
}

// ---- Connect ------------------------------------------------------------------------------------

TEST_F(Controller, ConnectWithoutAnEntryOnlyAsksForOne) {
    FreeString(Settings.ConnectionName);
    Sequence({{Connect, {"line Please choose a connection with menu File|Settings..."}},
              {Look, {"Ready #0 h-"}}});
}

TEST_F(Controller, ConnectDialsWithTheStoredCredentialsAndWritesTheAttempt) {
    SetString(SessionPassword, "typed earlier");
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    Sequence({{Connect, {Dialling(1)}}}); // the stored password comes first
    GetLocalTime(&after);
    EXPECT_TRUE(Effects[2] == "line Connecting  (#1 " + FormatDialTime(before) + ")" ||
                Effects[2] == "line Connecting  (#1 " + FormatDialTime(after) + ")")
        << Effects[2];
    // With no stored password the one typed in this run is used, without a prompt.
    Sequence({{Look, {"Dialing #1 h1000"}},
              {Disconnect, {HangUp, HungUp}},
              {[] { FreeString(Settings.Password); }, {}},
              {Connect, {Dialling(2, "user", "typed earlier")}}});
}

TEST_F(Controller, LongStoredValuesAreCutToTheRecordsFields) {
    SetString(Settings.ConnectionName, std::string(300, 'n').c_str());
    SetString(Settings.UserName, std::string(400, 'u').c_str());
    SetString(Settings.Password, std::string(5000, 'p').c_str());
    Sequence(
        {{Connect,
          {Dialling(1, std::string(256, 'u'), std::string(256, 'p'), std::string(256, 'n'))}}});
}

TEST_F(Controller, AFailedDialIsWrittenThenThePollHangsUpItsHandleAndRedials) {
    Settings.AutoReconnect = 1;
    Fake.DialResult = 676;
    const std::vector<std::string> failed = {"line service text 676", "buttons down"};
    Sequence({{Connect, {Dialling(1), failed}}, {Look, {"Ready #1 h1000"}}});
    EXPECT_EQ(0, Fake.LeftFilled); // the password was wiped as soon as the call returned
    Sequence({{[] { Fake.DialStoresHandle = false; }, {}},
              {PollTick, {"status 1000", "buttons down", HangUp, HungUp, Dialling(2), failed}},
              // Failed again without a handle: the next tick redials without a hang-up.
              {PollTick, {"buttons down", Dialling(3), failed}},
              {RefreshConnection, {"title Tovane - Office", "line Disconnected"}},
              {PollTick, {"buttons down", Dialling(1), failed}}}); // the count starts again
}

TEST_F(Controller, ConnectIsRefusedWhileADialRuns) {
    Sequence({{Connect, {Dialling(1)}}, {Connect, {}}, {Look, {"Dialing #1 h1000"}}});
}

// Dropping the pending refresh after a dial the service refused at once must show.
TEST_F(Controller, ARefreshAskedForDuringThePromptRunsAfterADialRefusedAtOnce) {
    FreeString(Settings.Password);
    Fake.DialResult = 678;
    Fake.DialStoresHandle = false;
    Sequence(
        {{Prompt(true, "user", "typed", {Look, Choose("Backup"), Look}), {}},
         {Connect,
          {"ask saved Office", "prompt", "Dialing #0 h-", "title Tovane - Backup",
           "Dialing #0 h- pending", Dialling(1, "user", "typed", "Backup"), "line service text 678",
           "buttons down", "title Tovane - Backup", "line Disconnected"}},
         {Look, {"Ready #0 h-"}}});
}

// ---- Reports from the service -------------------------------------------------------------------

TEST_F(Controller, TheNotifierOnlyPostsAndTheWindowThreadWritesInOrder) {
    std::vector<std::pair<int, DWORD>> reports;
    std::vector<std::string> posts, lines;
    for (int s : {0, 1, 2, 3, 4, 5, 19, 6, 10, 14, 18, 4096, 22, RASCS_Connected}) {
        reports.push_back({s, 0});
        posts.push_back("thread post report " + std::to_string(s) + " 0");
        lines.push_back(s == 22 ? "line 22" : Line(s)); // an unknown state by its number
    }
    lines.push_back("tell connected Office");
    Sequence({{Connect, {Dialling(1)}},
              {Reports(reports), {posts}},
              {Look, {"Dialing #1 h1000"}},
              {Deliver, {lines}}, // shrinking is off
              {Look, {"Ready #1 h1000"}}});
}

TEST_F(Controller, ShortWordingWritesOnlyTheFewStates) {
    Settings.SimpleStatus = 1;
    std::vector<std::pair<int, DWORD>> reports;
    for (int s : {0, 1, 2, 3, 4, 5, 19, 6, 10, 14, 18, RASCS_Connected})
        reports.push_back({s, 0});
    Sequence(
        {{Connect, {Dialling(1)}},
         {Reports(reports), {std::vector<std::string>(reports.size(), "thread post report *")}},
         {Deliver,
          {"line   connecting...", "line   verifying password...", "line Connected",
           "tell connected Office"}}});
}

TEST_F(Controller, ConnectedShrinksToTheTrayOnlyWhenAsked) {
    Settings.ShrinkWhenConnected = 1;
    Sequence({{Connect, {Dialling(1)}},
              {Reports({{RASCS_Connected, 0}}), {"thread post report 8192 0"}},
              {Deliver, {Line(RASCS_Connected), "tell connected Office", "tray"}}});
}

TEST_F(Controller, ReportsOutsideADialAreWrittenButChangeNothing) {
    Dial();
    Settings.ShrinkWhenConnected = 1;
    Sequence(
        {{Reports({{RASCS_Connected, 0}, {2, 691}}), {"thread post report *", "thread post *"}},
         {Deliver, {Line(RASCS_Connected), "line service text 691"}},
         {Look, {"Ready #1 h1000"}}});
}

TEST_F(Controller, AReportedErrorIsHungUpOnTheWindowThreadAndRedialledNumberedHigher) {
    Settings.AutoReconnect = 1;
    Sequence({{PollTick, {"buttons down", Dialling(1)}},
              {Reports({{0, 0}, {2, 0}, {2, 676}}),
               {"thread post report 0 0", "thread post report 2 0", "thread post report 2 676"}},
              {Deliver,
               {Line(0), Line(2), "line service text 676", "post command 3077", HangUp, HungUp}},
              {Look, {"Ready #1 h-"}},
              {PollTick, {"buttons down", Dialling(2)}}});
}

TEST_F(Controller, AFailingStatusCountsAsALostLine) {
    Dial();
    Sequence({{[] { Fake.StatusResult = 31; }, {}},
              {PollTick,
               {"status 1000", "buttons down", "tell lost Office", HangUp,
                HungUp}}, // auto reconnect is off
              {Look, {"Ready #1 h-"}},
              // That failure is dealt with: a Disconnect the user presses afterwards is the user's,
              // so turning auto reconnect on later dials nothing.
              {Disconnect, {HungUp}},
              {Look, {"Ready #1 h- stopped"}},
              {[] { Settings.AutoReconnect = 1; }, {}},
              {PollTick, {"buttons down"}}});
}

// ---- Disconnect and its wait --------------------------------------------------------------------

TEST_F(Controller, DisconnectWithoutAHandleOnlyWritesDisconnected) {
    Sequence({{Disconnect, {HungUp}}, {Look, {"Ready #0 h- stopped"}}});
}

TEST_F(Controller, AConnectionTakenUpDuringTheWaitIsKept) {
    Dial();
    Sequence({{During({[] {
                   Fake.Connections.push_back({"Office", Handle(0x77)});
                   RefreshConnection();
               }}),
               {}},
              {Disconnect,
               {HangUp, "title Tovane - Office", HungUp, "title Tovane - Office", "buttons up",
                "status 77", Line(RASCS_Connected)}},
              {Look, {"Ready #0 h77 stopped"}}});
}

TEST_F(Controller, TheHangUpWaitsPacedForTheHandleToGoAndKeepsMessagesFlowing) {
    Dial();
    Fake.HangUpMs = 400;
    Fake.StatusCalls = 0;
    ULONGLONG took = 0;
    // The poll ticks during the wait and must stay idle; Close is refused.
    Sequence({{During({Look, CloseQuery, PollTick}), {}},
              {[&took] {
                   const ULONGLONG start = GetTickCount64();
                   Disconnect();
                   took = GetTickCount64() - start;
               },
               {HangUp, "HangingUp #1 h1000 stopped", "close refused", HungUp}},
              {Look, {"Ready #1 h- stopped"}}});
    EXPECT_GE(took, 390u);
    EXPECT_LT(took, 3000u);
    // Paced: a poll per pause of at most 10 ms, not one after the other.
    EXPECT_GE(Fake.StatusCalls, 5);
    EXPECT_LE(Fake.StatusCalls, 120);
}

TEST_F(Controller, AQuitArrivingDuringTheWaitIsKeptForTheMainLoop) {
    Dial();
    MSG msg = {};
    Sequence({{During({[] { PostQuitMessage(42); }}), {}},
              {Disconnect, {HangUp, HungUp}},
              {[&msg] { PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE); }, {}}});
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(42u, msg.wParam);
}

TEST_F(Controller, CommandsDuringTheWaitStartNoSecondDialOrHangUp) {
    Dial();
    Sequence({{During({Connect, Disconnect}), {}}, {Disconnect, {HangUp, HungUp}}});
}

// ---- The entry changed in the settings window while a dial or hang-up runs ----------------------

TEST_F(Controller, AnEntryChangedDuringTheHangUpWaitIsTakenUpWhenTheWaitEnds) {
    Settings.AutoReconnect = 1;
    Dial();
    Fake.Find(Handle(0x1000))->State = RASCS_Disconnected; // the line drops
    // Then the refresh for the new entry, and auto reconnect dials it, counted from 1 again.
    Sequence({{During({Choose("Backup"), PollTick, Look, CloseQuery}), {}},
              {PollTick,
               {"status 1000", "buttons down", "tell lost Office - redialling", HangUp,
                "title Tovane - Backup", "HangingUp #1 h1000 failure pending", "close refused",
                HungUp, "title Tovane - Backup", "line Disconnected",
                Dialling(1, "user", "secret", "Backup")}}});
}

// A cleared entry: the refresh at the wait's end says so, and the poll asks for nothing.
TEST_F(Controller, AnEntryClearedDuringThePollsHangUpWaitIsNotAskedFor) {
    Settings.AutoReconnect = 1;
    Dial();
    Fake.Find(Handle(0x1000))->State = RASCS_Disconnected;
    Sequence({{During({Choose(nullptr)}), {}},
              {PollTick,
               {"status 1000", "buttons down", "tell lost Office - redialling", HangUp,
                "title Tovane", HungUp, "title Tovane", "line No connection selected"}}});
}

TEST_F(Controller, AnEntryChangedDuringADialLeavesTheDialItsReports) {
    for (DWORD error : {DWORD(0), DWORD(633)}) {
        SCOPED_TRACE(error);
        SetUp();
        Fake.Connections.push_back({"Backup", Handle(0x77), RASCS_Connected});
        const RASCONNSTATE state = error ? RASCONNSTATE(2) : RASCS_Connected;
        // The dial's report is handled (an error hangs up its handle), then the new entry is
        // refreshed and its connection taken up.
        std::vector<std::string> handled = {Line(state, error)};
        if (!error) handled.push_back("tell connected Backup"); // named by the new entry
        if (error) handled.push_back("post command 3077");
        if (error) handled.insert(handled.end(), HangUp.begin(), HangUp.end());
        if (error) handled.insert(handled.end(), HungUp.begin(), HungUp.end());
        Sequence(
            {{Connect, {Dialling(1)}},
             {Choose("Backup"), {"title Tovane - Backup"}},
             {Look, {"Dialing #1 h1000 pending"}},
             {CloseQuery, {"close refused"}},
             {Reports({{state, error}}), {"thread post *"}},
             {Deliver,
              {handled, "title Tovane - Backup", "buttons up", "status 77", Line(RASCS_Connected)}},
             {Look, {"Ready #0 h77"}}});
    }
}

TEST_F(Controller, AfterEndSessionThePollDoesNothing) {
    Settings.AutoReconnect = 1;
    Sequence({{EndSession, {}}, {Look, {"Ready #0 h- ending"}}, {PollTick, {}}});
}

// ---- The password prompt ------------------------------------------------------------------------

TEST_F(Controller, MissingCredentialsOpenThePromptAndItsAnswerIsDialled) {
    FreeString(Settings.UserName);
    FreeString(Settings.Password);
    // While it is open the poll is idle and Close refused.
    Sequence({{Prompt(true, "newuser", "newpass", {Look, PollTick, CloseQuery}), {}},
              {Connect,
               {"ask saved Office", "prompt", "Dialing #0 h-", "close refused",
                Dialling(1, "newuser", "newpass")}},
              {Disconnect, {HangUp, HungUp}},
              // A user name without any password prompts too.
              {[] { FreeString(SessionPassword); }, {}},
              {Connect, {"ask saved Office", "prompt"}},
              {Look, {"Ready #1 h- stopped"}}});
}

TEST_F(Controller, CancellingThePromptRestoresTheStateAndStopsRedialling) {
    FreeString(Settings.UserName);
    Settings.AutoReconnect = 1;
    Sequence(
        {{[] { Fake.EnumResult = 603; }, {}},
         {RefreshConnection, {"title Tovane - Office"}},
         {Connect, {"prompt", "tell stopped No user name or password was given."}},
         {Look, {"Initial #0 h- stopped"}},
         // Auto reconnect opens the prompt, once.
         {[] { Fake.EnumResult = 0; }, {}},
         {ResetController, {}},
         {RefreshConnection, {"title Tovane - Office", "line Disconnected"}},
         {PollTick, {"buttons down", "prompt", "tell stopped No user name or password was given."}},
         {Look, {"Ready #0 h- stopped"}},
         {PollTick, {"buttons down"}}});
}

TEST_F(Controller, APromptAnsweredWithoutAPasswordDoesNotDial) {
    FreeString(Settings.UserName);
    FreeString(Settings.Password);
    Sequence({{Prompt(true, "someone", nullptr), {}},
              {Connect, {"ask saved Office", "prompt"}},
              {Look, {"Ready #0 h- stopped"}}});
}

// ---- Refused credentials ------------------------------------------------------------------------

const std::string WaitLine =
    "line Auto reconnect waits 30 seconds: the server refused the user name or password.";
const std::string StopLine = "line Auto reconnect stopped: the server refused the user name or "
                             "password 3 times. Check them with menu File|Settings...";

Event DialFails(DWORD code) {
    return [code] { Fake.DialResult = code; };
}

// A dial by the poll that fails with the code, returned by RasDialA or reported, with what is
// written after the error.
std::vector<Row> PollDialFails(DWORD code, bool atOnce, int attempt, std::vector<std::string> after,
                               std::string hangup = "hangup 1000") {
    const std::string error = "line service text " + std::to_string(code);
    if (atOnce)
        return {{DialFails(code), {}},
                {PollTick, {"buttons down", Dialling(attempt), error, after, "buttons down"}},
                {DialFails(0), {}}};
    return {{PollTick, {"buttons down", Dialling(attempt)}},
            {Reports({{6, code}}), {"thread post *"}},
            {Deliver,
             {error, after, "post command 3077", "line   disconnecting...", "disconnect off",
              hangup, HungUp}}};
}

std::vector<Row> operator+(std::vector<Row> a, const std::vector<Row>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
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
        ClockShift clock;
        Settings.AutoReconnect = 1;
        Fake.DialStoresHandle = false;
        std::vector<std::string> after;
        if (c.Refusal) after.push_back(WaitLine);
        Sequence(PollDialFails(c.Code, c.AtOnce, 1, after) +
                 std::vector<Row>{
                     {Look, {c.Refusal ? "Ready #1 h- refused 1 wait 30" : "Ready #1 h-"}},
                     {[&] { clock.Advance(29000); }, {}},
                     {PollTick,
                      {"buttons down", c.Refusal ? std::vector<std::string>{} : Dialling(2)}}});
        if (c.Refusal)
            Sequence(
                {{[&] { clock.Advance(1000); }, {}}, {PollTick, {"buttons down", Dialling(2)}}});
    }
}

TEST_F(Controller, TheThirdRefusalInARowStopsAutoReconnectUntilTheUserConnects) {
    ClockShift clock;
    Settings.AutoReconnect = 1;
    Fake.DialStoresHandle = false;
    Event later = [&clock] { clock.Advance(30000); };
    Sequence(PollDialFails(691, false, 1, {WaitLine}) + std::vector<Row>{{later, {}}} +
             PollDialFails(691, true, 2, {WaitLine}) + std::vector<Row>{{later, {}}} +
             PollDialFails(
                 691, false, 3,
                 {"tell stopped The server refused the user name or password 3 times.", StopLine},
                 "hangup 1001") +
             std::vector<Row>{
                 {Look, {"Ready #3 h- stopped refused 3"}},
                 {later, {}},
                 {PollTick, {"buttons down"}},
                 {PollTick, {"buttons down"}},
                 // The user's Connect counts from one again; without auto reconnect no line.
                 {[] { Settings.AutoReconnect = 0; }, {}},
                 {Connect, {Dialling(4)}},
                 {Reports({{6, 691}}), {"thread post *"}},
                 {Deliver,
                  {"line service text 691", "post command 3077", "line   disconnecting...",
                   "disconnect off", "hangup 1002", HungUp}},
                 {Look, {"Ready #4 h- refused 1"}}});
}

TEST_F(Controller, RefusalsStartOverAtAConnectionTheUsersConnectAndSettingsOk) {
    const struct {
        const char* Name;
        std::vector<Row> Rows;
    } paths[] = {
        {"poll's dial",
         {{PollTick, {"buttons down", Dialling(3)}}, {Look, {"Dialing #3 h1000 refused 2"}}}},
        {"connected",
         {{PollTick, {"buttons down", Dialling(3)}},
          {Reports({{RASCS_Connected, 0}}), {"thread post *"}},
          {Deliver, {Line(RASCS_Connected), "tell connected Office"}},
          {Look, {"Ready #3 h1000"}}}},
        {"user's Connect", {{Connect, {Dialling(3)}}, {Look, {"Dialing #3 h1000"}}}},
        {"settings OK", {{SettingsAccepted, {}}, {Look, {"Ready #2 h-"}}}}};
    for (const auto& path : paths) {
        SCOPED_TRACE(path.Name);
        SetUp();
        ClockShift clock;
        Settings.AutoReconnect = 1;
        Fake.DialStoresHandle = false;
        Sequence(PollDialFails(691, true, 1, {WaitLine}) +
                 std::vector<Row>{{[&] { clock.Advance(30000); }, {}}} +
                 PollDialFails(691, true, 2, {WaitLine}) +
                 std::vector<Row>{{Look, {"Ready #2 h- refused 2 wait 30"}},
                                  {[&] { clock.Advance(30000); }, {}}});
        Sequence(path.Rows);
    }
}

TEST_F(Controller, ARefusedTypedPasswordIsForgottenAndAskedForAgain) {
    ClockShift clock;
    Settings.AutoReconnect = 1;
    Fake.DialStoresHandle = false;
    SetString(SessionPassword, "typed");
    Event later = [&clock] { clock.Advance(30000); };
    // The stored password was refused, not the typed one: that is dialled next.
    Sequence(PollDialFails(691, false, 1, {WaitLine}) +
             std::vector<Row>{
                 {[] { FreeString(Settings.Password); }, {}},
                 {later, {}},
                 {DialFails(648), {}},
                 {PollTick,
                  {"buttons down", Dialling(2, "user", "typed"), "line service text 648", WaitLine,
                   "buttons down"}},
                 {DialFails(0), {}},
                 {later, {}},
                 {Prompt(true, "user", "retyped"), {}},
                 {PollTick,
                  {"buttons down", "ask saved Office", "prompt", Dialling(3, "user", "retyped")}}});
}

TEST_F(Controller, WindowsSavedCredentialsReplaceThePromptOnlyForTheSameUser) {
    const struct {
        const char *User, *Stored, *Typed, *SavedUser;
        bool PasswordSaved;
        std::vector<std::string> Asks; // before the dial
        std::string Dialled;           // user and password
    } cases[] = {
        {nullptr, nullptr, nullptr, "ras", true, {"ask saved Office"}, "ras #saved"},
        {"ras", nullptr, nullptr, "ras", true, {"ask saved Office"}, "ras #saved"},
        {"Ras", nullptr, nullptr, "ras", true, {"ask saved Office", "prompt"}, "asked answer"},
        {nullptr, nullptr, nullptr, "ras", false, {"ask saved Office", "prompt"}, "asked answer"},
        {nullptr, nullptr, nullptr, "", true, {"ask saved Office", "prompt"}, "asked answer"},
        {"ras", "stored", nullptr, "ras", true, {}, "ras stored"},
        {"ras", nullptr, "typed", "ras", true, {}, "ras typed"},
        {nullptr, "stored", nullptr, "ras", true, {"prompt"}, "asked stored"},
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
        Sequence({{Prompt(true, "asked", "answer"), {}},
                  {Connect,
                   {c.Asks, "buttons up", "line  ", "line Connecting  (#1 *",
                    "dial Office " + c.Dialled, "line service text 691", "buttons down"}}});
        EXPECT_EQ(0, Fake.LeftFilled); // wiped as soon as RasDialA returned
        // RAS's user name is never kept.
        EXPECT_EQ(c.Dialled[0] == 'a' ? "asked" : std::string(c.User ? c.User : ""),
                  std::string(Settings.UserName ? Settings.UserName : ""));
    }
    // Refused, the saved ones give way to the prompt, until the settings window's OK.
    SetUp();
    FreeString(Settings.UserName);
    FreeString(Settings.Password);
    Fake.SavedUser = "ras";
    Fake.PasswordSaved = true;
    Fake.DialResult = 691;
    Fake.DialStoresHandle = false;
    Sequence({{Connect,
               {"ask saved Office", Dialling(1, "ras", "#saved"), "line service text 691",
                "buttons down"}},
              {Look, {"Ready #1 h- saved-refused refused 1"}},
              {Connect, {"prompt"}},
              {SettingsAccepted, {}},
              {Connect,
               {"ask saved Office", Dialling(2, "ras", "#saved"), "line service text 691",
                "buttons down"}}});
}

// ---- The date and time of an attempt ------------------------------------------------------------

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
