#include "SimTable.h"

#include <sstream>

int64_t SimNow() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<int64_t>(t.QuadPart / 10000);
}

static bool IsDeviceState(int32_t state) {
    return state >= 0 && state <= 4;
}

constexpr int32_t AuthNotifyState = 6;

// Where an authentication failure is reported: at AuthNotify, where the real service reports the
// outcome of authentication, else at the first state past the device states (never Connected).
static size_t AuthenticationStep(const std::vector<TSimStep>& steps) {
    for (size_t i = 0; i < steps.size(); ++i)
        if (steps[i].State == AuthNotifyState) return i;
    for (size_t i = 0; i < steps.size(); ++i)
        if (!IsDeviceState(steps[i].State) && steps[i].State != SimConnectedState) return i;
    return steps.size();
}

static size_t StepOf(const std::vector<TSimStep>& steps, int32_t state) {
    for (size_t i = 0; i < steps.size(); ++i)
        if (steps[i].State == state) return i;
    return steps.size();
}

// Puts a failing state where the dial would have been connected (or at the end).
static size_t InsertFailingState(std::vector<TSimStep>& steps, int32_t state, int64_t delay) {
    size_t at = StepOf(steps, SimConnectedState);
    if (at == steps.size()) {
        int64_t last = steps.empty() ? 0 : steps.back().At;
        steps.push_back({state, last + delay, 0});
    } else {
        steps[at].State = state;
    }
    return at;
}

static bool CredentialsAccepted(const TSimEntry& entry, const char* user, const char* password) {
    if (entry.HasUser && lstrcmpiA(entry.User.c_str(), user ? user : "") != 0) return false;
    if (entry.HasPassword && entry.Password != (password ? password : "")) return false;
    return true;
}

std::vector<TSimStep> BuildDialSteps(const TSimEntry& entry, const char* user,
                                     const char* password) {
    std::vector<TSimStep> steps;
    int64_t at = 0;
    for (const TSimState& s : entry.States) {
        at += s.DelayMs;
        steps.push_back({s.State, at, 0});
    }
    const int64_t errorDelay =
        entry.States.empty() ? SimDefaultDelayMs : entry.States.back().DelayMs;
    size_t failAt = steps.size();
    DWORD failCode = 0;
    if (entry.ErrorCode != 0) {
        failAt = StepOf(steps, entry.ErrorState);
        if (failAt == steps.size())
            failAt = InsertFailingState(steps, entry.ErrorState, errorDelay);
        failCode = entry.ErrorCode;
    }
    DWORD refusal = entry.RefuseCode;
    if (!refusal && !CredentialsAccepted(entry, user, password)) refusal = SimAuthenticationFailure;
    if (refusal) {
        size_t auth = AuthenticationStep(steps);
        if (auth == steps.size()) auth = InsertFailingState(steps, AuthNotifyState, errorDelay);
        if (auth < failAt) {
            failAt = auth;
            failCode = refusal;
        }
    }
    if (failCode != 0) {
        steps.resize(failAt + 1);
        steps.push_back({steps[failAt].State, steps[failAt].At + errorDelay, failCode});
    }
    return steps;
}

int64_t ConnectedAt(const std::vector<TSimStep>& steps) {
    for (const TSimStep& s : steps)
        if (s.State == SimConnectedState && s.Error == 0) return s.At;
    return -1;
}

bool IsHangingUp(const TSimConnection& c) {
    return c.HangUpAt != 0;
}

bool HungUpAndGone(const TSimConnection& c, int64_t now) {
    return c.HangUpAt != 0 && now >= c.HangUpAt + static_cast<int64_t>(c.HangUpMs);
}

bool IsDropped(const TSimConnection& c, int64_t now) {
    return c.DropAt != 0 && now >= c.DropAt;
}

TSimStatus StatusAt(const TSimConnection& c, int64_t now) {
    if (IsHangingUp(c)) return {SimDisconnectedState, 0};
    if (IsDropped(c, now)) return {SimDisconnectedState, c.DropCode};
    TSimStatus status = {0, 0}; // before the first report the port is being opened
    for (const TSimStep& s : c.Steps) {
        if (c.Start + s.At > now) break;
        status = {s.State, s.Error};
    }
    return status;
}

// One line per connection; the entry name is the rest of the line, so it may hold blanks.
std::string FormatSimTable(const TSimTable& table) {
    std::ostringstream out;
    out << "rassim-state 1\n";
    out << "next " << table.NextHandle << "\n";
    for (const TSimConnection& c : table.Connections) {
        out << "conn " << c.Handle << ' ' << c.Pid << ' ' << c.Start << ' ' << c.DropAt << ' '
            << c.DropCode << ' ' << c.HangUpAt << ' ' << c.HangUpMs << ' ';
        for (size_t i = 0; i < c.Steps.size(); ++i)
            out << (i ? ";" : "") << c.Steps[i].State << ':' << c.Steps[i].At << ':'
                << c.Steps[i].Error;
        if (c.Steps.empty()) out << '-';
        out << ' ' << c.Entry << "\n";
    }
    return out.str();
}

static bool ParseSteps(const std::string& text, std::vector<TSimStep>& steps) {
    steps.clear();
    if (text == "-") return true;
    std::string spaced = text;
    for (char& ch : spaced)
        if (ch == ';' || ch == ':') ch = ' ';
    std::istringstream in(spaced);
    TSimStep s;
    while (in >> s.State >> s.At >> s.Error)
        steps.push_back(s);
    return in.eof();
}

bool ParseSimTable(const std::string& text, TSimTable& table) {
    table = TSimTable();
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line.rfind("rassim-state 1", 0) != 0) return false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "next") {
            fields >> table.NextHandle;
            continue;
        }
        if (kind != "conn") continue;
        TSimConnection c;
        std::string steps;
        if (!(fields >> c.Handle >> c.Pid >> c.Start >> c.DropAt >> c.DropCode >> c.HangUpAt >>
              c.HangUpMs >> steps))
            continue;
        if (!ParseSteps(steps, c.Steps)) continue;
        fields.get(); // the one blank before the name
        std::getline(fields, c.Entry);
        if (c.Handle != 0 && !c.Entry.empty()) table.Connections.push_back(c);
    }
    for (const TSimConnection& c : table.Connections)
        if (c.Handle >= table.NextHandle) table.NextHandle = c.Handle + 1;
    return true;
}

TSimConnection* FindConnection(TSimTable& table, uint32_t handle) {
    for (TSimConnection& c : table.Connections)
        if (c.Handle == handle) return &c;
    return nullptr;
}

TSimConnection* FindConnectionOf(TSimTable& table, const std::string& entry) {
    for (TSimConnection& c : table.Connections)
        if (lstrcmpiA(c.Entry.c_str(), entry.c_str()) == 0) return &c;
    return nullptr;
}

bool ForgetFinished(TSimTable& table, int64_t now) {
    size_t before = table.Connections.size();
    std::vector<TSimConnection> kept;
    for (TSimConnection& c : table.Connections)
        if (!HungUpAndGone(c, now)) kept.push_back(c);
    table.Connections.swap(kept);
    return table.Connections.size() != before;
}

// Mutex names cannot hold backslashes: name it after a hash of the lower-cased path.
static std::string MutexName(const std::string& statePath) {
    uint32_t hash = 2166136261u;
    for (char ch : statePath) {
        char c = ch == '/' ? '\\' : ch;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    char name[64];
    wsprintfA(name, "rassim-table-%08lx", static_cast<unsigned long>(hash));
    return name;
}

HANDLE LockSimTable(const std::string& statePath) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, MutexName(statePath).c_str());
    if (!mutex) return nullptr;
    // An abandoned mutex (its owner died) is ours now; a stuck owner must not hang every caller.
    DWORD wait = WaitForSingleObject(mutex, 10000);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return nullptr;
    }
    return mutex;
}

void UnlockSimTable(HANDLE mutex) {
    if (!mutex) return;
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

// A first handle that differs from run to run, so that a deleted state file does not hand out
// the handles a still-running program remembers.
static uint32_t FirstHandle() {
    return 0x10000u + static_cast<uint32_t>((SimNow() / 1000) % 0x100000) * 16u;
}

TSimTable LoadSimTable(const std::string& statePath) {
    TSimTable table;
    std::string text;
    if (ReadTextFile(statePath, text) && !ParseSimTable(text, table)) table = TSimTable();
    if (table.NextHandle == 0) table.NextHandle = FirstHandle();
    return table;
}

bool SaveSimTable(const std::string& statePath, const TSimTable& table) {
    HANDLE file = CreateFileA(statePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string text = FormatSimTable(table);
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}
