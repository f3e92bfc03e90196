// The connection controller as sequences, after the message-sequence tests of Wine's comctl32:
// events go in through its entry points; what it does comes out through a recording port and
// the simulated dial-up service (support/FakeDialup), one text per effect, in order. Each case is
// a table of rows: an event and the effects expected of it. No window is needed.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "app/NConnection.h"
#include "common/NCommon.h"
#include "support/FakeDialup.h"
#include "support/Sequence.h"
#include "support/TestSupport.h"

namespace {

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

struct Answer {
    bool Ok;
    const char *User, *Password; // a null password: the field left empty
    std::vector<Event> Inside;   // run while the prompt is open
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
    [](UINT message, WPARAM wParam, LPARAM lParam) {
        Record(message == DialReportMessage
                   ? "post report " + std::to_string(wParam) + " " + std::to_string(lParam)
                   : "post command " + std::to_string(wParam));
        Posted.push_back({nullptr, message, wParam, lParam, 0, {}});
    },
};

// The window thread's side of a post, as the main window routes it.
void Deliver() {
    for (; !Posted.empty(); Posted.pop_front()) {
        const MSG& msg = Posted.front();
        if (msg.message == DialReportMessage)
            OnDialReport(static_cast<RASCONNSTATE>(msg.wParam), static_cast<DWORD>(msg.lParam));
        else if (msg.message == WM_COMMAND && msg.wParam == CmdDisconnect)
            Disconnect();
    }
}

// The controller's whole state as one effect.
void Look() {
    static const char* const states[] = {"Initial", "Dialing", "HangingUp", "Ready"};
    const TController& c = ControllerNow();
    std::string text = states[static_cast<int>(c.ControllerState)];
    text += " #" + std::to_string(c.DialAttempt) + " h";
    text += c.ConnectionHandle ? HexText(c.ConnectionHandle) : "-";
    for (auto [flag, name] : {std::pair{c.UserStopped, " stopped"},
                              {c.FailureHangup, " failure"},
                              {c.SessionEnding, " ending"},
                              {c.RefreshPending, " pending"},
                              {c.SavedRefused, " saved-refused"}})
        if (flag) text += name;
    if (c.RefusalCount) text += " refused " + std::to_string(c.RefusalCount);
    const ULONGLONG now = GetTickCount64();
    if (c.RefusalWaitEnd > now)
        text += " wait " + std::to_string((c.RefusalWaitEnd - now + 999) / 1000);
    Record(text);
}

void CloseQuery() {
    Record(CanClose() ? "close allowed" : "close refused");
}

// Bytes of the credentials' records not wiped when the error was written.
void Wiped() {
    Record("left " + std::to_string(Dialup.LeftFilled));
}

// What the settings window's OK does with a new entry.
Event Choose(const char* entry) {
    return All({Let(Settings.ConnectionName, entry), RefreshConnection});
}
Event Prompt(bool ok, const char* user, const char* password, std::vector<Event> inside = {}) {
    return [=] { Answers.push_back({ok, user, password, inside}); };
}

// The wording of the state texts, so the tables follow it.
std::string Line(RASCONNSTATE state, DWORD error = 0) {
    const char* text = ConnectionStateText(state, error, Settings.SimpleStatus != 0);
    return std::string("line ") + (text ? text : "");
}
std::string Failed(DWORD code) { // a dial refused at once
    return "line service text " + std::to_string(code) + "; buttons down";
}
std::string Dialling(int attempt, std::string user = "user", std::string password = "secret",
                     std::string entry = "Office") {
    return "buttons up; line  ; line Connecting  (#" + std::to_string(attempt) + " *; dial " +
           entry + " " + user + " " + password;
}
std::string HangUp(std::string handle = "1000") {
    return "line   disconnecting...; disconnect off; hangup " + handle;
}
const std::string HungUp = "line Disconnected; connect on";

// Dialled, and the service reported the connection.
Rows Up() {
    return {{Connect, {Dialling(1)}},
            {Reports({{RASCS_Connected, 0}}), {"thread post report 8192 0"}},
            {Deliver, {Line(RASCS_Connected), "tell connected Office"}},
            {[] { Dialup.Find(HRASCONN(0x1000))->State = RASCS_Connected; }}};
}

using Case = std::pair<std::string, Rows>; // a name and its rows

// Each case starts Ready, after a refresh that found no line of the entry.
class Controller : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitShared();
        LoadSettings();
        TestThread = GetCurrentThreadId();
    }
    void SetUp() override {
        UseFakeDialup(Record);
        Answers.clear();
        Posted.clear();
        ClearTimerSteps();
        All({Let(Settings.ConnectionName, "Office"), Let(Settings.UserName, "user"),
             Let(Settings.Password, "secret"), Let(SessionPassword, nullptr)})();
        Settings.SimpleStatus = Settings.AutoReconnect = Settings.ShrinkWhenConnected = 0;
        ResetController();
        AttachMainView(RecordingPort);
        Sequence({{RefreshConnection, {"title Tovane - Office; line Disconnected"}}});
    }
    void Run(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.first);
            SetUp();
            Sequence(c.second);
        }
    }
    Event Later(ULONGLONG ms) {
        return [this, ms] { clock_.Advance(ms); };
    }
    ClockShift clock_; // GetTickCount64 as the controller sees it
};

const Row AutoOn = {Let(Settings.AutoReconnect, 1)};
const Row DialsFail = {Let(Dialup.DialResult, 676)};
const Row NoCredentials = {All({Let(Settings.UserName, nullptr), Let(Settings.Password, nullptr)})};

TEST_F(Controller, Refresh) {
    const Rows withHandle = {DialsFail, {Connect, {Dialling(1), Failed(676)}}};
    Run({{"RefreshWithoutAnEntryNamesNoneAndNeverDials",
          Rows{AutoOn} + withHandle +
              Rows{{Choose(nullptr), {"title Tovane; line No connection selected"}},
                   {Look, {"Ready #0 h1000"}},
                   {PollTick}}},
         {"RefreshAdoptsTheFirstExactMatchAndWatchesIt",
          {AutoOn,
           {Let(Dialup.Lines, std::vector<FakeLine>{{"Other", HRASCONN(0x11)},
                                                    {"office", HRASCONN(0x12)},
                                                    {"Office", HRASCONN(0x13), 14},
                                                    {"Office", HRASCONN(0x14)}})},
           {RefreshConnection, {"title Tovane - Office; buttons up; status 13", Line(14)}},
           {Look, {"Ready #0 h13"}},
           {[] { Dialup.Lines[2].State = RASCS_Connected; }},
           {PollTick, {"status 13; buttons up"}}, // watched without a line or a dial
           // An intermediate state of a line it did not dial counts as down.
           {[] { Dialup.Lines[2].State = 14; }},
           {PollTick,
            {"status 13; buttons down; tell lost Office - redialling", HangUp("13"), HungUp,
             Dialling(1)}}}},
         {"RefreshFindsNothingForOtherCaseZeroHandlesOrAnOverfullList",
          withHandle + Rows{{Let(Dialup.Lines,
                                 std::vector<FakeLine>{{"office", HRASCONN(0x31)}, {"Office"}})},
                            {RefreshConnection, {"title Tovane - Office; line Disconnected"}},
                            {Look, {"Ready #0 h1000"}}, // left as it was
                            // A count beyond the list and names without their zero: none read.
                            {Let(Dialup.Overfull, true)},
                            {RefreshConnection, {"title Tovane - Office; line Disconnected"}}}},
         {"RefreshWithAFailingServiceStaysInitialWithoutALine",
          withHandle +
              Rows{{Let(Dialup.EnumResult, 603)},
                   {RefreshConnection, {"title Tovane - Office"}},
                   {Look, {"Initial #0 h1000"}},
                   // Found, but its status fails: the handle is taken, still Initial.
                   {All({Let(Dialup.EnumResult, 0), Let(Dialup.StatusResult, 87),
                         Let(Dialup.Lines, std::vector<FakeLine>{{"Office", HRASCONN(0x41)}}),
                         Let(Settings.AutoReconnect, 1)})},
                   {RefreshConnection, {"title Tovane - Office; buttons up; status 41"}},
                   {Look, {"Initial #0 h41"}},
                   {PollTick}}}}); // idle in Initial, auto reconnect or not
}

TEST_F(Controller, ConnectDialsWithTheStoredCredentialsAndWritesTheAttempt) {
    SYSTEMTIME before, after;
    Sequence({{Let(SessionPassword, "typed earlier")},
              {[&] { GetLocalTime(&before), Connect(), GetLocalTime(&after); }, {Dialling(1)}}});
    EXPECT_TRUE(Effects.at(2) == "line Connecting  (#1 " + FormatDialTime(before) + ")" ||
                Effects.at(2) == "line Connecting  (#1 " + FormatDialTime(after) + ")")
        << Effects[2];
    // The stored password comes first; without it the one typed in this run, without a prompt.
    Sequence({{Look, {"Dialing #1 h1000"}},
              {Disconnect, {HangUp(), HungUp}},
              {Let(Settings.Password, nullptr)},
              {Connect, {Dialling(2, "user", "typed earlier")}}});
}

TEST_F(Controller, Connect) {
    Run({{"ConnectWithoutAnEntryOnlyAsksForOne",
          {{Let(Settings.ConnectionName, nullptr)},
           {Connect, {"line Please choose a connection with menu File|Settings..."}},
           {Look, {"Ready #0 h-"}}}},
         {"ConnectIsRefusedWhileADialRuns",
          {{Connect, {Dialling(1)}}, {Connect}, {Look, {"Dialing #1 h1000"}}}},
         {"LongStoredValuesAreCutToTheRecordsFields",
          {{All({Let(Settings.ConnectionName, std::string(300, 'n').c_str()),
                 Let(Settings.UserName, std::string(400, 'u').c_str()),
                 Let(Settings.Password, std::string(5000, 'p').c_str())})},
           {Connect,
            {Dialling(1, std::string(256, 'u'), std::string(256, 'p'), std::string(256, 'n'))}}}},
         {"AFailedDialIsWrittenThenThePollHangsUpItsHandleAndRedials",
          {AutoOn,
           DialsFail,
           {Connect, {Dialling(1), Failed(676)}},
           {Wiped, {"left 0"}}, // the password was wiped as soon as the call returned
           {Look, {"Ready #1 h1000"}},
           {Let(Dialup.DialStoresHandle, false)},
           {PollTick, {"status 1000; buttons down", HangUp(), HungUp, Dialling(2), Failed(676)}},
           // Failed again without a handle: the next tick redials without a hang-up.
           {PollTick, {"buttons down", Dialling(3), Failed(676)}},
           {RefreshConnection, {"title Tovane - Office; line Disconnected"}},
           {PollTick, {"buttons down", Dialling(1), Failed(676)}}}}, // the count starts again
         // Dropping the pending refresh after a dial the service refused at once must show.
         {"ARefreshAskedForDuringThePromptRunsAfterADialRefusedAtOnce",
          {{Let(Settings.Password, nullptr)},
           {[] { Dialup.DialResult = 678, Dialup.DialStoresHandle = false; }},
           {Prompt(true, "user", "typed", {Look, Choose("Backup"), Look})},
           {Connect,
            {"ask saved Office; prompt; Dialing #0 h-; title Tovane - Backup",
             "Dialing #0 h- pending", Dialling(1, "user", "typed", "Backup"), Failed(678),
             "title Tovane - Backup; line Disconnected"}},
           {Look, {"Ready #0 h-"}}}}});
}

TEST_F(Controller, ReportsAndThePoll) {
    // Either wording: the notifier only posts, the window thread writes in order; shrinking
    // to the tray only when asked.
    std::vector<std::pair<RASCONNSTATE, DWORD>> reports;
    std::string posts, full;
    for (RASCONNSTATE s : {0, 1, 2, 3, 4, 5, 19, 6, 10, 14, 18, 4096, 22, RASCS_Connected}) {
        reports.push_back({s, 0});
        posts += "thread post report " + std::to_string(s) + " 0; ";
        full += (s == 22 ? "line 22" : Line(s)) + "; "; // an unknown state by its number
    }
    auto wording = [&](uint8_t simple, std::string lines) {
        return Rows{{Let(Settings.SimpleStatus, simple)},
                    {Let(Settings.ShrinkWhenConnected, simple)},
                    {Connect, {Dialling(1)}},
                    {Reports(reports), {posts}},
                    {Look, {"Dialing #1 h1000"}},
                    {Deliver, {lines, "tell connected Office", simple ? "tray" : ""}},
                    {Look, {"Ready #1 h1000"}}};
    };
    Run({{"TheNotifierOnlyPostsAndTheWindowThreadWritesInOrder", wording(0, full)},
         {"ShortWordingWritesOnlyTheFewStates, ConnectedShrinksToTheTrayOnlyWhenAsked",
          wording(1, "line   connecting...; line   verifying password...; line Connected")},
         {"ReportsOutsideADialAreWrittenButChangeNothing",
          Up() + Rows{{Let(Settings.ShrinkWhenConnected, 1)},
                      {Reports({{RASCS_Connected, 0}, {2, 691}}),
                       {"thread post report *; thread post *"}},
                      {Deliver, {Line(RASCS_Connected), "line service text 691"}},
                      {Look, {"Ready #1 h1000"}}}},
         {"AReportedErrorIsHungUpOnTheWindowThreadAndRedialledNumberedHigher",
          {AutoOn,
           {PollTick, {"buttons down", Dialling(1)}},
           {Reports({{0, 0}, {2, 0}, {2, 676}}),
            {"thread post report 0 0; thread post report 2 0; thread post report 2 676"}},
           {Deliver,
            {Line(0), Line(2), "line service text 676; post command 3077", HangUp(), HungUp}},
           {Look, {"Ready #1 h-"}},
           {PollTick, {"buttons down", Dialling(2)}}}},
         {"AFailingStatusCountsAsALostLine",
          Up() + Rows{{Let(Dialup.StatusResult, 31)},
                      // auto reconnect is off
                      {PollTick, {"status 1000; buttons down; tell lost Office", HangUp(), HungUp}},
                      {Look, {"Ready #1 h-"}},
                      // That failure is dealt with: a Disconnect the user presses afterwards is
                      // the user's, so turning auto reconnect on later dials nothing.
                      {Disconnect, {HungUp}},
                      {Look, {"Ready #1 h- stopped"}},
                      AutoOn,
                      {PollTick, {"buttons down"}}}},
         {"AfterEndSessionThePollDoesNothing",
          {AutoOn, {EndSession}, {Look, {"Ready #0 h- ending"}}, {PollTick}}}});
}

TEST_F(Controller, DisconnectAndItsWait) {
    Run({{"DisconnectWithoutAHandleOnlyWritesDisconnected",
          {{Disconnect, {HungUp}}, {Look, {"Ready #0 h- stopped"}}}},
         {"AConnectionTakenUpDuringTheWaitIsKept",
          Up() + Rows{{During({[] {
                          Dialup.Lines.push_back({"Office", HRASCONN(0x77)});
                          RefreshConnection();
                      }})},
                      {Disconnect,
                       {HangUp(), "title Tovane - Office", HungUp,
                        "title Tovane - Office; buttons up; status 77", Line(RASCS_Connected)}},
                      {Look, {"Ready #0 h77 stopped"}}}},
         // The poll ticks during the wait and stays idle; Close is refused. The wait lasts
         // until the handle is gone, with a pause between polls: dozens, not thousands.
         {"TheHangUpWaitsPacedForTheHandleToGoAndKeepsMessagesFlowing",
          Up() + Rows{{[] { Dialup.HangUpMs = 400, Dialup.StatusCalls = 0; }},
                      {During({Look, CloseQuery, PollTick})},
                      {[] {
                           const ULONGLONG start = GetTickCount64();
                           Disconnect();
                           const int n = Dialup.StatusCalls; // polls
                           const bool waited = GetTickCount64() - start >= 390;
                           Record(waited && n >= 5 && n <= 120 ? "paced" : std::to_string(n));
                       },
                       {HangUp(), "HangingUp #1 h1000 stopped; close refused", HungUp, "paced"}},
                      {Look, {"Ready #1 h- stopped"}}}},
         {"AQuitArrivingDuringTheWaitIsKeptForTheMainLoop",
          Up() + Rows{{During({[] { PostQuitMessage(42); }})},
                      {Disconnect, {HangUp(), HungUp}},
                      {[] {
                           MSG msg = {};
                           if (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
                               Record("quit " + std::to_string(msg.wParam));
                       },
                       {"quit 42"}}}},
         {"CommandsDuringTheWaitStartNoSecondDialOrHangUp",
          Up() + Rows{{During({Connect, Disconnect})}, {Disconnect, {HangUp(), HungUp}}}}});
}

TEST_F(Controller, EntryChangedDuringADialOrHangUp) {
    std::vector<Case> cases;
    // Changed: the refresh for the new entry at the wait's end, and auto reconnect dials it,
    // counted from 1 again. Cleared: the refresh says so, and the poll asks for nothing.
    for (auto [name, entry, title, after] :
         {std::tuple{"AnEntryChangedDuringTheHangUpWaitIsTakenUpWhenTheWaitEnds", "Backup",
                     "title Tovane - Backup",
                     "line Disconnected; " + Dialling(1, "user", "secret", "Backup")},
          {"AnEntryClearedDuringThePollsHangUpWaitIsNotAskedFor", nullptr, "title Tovane",
           "line No connection selected"}})
        cases.push_back(
            {name, Rows{AutoOn} + Up() +
                       Rows{{[] { Dialup.Lines[0].State = RASCS_Disconnected; }}, // it drops
                            {During({Choose(entry), PollTick, Look, CloseQuery})},
                            {PollTick,
                             {"status 1000; buttons down; tell lost Office - redialling", HangUp(),
                              title, "HangingUp #1 h1000 failure pending; close refused", HungUp,
                              title, after}}}});
    // The dial's report is handled (an error hangs up its handle), then the new entry is
    // refreshed and its connection taken up.
    for (DWORD error : {DWORD(0), DWORD(633)}) {
        const RASCONNSTATE state = error ? RASCS_ConnectDevice : RASCS_Connected;
        cases.push_back(
            {"AnEntryChangedDuringADialLeavesTheDialItsReports " + std::to_string(error),
             {{Let(Dialup.Lines, std::vector<FakeLine>{{"Backup", HRASCONN(0x77)}})},
              {Connect, {Dialling(1)}},
              {Choose("Backup"), {"title Tovane - Backup"}},
              {Look, {"Dialing #1 h1000 pending"}},
              {CloseQuery, {"close refused"}},
              {Reports({{state, error}}), {"thread post *"}},
              {Deliver,
               {Line(state, error),
                // named by the new entry
                error ? "post command 3077; " + HangUp() + "; " + HungUp : "tell connected Backup",
                "title Tovane - Backup; buttons up; status 77", Line(RASCS_Connected)}},
              {Look, {"Ready #0 h77"}}}});
    }
    Run(cases);
}

TEST_F(Controller, ThePrompt) {
    Run({// While it is open the poll is idle and Close refused.
         {"MissingCredentialsOpenThePromptAndItsAnswerIsDialled",
          {NoCredentials,
           {Prompt(true, "newuser", "newpass", {Look, PollTick, CloseQuery})},
           {Connect,
            {"ask saved Office; prompt; Dialing #0 h-; close refused",
             Dialling(1, "newuser", "newpass")}},
           {Disconnect, {HangUp(), HungUp}},
           // A user name without any password prompts too.
           {Let(SessionPassword, nullptr)},
           {Connect, {"ask saved Office; prompt"}},
           {Look, {"Ready #1 h- stopped"}}}},
         {"APromptAnsweredWithoutAPasswordDoesNotDial",
          {NoCredentials,
           {Prompt(true, "someone", nullptr)},
           {Connect, {"ask saved Office; prompt"}},
           {Look, {"Ready #0 h- stopped"}}}},
         {"CancellingThePromptRestoresTheStateAndStopsRedialling",
          {{Let(Settings.UserName, nullptr)},
           AutoOn,
           {Let(Dialup.EnumResult, 603)},
           {RefreshConnection, {"title Tovane - Office"}},
           {Connect, {"prompt; tell stopped No user name or password was given."}},
           {Look, {"Initial #0 h- stopped"}},
           // Auto reconnect opens the prompt, once.
           {Let(Dialup.EnumResult, 0)},
           {ResetController},
           {RefreshConnection, {"title Tovane - Office; line Disconnected"}},
           {PollTick, {"buttons down; prompt; tell stopped No user name or password was given."}},
           {Look, {"Ready #0 h- stopped"}},
           {PollTick, {"buttons down"}}}}});
}

const std::string WaitLine =
    "line Auto reconnect waits 30 seconds: the server refused the user name or password.";
const std::string StopLine = "line Auto reconnect stopped: the server refused the user name or "
                             "password 3 times. Check them with menu File|Settings...";
const Row AutoNoHandle = {[] { Settings.AutoReconnect = 1, Dialup.DialStoresHandle = false; }};

// A dial by the poll that fails with the code, returned by RasDialA or reported, with what is
// written after the error.
Rows PollDialFails(DWORD code, bool atOnce, int attempt, std::string after,
                   std::string handle = "1000") {
    const std::string error = "line service text " + std::to_string(code);
    if (atOnce)
        return {{Let(Dialup.DialResult, code)},
                {PollTick, {"buttons down", Dialling(attempt), error, after, "buttons down"}},
                {Let(Dialup.DialResult, 0)}};
    return {{PollTick, {"buttons down", Dialling(attempt)}},
            {Reports({{6, code}}), {"thread post *"}},
            {Deliver, {error, after, "post command 3077", HangUp(handle), HungUp}}};
}

TEST_F(Controller, RefusedCredentials) {
    std::vector<Case> cases; // RefusedCredentialsWaitThirtySecondsOtherErrorsRedialAtOnce:
    for (auto [codes, refusal] : {std::pair{std::vector<DWORD>{646, 647, 648, 649, 691}, true},
                                  {std::vector<DWORD>{645, 650, 676, 678}, false}})
        for (DWORD code : codes)
            for (bool atOnce : {false, true})
                cases.push_back(
                    {std::to_string(code) + (atOnce ? " from RasDialA" : " reported"),
                     Rows{AutoNoHandle} + PollDialFails(code, atOnce, 1, refusal ? WaitLine : "") +
                         Rows{{Look, {refusal ? "Ready #1 h- refused 1 wait 30" : "Ready #1 h-"}},
                              {Later(29000)},
                              {PollTick, {"buttons down", refusal ? "" : Dialling(2)}},
                              {Later(1000)}, // the other's redial is still dialling
                              {PollTick, {refusal ? "buttons down; " + Dialling(2) : ""}}}});
    // One reported, one from RasDialA, and their waits passed.
    const Rows twice = Rows{AutoNoHandle} + PollDialFails(691, false, 1, WaitLine) +
                       Rows{{Later(30000)}} + PollDialFails(691, true, 2, WaitLine) +
                       Rows{{Look, {"Ready #2 h- refused 2 wait 30"}}, {Later(30000)}};
    cases.insert(
        cases.end(),
        {{"TheThirdRefusalInARowStopsAutoReconnectUntilTheUserConnects",
          twice +
              PollDialFails(691, false, 3,
                            "tell stopped The server refused the user name or password 3 times.; " +
                                StopLine,
                            "1001") +
              Rows{{Look, {"Ready #3 h- stopped refused 3"}},
                   {Later(30000)},
                   {PollTick, {"buttons down"}},
                   {PollTick, {"buttons down"}},
                   // The user's Connect counts from one again; without auto reconnect no line.
                   {Let(Settings.AutoReconnect, 0)},
                   {Connect, {Dialling(4)}},
                   {Reports({{6, 691}}), {"thread post *"}},
                   {Deliver, {"line service text 691; post command 3077", HangUp("1002"), HungUp}},
                   {Look, {"Ready #4 h- refused 1"}}}},
         {"RefusalsStartOver...: not at the poll's dial",
          twice + Rows{{PollTick, {"buttons down", Dialling(3)}},
                       {Look, {"Dialing #3 h1001 refused 2"}}}},
         {"RefusalsStartOver...: at a connection",
          twice + Rows{{PollTick, {"buttons down", Dialling(3)}},
                       {Reports({{RASCS_Connected, 0}}), {"thread post *"}},
                       {Deliver, {Line(RASCS_Connected), "tell connected Office"}},
                       {Look, {"Ready #3 h1001"}}}},
         {"RefusalsStartOver...: at the user's Connect",
          twice + Rows{{Connect, {Dialling(3)}}, {Look, {"Dialing #3 h1001"}}}},
         {"RefusalsStartOver...: at the settings OK",
          twice + Rows{{SettingsAccepted}, {Look, {"Ready #2 h-"}}}},
         // The stored password was refused, not the typed one: that is dialled next.
         {"ARefusedTypedPasswordIsForgottenAndAskedForAgain",
          Rows{AutoNoHandle, {Let(SessionPassword, "typed")}} +
              PollDialFails(691, false, 1, WaitLine) +
              Rows{{Let(Settings.Password, nullptr)},
                   {Later(30000)},
                   {Let(Dialup.DialResult, 648)},
                   {PollTick,
                    {"buttons down", Dialling(2, "user", "typed"), "line service text 648",
                     WaitLine, "buttons down"}},
                   {Let(Dialup.DialResult, 0)},
                   {Later(30000)},
                   {Prompt(true, "user", "retyped")},
                   {PollTick,
                    {"buttons down; ask saved Office; prompt", Dialling(3, "user", "retyped")}}}}});
    Run(cases);
}

TEST_F(Controller, WindowsSavedCredentialsReplaceThePromptOnlyForTheSameUser) {
    // RAS's user name is never kept; the records are wiped as soon as RasDialA returned.
    std::vector<Case> cases;
    for (auto [user, stored, typed, savedUser, saved, asks, dialUser, dialPassword] :
         {std::tuple{"", "", "", "ras", true, "ask saved Office", "ras", "#saved"},
          {"ras", "", "", "ras", true, "ask saved Office", "ras", "#saved"},
          {"Ras", "", "", "ras", true, "ask saved Office; prompt", "asked", "answer"},
          {"", "", "", "ras", false, "ask saved Office; prompt", "asked", "answer"},
          {"", "", "", "", true, "ask saved Office; prompt", "asked", "answer"},
          {"ras", "stored", "", "ras", true, "", "ras", "stored"},
          {"ras", "", "typed", "ras", true, "", "ras", "typed"},
          {"", "stored", "", "ras", true, "prompt", "asked", "stored"}})
        cases.push_back(
            {std::string(dialUser) + " " + dialPassword,
             {{All({Let(Settings.UserName, user), Let(Settings.Password, stored),
                    Let(SessionPassword, typed), Let(Dialup.SavedUser, savedUser),
                    Let(Dialup.PasswordSaved, saved), Let(Dialup.DialResult, 691)})},
              {Prompt(true, "asked", "answer")},
              {Connect, {asks, Dialling(1, dialUser, dialPassword), Failed(691)}},
              {Wiped, {"left 0"}},
              {[] { Record(std::string("user ") + (Settings.UserName ? Settings.UserName : "")); },
               {std::string("user ") + (dialUser[0] == 'a' ? "asked" : user)}}}});
    // Refused, the saved ones give way to the prompt, until the settings window's OK.
    cases.push_back({"refused",
                     {NoCredentials,
                      {All({Let(Dialup.SavedUser, "ras"), Let(Dialup.PasswordSaved, true),
                            Let(Dialup.DialResult, 691), Let(Dialup.DialStoresHandle, false)})},
                      {Connect, {"ask saved Office", Dialling(1, "ras", "#saved"), Failed(691)}},
                      {Look, {"Ready #1 h- saved-refused refused 1"}},
                      {Connect, {"prompt"}},
                      {SettingsAccepted},
                      {Connect, {"ask saved Office", Dialling(2, "ras", "#saved"), Failed(691)}}}});
    Run(cases);
}

// One of the user's formats, set for the scope (where the system knows it) and put back.
struct UserFormat {
    LCTYPE Type;
    char Old[80] = {};
    bool Set = false;
    UserFormat(LCTYPE type, const char* value) : Type(type) {
        Set = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, Old, sizeof Old) > 0 &&
              SetLocaleInfoA(LOCALE_USER_DEFAULT, type, value);
    }
    ~UserFormat() {
        if (Set) SetLocaleInfoA(LOCALE_USER_DEFAULT, Type, Old);
    }
};

// The short time where the system has one (Wine has not), else the time without its seconds.
TEST(DialTime, TheUsersShortDateABlankAndTheUsersShortTime) {
    const SYSTEMTIME t = {2024, 3, 2, 5, 14, 7, 59, 0}; // a Tuesday
    for (auto [date, shortTime, time, expected] :
         {std::tuple{"yyyy-MM-dd", "HH.mm", "HH.mm.ss", "2024-03-05 14.07"},
          std::tuple{"d/M/yy", "h:mm tt", "h:mm:ss tt", "5/3/24 2:07 PM"}}) {
        UserFormat d(LOCALE_SSHORTDATE, date), s(LOCALE_SSHORTTIME, shortTime),
            l(LOCALE_STIMEFORMAT, time);
        ASSERT_TRUE(d.Set && l.Set);
        EXPECT_EQ(expected, FormatDialTime(t));
    }
}

} // namespace
