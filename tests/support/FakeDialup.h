#pragma once
// A dial-up service of the tests' own, in this process: a phone book, lines that come and go,
// dials that succeed or fail at once, hang-ups whose handle lingers. UseFakeDialup points every
// slot of RasApi at it. Each call it answers is handed to Record as one text: "dial Office user
// secret" (" odd" added for a record or call unlike the plain dial of the oldest layout), "status
// 1000", "hangup 1000", "ask saved Office"; the polls of a handle already hung up are only
// counted, and the phone book and connection lists are not recorded.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ras/NRas.h"

struct FakeLine {
    std::string Entry;
    HRASCONN Handle = nullptr;
    RASCONNSTATE State = RASCS_Connected;
    bool HungUp = false;
    ULONGLONG GoneAt = 0; // when a hung-up handle becomes unknown
};

struct FakeDialup {
    std::function<void(std::string)> Record = [](std::string) {};
    std::vector<std::string> PhoneBook;
    std::vector<FakeLine> Lines; // a dial adds its line, with handles from 0x1000 up
    DWORD EnumResult = 0, StatusResult = 0, DialResult = 0; // of the lists, a line's status, a dial
    bool DialStoresHandle = true;                           // also when the dial fails at once
    bool Overfull = false; // the lists claim far more than they hold, each name unterminated
    DWORD HangUpMs = 0;    // how long a hung-up handle lingers
    int HangUpHeld = 0;    // while not 0, a hung-up handle lingers however long it takes
    int StatusCalls = 0;
    uintptr_t NextHandle = 0x1000;
    RasDialFunc Notifier = nullptr;           // the last dial's
    const RASDIALPARAMSA* Params = nullptr;   // the last dial's record
    const RASDIALPARAMSA* SavedAsk = nullptr; // the last ask for saved credentials' record
    int LeftFilled = -1;   // bytes of those two records not zero when an error text is asked for
    std::string SavedUser; // what Windows saved with the entry; its password reads "#saved"
    bool PasswordSaved = false;

    FakeLine* Find(HRASCONN handle);
};

extern FakeDialup Dialup;

// An event that reports the states (and errors) to the last dial's notifier on a thread of its
// own, and returns when that thread has ended.
std::function<void()> Reports(std::vector<std::pair<RASCONNSTATE, DWORD>> reports);
// An event that makes the next hang-up's handle linger until the steps ran, one per timer tick
// from inside whatever loop is pumping then (the hang-up's wait): the way a user acts meanwhile.
std::function<void()> During(std::vector<std::function<void()>> steps);

// Starts the service afresh, recording through record (nothing when null), in every RasApi slot
// (a library bound stays bound, to be let go as usual).
void UseFakeDialup(std::function<void(std::string)> record = nullptr);

std::string HexText(const void* value); // as the service's records name a handle: "1000"
