// The dial-up binding: state and error texts, and how the seven slots are bound when the library
// or one of its exports is missing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/NCommon.h"
#include "ras/NRas.h"
#include "support/TestSupport.h"

namespace {

struct ExpectedText {
    RASCONNSTATE State;
    const char* Full;
    const char* Short; // null: no text
};

const ExpectedText ListedStates[] = {
    {0, "  opening port", nullptr},
    {1, "  port opened", nullptr},
    {2, "  connecting device...", "  connecting..."},
    {3, "  device connected", nullptr},
    {4, "  all devices connected", nullptr},
    {5, "  authenticate...", nullptr},
    {6, "  authentication: notify", nullptr},
    {7, "  authentication: retry", nullptr},
    {8, "  authentication: callback", nullptr},
    {9, "  authentication: change password", nullptr},
    {10, "  authentication: projecting", nullptr},
    {11, "  authentication: link speed", nullptr},
    {12, "  authentication: acknowledge", nullptr},
    {13, "  authentication: reauthenticate", nullptr},
    {14, "  authenticated", nullptr},
    {15, "  preparing for callback", nullptr},
    {16, "  waiting for modem reset", nullptr},
    {17, "  waiting for callback", nullptr},
    {18, "  projected", nullptr},
    {19, "  start authentication", "  verifying password..."},
    {20, "  callback complete", nullptr},
    {21, "  logging on network", nullptr},
    {0x1000, "  interactive", nullptr},
    {0x1001, "  retry authentication", nullptr},
    {0x1002, "  callback set by caller", nullptr},
    {0x1003, "  password expired", nullptr},
    {0x2000, "Connected", "Connected"},
    {0x2001, "Disconnected", "Disconnected"},
};

// A service whose error wording the test controls; it records what it was asked.
UINT AskedCode;
DWORD AskedSize;
bool BufferWasClear;
int FakeMode; // 0 writes a text for 678 only, 1 fills the whole buffer without a terminator

DWORD WINAPI FakeErrorString(UINT code, LPSTR buffer, DWORD size) {
    AskedCode = code;
    AskedSize = size;
    BufferWasClear = true;
    for (DWORD i = 0; i < size; ++i)
        if (buffer[i] != '\0') BufferWasClear = false;
    if (FakeMode == 1) {
        std::memset(buffer, 'a', size);
        return 0;
    }
    if (code != 678) return 87;
    lstrcpyA(buffer, "no answer from the other end");
    return 0;
}

std::string PartialLibrary() {
    return ExeFolder() + "fixtures\\partial_ras.dll";
}

class StateTexts : public ::testing::Test {
  protected:
    void SetUp() override {
        LoadRasApiFrom("tovane-no-such-library.dll");
        RasApi.RasGetErrorStringA = FakeErrorString;
        FakeMode = 0;
        AskedCode = 0;
        AskedSize = 0;
    }
    void TearDown() override { FreeRasApi(); }
};

// Both wordings of every listed state, each a constant that a caller may keep while the shared
// buffer is reused.
TEST_F(StateTexts, BothWordingsOfEveryListedState) {
    for (const ExpectedText& e : ListedStates) {
        const char* full = ConnectionStateText(e.State, 0, false);
        const char* brief = ConnectionStateText(e.State, 0, true);
        EXPECT_STREQ(e.Full, full) << e.State;
        EXPECT_NE(static_cast<const char*>(TextBuffer), full) << e.State;
        if (e.Short) {
            EXPECT_STREQ(e.Short, brief) << e.State;
            EXPECT_NE(static_cast<const char*>(TextBuffer), brief) << e.State;
        } else {
            EXPECT_EQ(nullptr, brief) << e.State;
        }
    }
    EXPECT_EQ(ConnectionStateText(RASCS_Connected, 0, false),
              ConnectionStateText(RASCS_Connected, 0, true));
}

TEST_F(StateTexts, UnlistedStatesAreSignedDecimalsInTheFullWordingAndHaveNoShortText) {
    const struct {
        RASCONNSTATE State;
        const char* Text;
    } cases[] = {{22, "22"},     {23, "23"},       {-1, "-1"},
                 {4100, "4100"}, {0x2002, "8194"}, {INT32_MIN, "-2147483648"}};
    for (const auto& c : cases) {
        const char* text = ConnectionStateText(c.State, 0, false);
        EXPECT_EQ(static_cast<const char*>(TextBuffer), text);
        EXPECT_STREQ(c.Text, text);
        EXPECT_EQ(nullptr, ConnectionStateText(c.State, 0, true)) << c.State;
    }
}

TEST_F(StateTexts, AnErrorGivesTheErrorTextInBothWordings) {
    for (bool shortWording : {false, true}) {
        TextBuffer[0] = 'x';
        const char* text = ConnectionStateText(RASCS_Connected, 678, shortWording);
        EXPECT_STREQ("no answer from the other end", text);
        EXPECT_EQ(678u, AskedCode);
    }
    // Also for a state with no short text and for an unlisted state.
    EXPECT_STREQ("no answer from the other end", ConnectionStateText(0, 678, true));
    EXPECT_STREQ("no answer from the other end", ConnectionStateText(22, 678, false));
}

// The service writes into the whole buffer, cleared first; a code it does not know gives an
// empty text, and a text filling the buffer is still terminated.
TEST_F(StateTexts, ErrorTextsComeFromTheServiceIntoTheWholeClearedBuffer) {
    std::memset(TextBuffer, 'z', TextBufferSize);
    const char* text = RasErrorText(678);
    EXPECT_EQ(static_cast<const char*>(TextBuffer), text);
    EXPECT_TRUE(BufferWasClear);
    EXPECT_EQ(static_cast<DWORD>(TextBufferSize), AskedSize);
    std::memset(TextBuffer, 'z', TextBufferSize);
    EXPECT_STREQ("", RasErrorText(12345));
    EXPECT_STREQ("", ConnectionStateText(RASCS_Connected, 12345, false));
    FakeMode = 1;
    EXPECT_EQ(static_cast<size_t>(TextBufferSize - 1), std::strlen(RasErrorText(678)));
}

// ---- Binding -----------------------------------------------------------------------------

class Binding : public ::testing::Test {
  protected:
    void TearDown() override { FreeRasApi(); }
};

TEST_F(Binding, WithoutTheLibraryNoSlotIsBoundAndEveryCallFailsSafely) {
    LoadRasApiFrom("tovane-no-such-library.dll");
    EXPECT_EQ(nullptr, RasApi.Library);
    for (int slot = 1; slot <= 7; ++slot)
        EXPECT_FALSE(RasSlotBound(slot)) << slot;

    RASENTRYNAMEA entries[2] = {};
    entries[0].dwSize = sizeof(RASENTRYNAMEA);
    DWORD bytes = sizeof entries, count = 77;
    EXPECT_EQ(RasErrorServiceMissing,
              RasApi.RasEnumEntriesA(nullptr, nullptr, entries, &bytes, &count));
    EXPECT_EQ(77u, count);

    RASCONNA connections[2] = {};
    connections[0].dwSize = sizeof(RASCONNA);
    bytes = sizeof connections;
    EXPECT_EQ(RasErrorServiceMissing, RasApi.RasEnumConnectionsA(connections, &bytes, &count));

    RASCONNSTATUSA status = {};
    status.dwSize = sizeof status;
    // Exactly "invalid handle": the wait after a hang-up ends on it.
    EXPECT_EQ(RasErrorInvalidHandle,
              RasApi.RasGetConnectStatusA(reinterpret_cast<HRASCONN>(0x1234), &status));

    RASDIALPARAMSA params = {};
    params.dwSize = sizeof params;
    HRASCONN handle = nullptr;
    EXPECT_EQ(RasErrorServiceMissing,
              RasApi.RasDialA(nullptr, nullptr, &params, 0, nullptr, &handle));
    EXPECT_EQ(nullptr, handle);

    EXPECT_EQ(RasErrorServiceMissing, RasApi.RasHangUpA(reinterpret_cast<HRASCONN>(0x1234)));

    char text[16] = "untouched";
    EXPECT_NE(0u, RasApi.RasGetErrorStringA(678, text, sizeof text));
    EXPECT_STREQ("untouched", text);
    EXPECT_STREQ("", RasErrorText(RasErrorServiceMissing));
    EXPECT_STREQ("", ConnectionStateText(RASCS_Connected, 678, true));
}

TEST_F(Binding, ALibraryMissingOneExportLeavesOnlyThatSlotUnbound) {
    LoadRasApiFrom(PartialLibrary().c_str());
    ASSERT_NE(nullptr, RasApi.Library);
    // Numbers outside the table are never bound.
    for (int slot = -1; slot <= 8; ++slot)
        EXPECT_EQ(slot >= 1 && slot <= 6 && slot != 3, RasSlotBound(slot)) << slot;

    // Each bound slot reaches the export of its own name.
    DWORD bytes = 0, count = 0;
    EXPECT_EQ(1001u, RasApi.RasEnumEntriesA(nullptr, nullptr, nullptr, &bytes, &count));
    EXPECT_EQ(1002u, RasApi.RasEnumConnectionsA(nullptr, &bytes, &count));
    HRASCONN handle = nullptr;
    EXPECT_EQ(1004u, RasApi.RasDialA(nullptr, nullptr, nullptr, 0, nullptr, &handle));
    EXPECT_EQ(1006u, RasApi.RasHangUpA(nullptr));
    EXPECT_STREQ("partial 629 of 4098", RasErrorText(629));
    // The missing ones run the stand-ins; the saved credentials' says nothing is saved.
    RASCONNSTATUSA status = {};
    status.dwSize = sizeof status;
    EXPECT_EQ(RasErrorInvalidHandle, RasApi.RasGetConnectStatusA(nullptr, &status));
    RASDIALPARAMSA params = {};
    params.dwSize = sizeof params;
    BOOL saved = FALSE;
    EXPECT_NE(0u, RasApi.RasGetEntryDialParamsA(nullptr, &params, &saved));
    EXPECT_FALSE(saved);
    EXPECT_STREQ("", params.szPassword);
}

TEST_F(Binding, FreeingOrBindingAgainReleasesTheLibraryAndPutsTheStandInsBack) {
    LoadRasApiFrom(PartialLibrary().c_str());
    ASSERT_NE(nullptr, GetModuleHandleA("partial_ras.dll"));
    FreeRasApi();
    EXPECT_EQ(nullptr, GetModuleHandleA("partial_ras.dll"));
    EXPECT_EQ(nullptr, RasApi.Library);
    for (int slot = 1; slot <= 7; ++slot)
        EXPECT_FALSE(RasSlotBound(slot)) << slot;
    EXPECT_EQ(RasErrorServiceMissing, RasApi.RasHangUpA(nullptr));
    // Binding again releases the earlier library as well.
    LoadRasApiFrom(PartialLibrary().c_str());
    LoadRasApiFrom("tovane-no-such-library.dll");
    EXPECT_EQ(nullptr, GetModuleHandleA("partial_ras.dll"));
    EXPECT_FALSE(RasSlotBound(1));
}

TEST_F(Binding, TheFullLibraryBindsAllSevenSlots) {
    // Wine answers a load of any file named rasapi32.dll with its own library unless told
    // otherwise at process start, so the simulator is bound from a copy of another name.
    TempFolder folder;
    std::string copy = folder.File("simulated-ras.dll");
    ASSERT_TRUE(CopyFileA((ExeFolder() + "rassim\\rasapi32.dll").c_str(), copy.c_str(), FALSE));
    LoadRasApiFrom(copy.c_str());
    ASSERT_NE(nullptr, RasApi.Library);
    for (int slot = 1; slot <= 7; ++slot)
        EXPECT_TRUE(RasSlotBound(slot)) << slot;
    EXPECT_STREQ("The line is busy.", RasErrorText(676));
    EXPECT_STREQ("The user name or the password was not accepted.",
                 ConnectionStateText(RASCS_Connected, 691, true));
    FreeRasApi(); // before the folder goes
}

TEST_F(Binding, StartUpBindsTheSystemLibraryByItsPlainName) {
    LoadRasApi();
    ASSERT_NE(nullptr, RasApi.Library);
    EXPECT_EQ(GetModuleHandleA("rasapi32.dll"), RasApi.Library);
    EXPECT_TRUE(RasSlotBound(4));
}

} // namespace
