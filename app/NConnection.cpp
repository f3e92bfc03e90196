#include "app/NConnection.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/WStatus.h"
#include "common/NCommon.h"
#include "windows/WPass.h"

TControllerState ControllerState = TControllerState::Initial;
HRASCONN ConnectionHandle = nullptr;
int32_t DialAttempt = 0;
bool UserStopped = false;
static bool FailureHangup = false; // this hang-up is for a failed or dropped line
static bool LineWasUp = false;     // the handle has been seen connected: its loss is a drop
bool SessionEnding = false;
// The server refused the user name or password: redialled at once, that locks the account.
int32_t RefusalCount = 0;         // since the last connection, the user's Connect or settings OK
ULONGLONG RefusalWaitEnd = 0;     // the poll redials no earlier (GetTickCount64)
static bool SavedRefused = false; // Windows' saved credentials were refused: ask instead
enum class TDialCredentials : uint8_t { Stored, Typed, Saved };
static TDialCredentials DialCredentials = TDialCredentials::Stored; // the running dial's

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

static void NoTitle(const char*) {}
static void NoSwitch(bool) {}
static void NoShrink() {}
static void NoTell(TTrayNews, const char*) {}
static constexpr TMainView NoView = {nullptr, NoTitle, NoSwitch, NoSwitch, NoShrink, NoTell};
static TMainView View = NoView;

void AttachMainView(const TMainView& view) {
    View = view;
}

static bool Busy() {
    return ControllerState == TControllerState::Dialing ||
           ControllerState == TControllerState::HangingUp;
}

// A refresh asked for while a dial or a hang-up ran: it runs once that has ended.
static bool RefreshPending = false;

static void RunPendingRefresh() {
    if (RefreshPending && !Busy()) RefreshConnection();
}

static void ForgetRefusals() {
    RefusalCount = 0;
    RefusalWaitEnd = 0;
}

void ResetController() {
    ConnectionHandle = nullptr;
    UserStopped = FailureHangup = SessionEnding = RefreshPending = SavedRefused = LineWasUp = false;
    ForgetRefusals();
}

void SettingsAccepted() {
    ForgetRefusals();
    SavedRefused = false;
}

bool CanClose() {
    return !Busy();
}

void ShowConnectedControls() {
    View.EnableConnect(false);
    View.EnableDisconnect(true);
}

void ShowDisconnectedControls() {
    View.EnableConnect(true);
    View.EnableDisconnect(false);
}

static const char* EntryName() {
    return Settings.ConnectionName ? Settings.ConnectionName : "";
}

// Auto reconnect dials no more until the user's own Connect; a user in the tray hears why.
static void StopRedialling(const char* reason) {
    UserStopped = true;
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
    View.SetTitle(title.c_str());

    // The dial or hang-up under way owns the state, the attempt count and the handle: reset
    // now, the poll would hang up the same handle again inside the hang-up's wait, or the
    // running dial's reports would be ignored.
    RefreshPending = Busy();
    if (RefreshPending) return;

    ControllerState = TControllerState::Initial;
    DialAttempt = 0;
    if (!Settings.ConnectionName) {
        AddStatusLine(TextNoConnection);
        ControllerState = TControllerState::Ready;
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
        AddStatusLine(TextDisconnected);
        ControllerState = TControllerState::Ready;
        return;
    }

    ShowConnectedControls();
    ConnectionHandle = found->hrasconn;
    RASCONNSTATUSA status = {};
    status.dwSize = sizeof status;
    if (RasApi.RasGetConnectStatusA(ConnectionHandle, &status) != 0) return;
    AddStatusLine(StateText(status.rasconnstate, status.dwError));
    LineWasUp = status.rasconnstate == RASCS_Connected;
    ControllerState = TControllerState::Ready;
}

// ---- Connect ---------------------------------------------------------------------------------

// Runs the password window. False when the dial must not go ahead.
static bool AskForCredentials() {
    TControllerState remembered = ControllerState;
    // Keeps the poll idle and Close refused while the prompt's modal loop runs.
    ControllerState = TControllerState::Dialing;

    // The poll may open the prompt from inside another modal window's loop: RunModal disables
    // that window too, and only the prompt's own OK ends this run with 1.
    HWND owner = View.Window;
    HWND window = CreatePasswordWindow(owner);
    int result = window ? RunModal(window, owner) : ModalCancel;
    if (result != ModalOk || !Settings.UserName || !SessionPassword) {
        ControllerState = remembered;
        StopRedialling(TextNoCredentials);
        RunPendingRefresh();
        return false;
    }
    InvalidateRect(owner, nullptr, FALSE);
    UpdateWindow(owner);
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
    if (DialCredentials == TDialCredentials::Typed) WipeString(SessionPassword);
    if (DialCredentials == TDialCredentials::Saved) SavedRefused = true;
    ++RefusalCount;
    if (!Settings.AutoReconnect) return;
    if (RefusalCount >= RefusalLimit) {
        char reason[96];
        std::snprintf(reason, sizeof reason, FormatRefusalReason, RefusalLimit);
        StopRedialling(reason);
        std::snprintf(TextBuffer, TextBufferSize, FormatRefusalStop, RefusalLimit);
    } else {
        RefusalWaitEnd = GetTickCount64() + RefusalWaitSeconds * 1000ULL;
        std::snprintf(TextBuffer, TextBufferSize, FormatRefusalWait, RefusalWaitSeconds);
    }
    AddStatusLine(TextBuffer);
}

static void WriteConnectingLine() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string when = FormatDialTime(now);
    AddStatusLine(TextSeparator);
    std::snprintf(TextBuffer, TextBufferSize, FormatConnecting, DialAttempt, when.c_str());
    AddStatusLine(TextBuffer);
}

// The user's Connect and the poll's redial.
static void Dial() {
    UserStopped = false;
    FailureHangup = false;
    if (!Settings.ConnectionName) {
        AddStatusLine(TextChooseConnection);
        return;
    }
    RASDIALPARAMSA saved = {};
    bool useSaved = false;
    if (!Settings.UserName || (!Settings.Password && !SessionPassword)) {
        useSaved =
            !Settings.Password && !SessionPassword && !SavedRefused && TakeSavedCredentials(saved);
        if (!useSaved && !AskForCredentials()) {
            SecureZeroMemory(&saved, sizeof saved);
            return;
        }
    }
    DialCredentials = useSaved            ? TDialCredentials::Saved
                      : Settings.Password ? TDialCredentials::Stored
                                          : TDialCredentials::Typed;

    ConnectionHandle = nullptr;
    LineWasUp = false;
    ControllerState = TControllerState::Dialing;
    ShowConnectedControls();
    ++DialAttempt;
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
                              &ConnectionHandle);
    // The password must not linger on the stack.
    SecureZeroMemory(&params, sizeof params);
    SecureZeroMemory(&saved, sizeof saved);
    if (r == 0) return;

    AddStatusLine(RasErrorText(r));
    if (IsRefusal(r)) NoteRefusal();
    ShowDisconnectedControls();
    ControllerState = TControllerState::Ready;
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
    PostMessageA(View.Window, DialReportMessage, static_cast<WPARAM>(static_cast<DWORD>(state)),
                 static_cast<LPARAM>(error));
}

void OnDialReport(RASCONNSTATE state, DWORD error) {
    AddStatusLine(StateText(state, error));
    if (ControllerState != TControllerState::Dialing) return;
    if (error != 0) {
        if (IsRefusal(error)) NoteRefusal();
        FailureHangup = true;
        PostMessageA(View.Window, WM_COMMAND, CmdDisconnect, 0);
        return;
    }
    if (state == RASCS_Connected) {
        ForgetRefusals();
        LineWasUp = true;
        // Told before shrinking: a dial watched in the window needs no balloon.
        View.Tell(TTrayNews::Connected, EntryName());
        if (Settings.ShrinkWhenConnected) View.ShrinkToTray();
        ControllerState = TControllerState::Ready;
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
    if (!FailureHangup) UserStopped = true;
    // A hang-up is already waiting further up the stack; a second one would hang up the same
    // handle again.
    if (ControllerState == TControllerState::HangingUp) return;

    HRASCONN handle = ConnectionHandle;
    if (handle) {
        ControllerState = TControllerState::HangingUp;
        AddStatusLine(TextDisconnecting);
        View.EnableDisconnect(false);
        DWORD r = RasApi.RasHangUpA(handle);
        if (r != 0) {
            std::snprintf(TextBuffer, TextBufferSize, FormatHangUpError, static_cast<int>(r));
            AddStatusLine(TextBuffer);
            AddStatusLine(RasErrorText(r));
        } else {
            WaitUntilGone(handle);
        }
        ConnectionHandle = nullptr;
    }
    LineWasUp = false;
    AddStatusLine(TextDisconnected);
    View.EnableConnect(true);
    // The failure this hang-up was for is dealt with; a later user hang-up is the user's.
    FailureHangup = false;
    ControllerState = TControllerState::Ready;
    RunPendingRefresh();
}

// ---- The poll ----------------------------------------------------------------------------------

void CALLBACK PollTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (ControllerState != TControllerState::Ready || !Settings.ConnectionName || SessionEnding)
        return;
    RASCONNSTATE state = RASCS_Disconnected;
    if (ConnectionHandle) {
        RASCONNSTATUSA status = {};
        status.dwSize = sizeof status;
        if (RasApi.RasGetConnectStatusA(ConnectionHandle, &status) == 0)
            state = status.rasconnstate;
    }
    if (state == RASCS_Connected) {
        LineWasUp = true;
        ShowConnectedControls();
        return;
    }
    ShowDisconnectedControls();
    if (ConnectionHandle) {
        if (LineWasUp) {
            std::string text = EntryName();
            if (!UserStopped && Settings.AutoReconnect) text += TextRedialling;
            View.Tell(TTrayNews::LineLost, text.c_str());
        }
        FailureHangup = true;
        Disconnect();
        // A refresh that ran when the hang-up ended may have adopted a connection, found the
        // service failing, or found the entry cleared.
        if (ConnectionHandle || ControllerState != TControllerState::Ready ||
            !Settings.ConnectionName)
            return;
    }
    if (!UserStopped && Settings.AutoReconnect && GetTickCount64() >= RefusalWaitEnd) Dial();
}
