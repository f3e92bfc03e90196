#pragma once
// Run-time binding of the seven RASAPI32.DLL entry points, the platform's RAS records in their
// oldest layout, and the texts for connection states and RAS errors.
// <ras.h> is never included: it declares only the newest, larger record layouts.
#include <windows.h>

#include <cstddef>
#include <cstdint>

DECLARE_HANDLE(HRASCONN);
using RASCONNSTATE = int32_t;

constexpr RASCONNSTATE RASCS_ConnectDevice = 2;
constexpr RASCONNSTATE RASCS_StartAuthentication = 19;
constexpr RASCONNSTATE RASCS_Connected = 0x2000;
constexpr RASCONNSTATE RASCS_Disconnected = 0x2001;

constexpr int RasMaxEntryName = 256;
constexpr int RasMaxDeviceType = 16;
constexpr int RasMaxDeviceName = 128;
constexpr int RasMaxPhoneNumber = 128;
constexpr int RasMaxCallbackNumber = 128;
constexpr int RasMaxCredential = 256; // UNLEN and PWLEN
constexpr int RasMaxDomain = 15;      // DNLEN

#pragma pack(push, 4)
struct RASENTRYNAMEA {
    DWORD dwSize;
    char szEntryName[RasMaxEntryName + 1];
};
struct RASCONNA {
    DWORD dwSize;
    HRASCONN hrasconn;
    char szEntryName[RasMaxEntryName + 1];
    char szDeviceType[RasMaxDeviceType + 1];
    char szDeviceName[RasMaxDeviceName + 1];
};
struct RASCONNSTATUSA {
    DWORD dwSize;
    RASCONNSTATE rasconnstate;
    DWORD dwError;
    char szDeviceType[RasMaxDeviceType + 1];
    char szDeviceName[RasMaxDeviceName + 1];
};
struct RASDIALPARAMSA {
    DWORD dwSize;
    char szEntryName[RasMaxEntryName + 1];
    char szPhoneNumber[RasMaxPhoneNumber + 1];
    char szCallbackNumber[RasMaxCallbackNumber + 1];
    char szUserName[RasMaxCredential + 1];
    char szPassword[RasMaxCredential + 1];
    char szDomain[RasMaxDomain + 1];
};
#pragma pack(pop)

static_assert(sizeof(RASENTRYNAMEA) == 264);
static_assert(sizeof(RASCONNA) == (sizeof(void*) == 8 ? 416 : 412));
static_assert(sizeof(RASCONNSTATUSA) == 160);
static_assert(sizeof(RASDIALPARAMSA) == 1052);
static_assert(offsetof(RASCONNA, hrasconn) == 4);
static_assert(offsetof(RASCONNA, szEntryName) == 4 + sizeof(void*));
static_assert(offsetof(RASCONNSTATUSA, rasconnstate) == 4 &&
              offsetof(RASCONNSTATUSA, dwError) == 8);
static_assert(offsetof(RASDIALPARAMSA, szUserName) == 519 &&
              offsetof(RASDIALPARAMSA, szPassword) == 776);

constexpr int RasListCapacity = 100; // entries and connections asked for at once
constexpr DWORD RasErrorInvalidHandle = 6;
// What a stand-in for a missing library or export returns (the service cannot start); the
// stand-in for RasGetConnectStatusA returns RasErrorInvalidHandle instead, so that the wait
// after a hang-up ends.
constexpr DWORD RasErrorServiceMissing = 711;

// The notifier kind the program uses (type 0): message, state, error.
using RasDialFunc = void(WINAPI*)(UINT message, RASCONNSTATE state, DWORD error);

// The seven entry points, each named once: name, what its stand-in returns, parameter types.
// The table's fields, the stand-ins and the binding by name are all generated from this list.
//   RasEnumEntriesA(reserved, phone book, entries, bytes, count)
//   RasEnumConnectionsA(connections, bytes, count)
//   RasGetConnectStatusA(connection, status)
//   RasDialA(extensions, phone book, params, notifier type, notifier, connection)
//   RasGetErrorStringA(code, buffer, size)
//   RasHangUpA(connection)
//   RasGetEntryDialParamsA(phone book, params, password saved): the credentials Windows saved
//     with the entry; the password comes back as a handle that RasDialA resolves. The stand-in's
//     failure reads as "nothing saved".
#define RAS_ENTRY_POINTS(X)                                                                        \
    X(RasEnumEntriesA, RasErrorServiceMissing, LPCSTR, LPCSTR, RASENTRYNAMEA*, DWORD*, DWORD*)     \
    X(RasEnumConnectionsA, RasErrorServiceMissing, RASCONNA*, DWORD*, DWORD*)                      \
    X(RasGetConnectStatusA, RasErrorInvalidHandle, HRASCONN, RASCONNSTATUSA*)                      \
    X(RasDialA, RasErrorServiceMissing, void*, LPCSTR, RASDIALPARAMSA*, DWORD, void*, HRASCONN*)   \
    X(RasGetErrorStringA, RasErrorServiceMissing, UINT, LPSTR, DWORD)                              \
    X(RasHangUpA, RasErrorServiceMissing, HRASCONN)                                                \
    X(RasGetEntryDialParamsA, RasErrorServiceMissing, LPCSTR, RASDIALPARAMSA*, BOOL*)

#define RAS_TABLE_FIELD(name, missing, ...) DWORD(WINAPI* name)(__VA_ARGS__);
struct TRasApi {
    RAS_ENTRY_POINTS(RAS_TABLE_FIELD)
    HMODULE Library;
};
#undef RAS_TABLE_FIELD

// Every slot is callable: a missing library or export is bound to a stand-in that returns a
// non-zero RAS error, so callers' failure paths run instead of a null call.
extern TRasApi RasApi;

void LoadRasApi(); // binds "RASAPI32.DLL"
// Binds another library file (tests); any earlier binding is released first.
void LoadRasApiFrom(const char* library);
void FreeRasApi(); // releases the library; every slot goes back to its stand-in
// True when the slot was bound to the library's own export (not a stand-in).
bool RasSlotBound(int slot); // slot 1..7 in the list's order

// Window-thread functions only: the texts they build live in the shared TextBuffer until its
// next use, so a dial notifier running on the service's thread must hand its report over to the
// window thread before asking for a text.
const char* RasErrorText(DWORD code);
// Null means no status line (short wording of an unlisted state).
const char* ConnectionStateText(RASCONNSTATE state, DWORD error, bool shortWording);
