#include "app/NConnection.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/NCommon.h"

static TController State;

static constexpr char TextNoConnection[] = "No connection selected";
static constexpr char TextDisconnected[] = "Disconnected";
static constexpr char TextChooseConnection[] =
    "Please choose a connection with menu File|Settings...";
static constexpr char TextSeparator[] = " ";
static constexpr char FormatConnecting[] = "Connecting  (#%d %s)";
static constexpr char TextDisconnecting[] = "  disconnecting...";
static constexpr char FormatHangUpError[] = "Error %d - Hangup - RasHangup";
static constexpr char TextRedialling[] = " - redialling";
static constexpr char TextNoCredentials[] = "No user name or password was given.";
// Longest pause between two status polls while a hang-up completes.
static constexpr DWORD HangUpPollMs = 10;
static constexpr DWORD RefusalWaitSeconds = 30;
static constexpr int32_t RefusalLimit = 3;
static constexpr DWORD RefusalCodes[] = {691, 646, 647, 648, 649}; // password; hours, account...
static constexpr char FormatRefusalWait[] =
    "Auto reconnect waits %lu seconds: the server refused the user name or password.";
static constexpr char FormatRefusalReason[] =
    "The server refused the user name or password %d times.";
static constexpr char FormatRefusalStop[] =
    "Auto reconnect stopped: the server refused the user name or password %d times. Check them "
    "with menu File|Settings...";

static void NoText(const char*) {}
static void NoSwitch(bool) {}
static void NoShrink() {}
static void NoTell(TTrayNews, const char*) {}
static bool NoAnswer() {
    return false;
}
static void NoPost(UINT, WPARAM, LPARAM) {}
static constexpr TMainView NoView = {NoText, NoSwitch, NoSwitch, NoShrink,
                                     NoTell, NoText,   NoAnswer, NoPost};
static TMainView View = NoView;

void AttachMainView(const TMainView& view) {
    View = view;
}

const TController& ControllerNow() {
    return State;
}

static bool Busy() {
    return State.ControllerState == TControllerState::Dialing ||
           State.ControllerState == TControllerState::HangingUp;
}

static void RunPendingRefresh() {
    if (State.RefreshPending && !Busy()) RefreshConnection();
}

static void ForgetRefusals() {
    State.RefusalCount = 0;
    State.RefusalWaitEnd = 0;
}

void ResetController() {
    State = TController();
}

void SettingsAccepted() {
    ForgetRefusals();
    State.SavedRefused = false;
}

bool CanClose() {
    return !Busy();
}

static void ShowConnectedControls() {
    View.ConnectEnabled(false);
    View.DisconnectEnabled(true);
}

static void ShowDisconnectedControls() {
    View.ConnectEnabled(true);
    View.DisconnectEnabled(false);
}

static const char* EntryName() {
    return Settings.ConnectionName ? Settings.ConnectionName : "";
}

// Auto reconnect dials no more until the user's own Connect; a user in the tray hears why.
static void StopRedialling(const char* reason) {
    State.UserStopped = true;
    if (Settings.AutoReconnect) View.Tell(TTrayNews::RedialStopped, reason);
}

static const char* StateText(RASCONNSTATE state, DWORD error) {
    return ConnectionStateText(state, error, Settings.SimpleStatus != 0);
}

// ---- Texts -----------------------------------------------------------------------------------

std::string FormatDialTime(const SYSTEMTIME& time) {
    char date[128] = {};
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, sizeof date) <= 0)
        date[0] = 0;
    char clock[128] = {};
    char format[80] = {};
    int written = 0;
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTTIME, format, sizeof format) > 0)
        written = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, format, clock, sizeof clock);
    // Systems older than the short-time locale value: the long format without seconds.
    if (written <= 0)
        written = GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, clock,
                                 sizeof clock);
    if (written <= 0) clock[0] = 0;
    return std::string(date) + " " + clock;
}

// Copies at most capacity - 1 characters and always terminates: a longer stored value is cut
// to the record's field instead of running into the next one.
static void CopyDialText(char* field, size_t capacity, const char* text) {
    if (!field || capacity == 0) return;
    size_t n = text ? strnlen(text, capacity - 1) : 0;
    std::memcpy(field, text ? text : "", n);
    field[n] = 0;
}

// ---- Refresh -----------------------------------------------------------------------------------

void RefreshConnection() {
    std::string title = "Tovane";
    if (Settings.ConnectionName) title = title + " - " + Settings.ConnectionName;
    View.Title(title.c_str());

    // The dial or hang-up under way owns the state, the attempt count and the handle: reset
    // now, the poll would hang up the same handle again inside the hang-up's wait, or the
    // running dial's reports would be ignored.
    State.RefreshPending = Busy();
    if (State.RefreshPending) return;

    State.ControllerState = TControllerState::Initial;
    State.DialAttempt = 0;
    if (!Settings.ConnectionName) {
        View.StatusLine(TextNoConnection);
        State.ControllerState = TControllerState::Ready;
        return;
    }

    std::vector<RASCONNA> connections(RasListCapacity);
    connections[0].dwSize = sizeof(RASCONNA);
    DWORD bytes = sizeof(RASCONNA) * RasListCapacity;
    DWORD count = 0;
    if (RasApi.RasEnumConnectionsA(connections.data(), &bytes, &count) != 0) return;

    // The count and the names come from the service: never read past the array or a field.
    if (count > static_cast<DWORD>(RasListCapacity)) count = RasListCapacity;
    const RASCONNA* found = nullptr;
    for (DWORD i = 0; i < count && !found; ++i) {
        RASCONNA& c = connections[i];
        c.szEntryName[RasMaxEntryName] = 0;
        if (std::strcmp(c.szEntryName, Settings.ConnectionName) == 0) found = &c;
    }
    if (!found || !found->hrasconn) {
        View.StatusLine(TextDisconnected);
        State.ControllerState = TControllerState::Ready;
        return;
    }

    ShowConnectedControls();
    State.ConnectionHandle = found->hrasconn;
    RASCONNSTATUSA status = {};
    status.dwSize = sizeof status;
    if (RasApi.RasGetConnectStatusA(State.ConnectionHandle, &status) != 0) return;
    View.StatusLine(StateText(status.rasconnstate, status.dwError));
    State.LineWasUp = status.rasconnstate == RASCS_Connected;
    State.ControllerState = TControllerState::Ready;
}

// ---- Connect ---------------------------------------------------------------------------------

// Asks through the port. False when the dial must not go ahead.
static bool AskForCredentials() {
    TControllerState remembered = State.ControllerState;
    // Keeps the poll idle and Close refused while the prompt's modal loop runs.
    State.ControllerState = TControllerState::Dialing;
    const bool answered = View.AskCredentials();
    if (!answered || !Settings.UserName || !SessionPassword) {
        State.ControllerState = remembered;
        StopRedialling(TextNoCredentials);
        RunPendingRefresh();
        return false;
    }
    return true;
}

// Windows' credentials for the entry, for a dial where Tovane knows no password: only when a
// password is saved and belongs to Tovane's user (or Tovane has none). The password is a handle
// that RasDialA resolves; the caller wipes the record after the dial.
static bool TakeSavedCredentials(RASDIALPARAMSA& saved) {
    saved.dwSize = sizeof saved;
    CopyDialText(saved.szEntryName, sizeof saved.szEntryName, Settings.ConnectionName);
    BOOL hasPassword = FALSE;
    if (RasApi.RasGetEntryDialParamsA(nullptr, &saved, &hasPassword) != 0 || !hasPassword)
        return false;
    saved.szUserName[RasMaxCredential] = 0;
    saved.szPassword[RasMaxCredential] = 0;
    return Settings.UserName ? std::strcmp(Settings.UserName, saved.szUserName) == 0
                             : saved.szUserName[0] != 0;
}

static bool IsRefusal(DWORD error) {
    for (DWORD code : RefusalCodes)
        if (error == code) return true;
    return false;
}

// The server refused the credentials this dial sent: never send them again blindly.
static void NoteRefusal() {
    if (State.DialCredentials == TDialCredentials::Typed) WipeString(SessionPassword);
    if (State.DialCredentials == TDialCredentials::Saved) State.SavedRefused = true;
    ++State.RefusalCount;
    if (!Settings.AutoReconnect) return;
    if (State.RefusalCount >= RefusalLimit) {
        char reason[96];
        std::snprintf(reason, sizeof reason, FormatRefusalReason, RefusalLimit);
        StopRedialling(reason);
        std::snprintf(TextBuffer, TextBufferSize, FormatRefusalStop, RefusalLimit);
    } else {
        State.RefusalWaitEnd = GetTickCount64() + RefusalWaitSeconds * 1000ULL;
        std::snprintf(TextBuffer, TextBufferSize, FormatRefusalWait, RefusalWaitSeconds);
    }
    View.StatusLine(TextBuffer);
}

static void WriteConnectingLine() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string when = FormatDialTime(now);
    View.StatusLine(TextSeparator);
    std::snprintf(TextBuffer, TextBufferSize, FormatConnecting, State.DialAttempt, when.c_str());
    View.StatusLine(TextBuffer);
}

// The user's Connect and the poll's redial.
static void Dial() {
    State.UserStopped = false;
    State.FailureHangup = false;
    if (!Settings.ConnectionName) {
        View.StatusLine(TextChooseConnection);
        return;
    }
    RASDIALPARAMSA saved = {};
    bool useSaved = false;
    if (!Settings.UserName || (!Settings.Password && !SessionPassword)) {
        useSaved = !Settings.Password && !SessionPassword && !State.SavedRefused &&
                   TakeSavedCredentials(saved);
        if (!useSaved && !AskForCredentials()) {
            SecureZeroMemory(&saved, sizeof saved);
            return;
        }
    }
    State.DialCredentials = useSaved            ? TDialCredentials::Saved
                            : Settings.Password ? TDialCredentials::Stored
                                                : TDialCredentials::Typed;

    State.ConnectionHandle = nullptr;
    State.LineWasUp = false;
    State.ControllerState = TControllerState::Dialing;
    ShowConnectedControls();
    ++State.DialAttempt;
    WriteConnectingLine();

    RASDIALPARAMSA params = {};
    params.dwSize = sizeof params;
    CopyDialText(params.szEntryName, sizeof params.szEntryName, Settings.ConnectionName);
    CopyDialText(params.szUserName, sizeof params.szUserName,
                 Settings.UserName ? Settings.UserName : saved.szUserName);
    CopyDialText(params.szPassword, sizeof params.szPassword,
                 useSaved            ? saved.szPassword
                 : Settings.Password ? Settings.Password
                                     : SessionPassword);
    DWORD r = RasApi.RasDialA(nullptr, nullptr, &params, 0, reinterpret_cast<void*>(&DialNotifier),
                              &State.ConnectionHandle);
    // The password must not linger on the stack.
    SecureZeroMemory(&params, sizeof params);
    SecureZeroMemory(&saved, sizeof saved);
    if (r == 0) return;

    View.StatusLine(RasErrorText(r));
    if (IsRefusal(r)) NoteRefusal();
    ShowDisconnectedControls();
    State.ControllerState = TControllerState::Ready;
    RunPendingRefresh();
}

void Connect() {
    // A dial or hang-up is already running; a second dial would lose its handle, and a dial
    // started inside the hang-up wait would keep that wait from ever ending.
    if (Busy()) return;
    ForgetRefusals(); // the user's own try
    Dial();
}

// ---- The notifier --------------------------------------------------------------------------

// The service's thread must not touch the log, TextBuffer, the flags or the tray: it hands
// the report to the window thread, which handles reports in the order they were posted.
void WINAPI DialNotifier(UINT, RASCONNSTATE state, DWORD error) {
    View.Post(DialReportMessage, static_cast<WPARAM>(static_cast<DWORD>(state)),
              static_cast<LPARAM>(error));
}

void OnDialReport(RASCONNSTATE state, DWORD error) {
    View.StatusLine(StateText(state, error));
    if (State.ControllerState != TControllerState::Dialing) return;
    if (error != 0) {
        if (IsRefusal(error)) NoteRefusal();
        State.FailureHangup = true;
        View.Post(WM_COMMAND, CmdDisconnect, 0);
        return;
    }
    if (state == RASCS_Connected) {
        ForgetRefusals();
        State.LineWasUp = true;
        // Told before shrinking: a dial watched in the window needs no balloon.
        View.Tell(TTrayNews::Connected, EntryName());
        if (Settings.ShrinkWhenConnected) View.ToTray();
        State.ControllerState = TControllerState::Ready;
        RunPendingRefresh();
    }
}

// ---- Disconnect ------------------------------------------------------------------------------

// Polls until the service no longer knows the handle, dispatching everything meanwhile. The
// pause between polls (at most HangUpPollMs, less when a message arrives) keeps the wait from
// holding a CPU core for the whole hang-up.
static void WaitUntilGone(HRASCONN handle) {
    RASCONNSTATUSA status = {};
    status.dwSize = sizeof status;
    bool quit = false;
    int quitCode = 0;
    for (;;) {
        DWORD s = RasApi.RasGetConnectStatusA(handle, &status);
        PumpPending(quit, quitCode);
        if (s == RasErrorInvalidHandle) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, HangUpPollMs, QS_ALLINPUT);
    }
    if (quit) PostQuitMessage(quitCode);
}

void Disconnect() {
    if (!State.FailureHangup) State.UserStopped = true;
    // A hang-up is already waiting further up the stack; a second one would hang up the same
    // handle again.
    if (State.ControllerState == TControllerState::HangingUp) return;

    HRASCONN handle = State.ConnectionHandle;
    if (handle) {
        State.ControllerState = TControllerState::HangingUp;
        View.StatusLine(TextDisconnecting);
        View.DisconnectEnabled(false);
        DWORD r = RasApi.RasHangUpA(handle);
        if (r != 0) {
            std::snprintf(TextBuffer, TextBufferSize, FormatHangUpError, static_cast<int>(r));
            View.StatusLine(TextBuffer);
            View.StatusLine(RasErrorText(r));
        } else {
            WaitUntilGone(handle);
        }
        State.ConnectionHandle = nullptr;
    }
    State.LineWasUp = false;
    View.StatusLine(TextDisconnected);
    View.ConnectEnabled(true);
    // The failure this hang-up was for is dealt with; a later user hang-up is the user's.
    State.FailureHangup = false;
    State.ControllerState = TControllerState::Ready;
    RunPendingRefresh();
}

// ---- The poll ----------------------------------------------------------------------------------

void EndSession() {
    State.SessionEnding = true;
}

void PollTick() {
    if (State.ControllerState != TControllerState::Ready || !Settings.ConnectionName ||
        State.SessionEnding)
        return;
    RASCONNSTATE state = RASCS_Disconnected;
    if (State.ConnectionHandle) {
        RASCONNSTATUSA status = {};
        status.dwSize = sizeof status;
        if (RasApi.RasGetConnectStatusA(State.ConnectionHandle, &status) == 0)
            state = status.rasconnstate;
    }
    if (state == RASCS_Connected) {
        State.LineWasUp = true;
        ShowConnectedControls();
        return;
    }
    ShowDisconnectedControls();
    if (State.ConnectionHandle) {
        if (State.LineWasUp) {
            std::string text = EntryName();
            if (!State.UserStopped && Settings.AutoReconnect) text += TextRedialling;
            View.Tell(TTrayNews::LineLost, text.c_str());
        }
        State.FailureHangup = true;
        Disconnect();
        // A refresh that ran when the hang-up ended may have adopted a connection, found the
        // service failing, or found the entry cleared.
        if (State.ConnectionHandle || State.ControllerState != TControllerState::Ready ||
            !Settings.ConnectionName)
            return;
    }
    if (!State.UserStopped && Settings.AutoReconnect && GetTickCount64() >= State.RefusalWaitEnd)
        Dial();
}
