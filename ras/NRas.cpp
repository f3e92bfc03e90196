#include "ras/NRas.h"

#include "common/NCommon.h"

// ---- Stand-ins for a missing library or export --------------------------------------------
// Each returns a RAS error so that the caller's own failure path runs. The status query answers
// "invalid handle": a hang-up waits for exactly that code, so it must not wait forever when only
// this export is missing. The error-text stand-in writes nothing: the text stays empty.

#define RAS_STAND_IN(name, missing, ...)                                                           \
    static DWORD WINAPI Missing##name(__VA_ARGS__) {                                               \
        return missing;                                                                            \
    }
RAS_ENTRY_POINTS(RAS_STAND_IN)
#undef RAS_STAND_IN

#define RAS_STAND_IN_SLOT(name, ...) Missing##name,
static constexpr TRasApi UnboundRasApi = {RAS_ENTRY_POINTS(RAS_STAND_IN_SLOT) nullptr};
#undef RAS_STAND_IN_SLOT

TRasApi RasApi = UnboundRasApi;

// Slot numbers from 0 in the list's order.
#define RAS_SLOT(name, ...) Slot##name,
enum RasSlot : int { RAS_ENTRY_POINTS(RAS_SLOT) RasSlotCount };
#undef RAS_SLOT
static bool SlotBound[RasSlotCount];

// GetProcAddress returns a generic function pointer; going through void* keeps the cast free of
// function-type warnings.
template <typename Function>
static void BindSlot(HMODULE library, int slot, const char* name, Function& target) {
    FARPROC found = GetProcAddress(library, name);
    if (!found) return;
    target = reinterpret_cast<Function>(reinterpret_cast<void*>(found));
    SlotBound[slot] = true;
}

static void Unbind() {
    RasApi = UnboundRasApi;
    for (bool& bound : SlotBound)
        bound = false;
}

void LoadRasApiFrom(const char* library) {
    FreeRasApi();
    HMODULE handle = LoadLibraryA(library);
    if (!handle) return;
    RasApi.Library = handle;
#define RAS_BIND(name, ...) BindSlot(handle, Slot##name, #name, RasApi.name);
    RAS_ENTRY_POINTS(RAS_BIND)
#undef RAS_BIND
}

void LoadRasApi() {
    LoadRasApiFrom("RASAPI32.DLL");
}

void FreeRasApi() {
    if (RasApi.Library) FreeLibrary(RasApi.Library);
    // Slots pointing into a released library would jump into unmapped code: a late call goes
    // to the stand-ins instead.
    Unbind();
}

bool RasSlotBound(int slot) {
    return slot >= 1 && slot <= RasSlotCount && SlotBound[slot - 1];
}

// ---- Texts ---------------------------------------------------------------------------------

namespace {
struct StateText {
    RASCONNSTATE State;
    const char* Text;
};
} // namespace

static constexpr const char ConnectedText[] = "Connected";
static constexpr const char DisconnectedText[] = "Disconnected";

static constexpr StateText FullTexts[] = {
    {0, "  opening port"},
    {1, "  port opened"},
    {2, "  connecting device..."},
    {3, "  device connected"},
    {4, "  all devices connected"},
    {5, "  authenticate..."},
    {6, "  authentication: notify"},
    {7, "  authentication: retry"},
    {8, "  authentication: callback"},
    {9, "  authentication: change password"},
    {10, "  authentication: projecting"},
    {11, "  authentication: link speed"},
    {12, "  authentication: acknowledge"},
    {13, "  authentication: reauthenticate"},
    {14, "  authenticated"},
    {15, "  preparing for callback"},
    {16, "  waiting for modem reset"},
    {17, "  waiting for callback"},
    {18, "  projected"},
    {19, "  start authentication"},
    {20, "  callback complete"},
    {21, "  logging on network"},
    {0x1000, "  interactive"},
    {0x1001, "  retry authentication"},
    {0x1002, "  callback set by caller"},
    {0x1003, "  password expired"},
    {RASCS_Connected, ConnectedText},
    {RASCS_Disconnected, DisconnectedText},
};

static constexpr StateText ShortTexts[] = {
    {RASCS_ConnectDevice, "  connecting..."},
    {RASCS_StartAuthentication, "  verifying password..."},
    {RASCS_Connected, ConnectedText},
    {RASCS_Disconnected, DisconnectedText},
};

template <size_t N> static const char* FindText(const StateText (&table)[N], RASCONNSTATE state) {
    for (const StateText& entry : table)
        if (entry.State == state) return entry.Text;
    return nullptr;
}

const char* RasErrorText(DWORD code) {
    ZeroMemory(TextBuffer, TextBufferSize);
    RasApi.RasGetErrorStringA(code, TextBuffer, TextBufferSize);
    // A service that fills the whole buffer must not leave the text unterminated.
    TextBuffer[TextBufferSize - 1] = '\0';
    return TextBuffer;
}

const char* ConnectionStateText(RASCONNSTATE state, DWORD error, bool shortWording) {
    if (error != 0) return RasErrorText(error);
    if (shortWording) return FindText(ShortTexts, state);
    if (const char* text = FindText(FullTexts, state)) return text;
    wsprintfA(TextBuffer, "%d", static_cast<int>(state));
    return TextBuffer;
}
