#include "SimConfig.h"

#include <cstdlib>
#include <sstream>

// Device states, then authentication and projection, then Connected: about three seconds.
static const TSimState DefaultSequence[] = {
    {0, SimDefaultDelayMs},  {1, SimDefaultDelayMs},  {2, SimDefaultDelayMs},
    {3, SimDefaultDelayMs},  {4, SimDefaultDelayMs},  {5, SimDefaultDelayMs},
    {19, SimDefaultDelayMs}, {6, SimDefaultDelayMs},  {10, SimDefaultDelayMs},
    {14, SimDefaultDelayMs}, {18, SimDefaultDelayMs}, {0x2000, SimDefaultDelayMs},
};

static std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

static bool SameText(const std::string& a, const char* b) {
    return lstrcmpiA(a.c_str(), b) == 0;
}

// Decimal or 0x-prefixed hexadecimal, optionally negative; the whole text must be a number.
static bool ParseNumber(const std::string& text, long long& value) {
    std::string t = Trim(text);
    if (t.empty()) return false;
    char* end = nullptr;
    value = std::strtoll(t.c_str(), &end, 0);
    return end && *end == '\0';
}

static bool ParseCode(const std::string& text, DWORD& value) {
    long long n = 0;
    if (!ParseNumber(text, n) || n < 0 || n > 0xFFFFFFFFLL) return false;
    value = static_cast<DWORD>(n);
    return true;
}

static bool ParseState(const std::string& text, int32_t& value) {
    long long n = 0;
    if (!ParseNumber(text, n) || n < INT32_MIN || n > INT32_MAX) return false;
    value = static_cast<int32_t>(n);
    return true;
}

// "0 1 2:900 8192": states separated by blanks or commas, each with an optional ":delay".
static bool ParseStates(const std::string& text, DWORD delay, std::vector<TSimState>& states) {
    std::string spaced = text;
    for (char& c : spaced)
        if (c == ',') c = ' ';
    std::istringstream in(spaced);
    std::vector<TSimState> parsed;
    std::string item;
    while (in >> item) {
        TSimState state = {0, delay};
        size_t colon = item.find(':');
        if (!ParseState(item.substr(0, colon), state.State)) return false;
        if (colon != std::string::npos && !ParseCode(item.substr(colon + 1), state.DelayMs))
            return false;
        parsed.push_back(state);
    }
    if (parsed.empty()) return false;
    states = parsed;
    return true;
}

namespace {
// What a section says before defaults are filled in.
struct PendingEntry {
    TSimEntry Entry;
    std::string StatesText;
    DWORD Delay = SimDefaultDelayMs;
    int StatesLine = 0;
};
} // namespace

static bool ApplyEntryKey(PendingEntry& pending, const std::string& key, const std::string& value,
                          int line) {
    TSimEntry& e = pending.Entry;
    if (SameText(key, "States")) {
        pending.StatesText = value;
        pending.StatesLine = line;
        return true;
    }
    if (SameText(key, "Delay")) return ParseCode(value, pending.Delay);
    if (SameText(key, "ErrorState")) return ParseState(value, e.ErrorState);
    if (SameText(key, "ErrorCode")) return ParseCode(value, e.ErrorCode);
    if (SameText(key, "DialError")) return ParseCode(value, e.DialError);
    if (SameText(key, "DropAfter")) return ParseCode(value, e.DropAfterSeconds);
    if (SameText(key, "HangUpTime")) return ParseCode(value, e.HangUpMs);
    if (SameText(key, "Refuse")) return ParseCode(value, e.RefuseCode);
    if (SameText(key, "SavedUser")) {
        e.SavedUser = value;
        return true;
    }
    if (SameText(key, "SavedPassword")) {
        e.HasSavedPassword = true;
        e.SavedPassword = value;
        return true;
    }
    if (SameText(key, "User")) {
        e.HasUser = true;
        e.User = value;
        return true;
    }
    if (SameText(key, "Password")) {
        e.HasPassword = true;
        e.Password = value;
        return true;
    }
    return false;
}

static bool ApplyGlobalKey(TSimConfig& config, const std::string& key, const std::string& value) {
    if (SameText(key, "EnumEntriesError")) return ParseCode(value, config.EnumEntriesError);
    if (SameText(key, "EnumConnectionsError")) return ParseCode(value, config.EnumConnectionsError);
    if (SameText(key, "GetConnectStatusError"))
        return ParseCode(value, config.GetConnectStatusError);
    return false;
}

static void FinishEntry(TSimConfig& config, PendingEntry& pending) {
    TSimEntry& e = pending.Entry;
    if (pending.StatesText.empty()) {
        for (const TSimState& s : DefaultSequence)
            e.States.push_back({s.State, pending.Delay});
    } else if (!ParseStates(pending.StatesText, pending.Delay, e.States)) {
        config.Problems.push_back("line " + std::to_string(pending.StatesLine) +
                                  ": States not understood, the default sequence is used");
        for (const TSimState& s : DefaultSequence)
            e.States.push_back({s.State, pending.Delay});
    }
    if (FindSimEntry(config, e.Name.c_str())) {
        config.Problems.push_back("entry [" + e.Name + "] appears twice; the first one counts");
        return;
    }
    config.Entries.push_back(e);
}

TSimConfig ParseSimConfig(const std::string& text) {
    TSimConfig config;
    std::istringstream in(text);
    std::string raw;
    PendingEntry pending;
    bool inEntry = false;
    int line = 0;
    while (std::getline(in, raw)) {
        ++line;
        std::string t = Trim(raw);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t[0] == '[') {
            if (inEntry) FinishEntry(config, pending);
            size_t close = t.rfind(']');
            std::string name = close == std::string::npos ? "" : Trim(t.substr(1, close - 1));
            inEntry = !name.empty() && name.size() <= 256;
            if (!inEntry) {
                config.Problems.push_back("line " + std::to_string(line) + ": bad section name");
                continue;
            }
            pending = PendingEntry();
            pending.Entry.Name = name;
            continue;
        }
        size_t equals = t.find('=');
        bool ok = false;
        if (equals != std::string::npos) {
            std::string key = Trim(t.substr(0, equals));
            std::string value = Trim(t.substr(equals + 1));
            ok = inEntry ? ApplyEntryKey(pending, key, value, line)
                         : ApplyGlobalKey(config, key, value);
        }
        if (!ok) config.Problems.push_back("line " + std::to_string(line) + ": not understood");
    }
    if (inEntry) FinishEntry(config, pending);
    return config;
}

bool ReadTextFile(const std::string& path, std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    CloseHandle(file);
    return true;
}

bool ReadSimConfig(const std::string& path, TSimConfig& config) {
    std::string text;
    if (!ReadTextFile(path, text)) {
        config = TSimConfig();
        return false;
    }
    config = ParseSimConfig(text);
    return true;
}

const TSimEntry* FindSimEntry(const TSimConfig& config, const char* name) {
    if (!name) return nullptr;
    for (const TSimEntry& e : config.Entries)
        if (lstrcmpiA(e.Name.c_str(), name) == 0) return &e;
    return nullptr;
}

std::string SimEnvironment(const char* name) {
    char value[MAX_PATH * 4];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    if (n == 0 || n >= sizeof value) return std::string();
    return std::string(value, n);
}

std::string SimFolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string SimConfigPath(const std::string& moduleFolder) {
    std::string named = SimEnvironment("RASSIM_CONFIG");
    return named.empty() ? moduleFolder + "rassim.ini" : named;
}

std::string SimStatePath(const std::string& moduleFolder) {
    std::string named = SimEnvironment("RASSIM_STATE");
    return named.empty() ? SimFolderOf(SimConfigPath(moduleFolder)) + "rassim.state" : named;
}
