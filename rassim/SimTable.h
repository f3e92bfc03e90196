#pragma once
// The simulated service's connections, kept in a small state file that every process using the
// service shares under a named mutex, so that a connection outlives the process that dialled it.
// A connection's progress is a schedule of steps from its dial time: any process can tell its
// state at any moment without the dialling process being alive.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "SimConfig.h"

constexpr int32_t SimConnectedState = 0x2000;
constexpr int32_t SimDisconnectedState = 0x2001;
constexpr DWORD SimAuthenticationFailure = 691;
constexpr DWORD SimDefaultDropCode = 629; // the remote end hung up

struct TSimStep {
    int32_t State;
    int64_t At; // milliseconds after the dial started
    DWORD Error;
};

struct TSimConnection {
    uint32_t Handle = 0;
    DWORD Pid = 0; // the process that dialled
    std::string Entry;
    int64_t Start = 0; // SimNow() of the dial
    std::vector<TSimStep> Steps;
    int64_t DropAt = 0; // 0: the line does not drop by itself
    DWORD DropCode = 0;
    int64_t HangUpAt = 0; // 0: not hung up
    DWORD HangUpMs = 0;
};

struct TSimStatus {
    int32_t State;
    DWORD Error;
};

struct TSimTable {
    uint32_t NextHandle = 0;
    std::vector<TSimConnection> Connections;
};

int64_t SimNow(); // wall-clock milliseconds, the same in every process

// The steps of a dial of this entry with these credentials: the configured states, cut short
// by the configured error or a refusal of the credentials (wrong ones, or the entry's Refuse
// code), which is then reported once more with its error code.
std::vector<TSimStep> BuildDialSteps(const TSimEntry& entry, const char* user,
                                     const char* password);
// When the dial reaches the connected state (ms after the start), or -1 when it never does.
int64_t ConnectedAt(const std::vector<TSimStep>& steps);

TSimStatus StatusAt(const TSimConnection& connection, int64_t now);
bool HungUpAndGone(const TSimConnection& connection, int64_t now);
bool IsHangingUp(const TSimConnection& connection);
bool IsDropped(const TSimConnection& connection, int64_t now);

std::string FormatSimTable(const TSimTable& table);
bool ParseSimTable(const std::string& text, TSimTable& table);

TSimConnection* FindConnection(TSimTable& table, uint32_t handle);
TSimConnection* FindConnectionOf(TSimTable& table, const std::string& entry);

// Loads the table under the file's mutex, forgets connections whose hang-up has completed,
// lets change() look and alter it, and writes it back when change() returns true (or when
// something was forgotten). Returns change()'s result.
template <typename Change> bool WithSimTable(const std::string& statePath, Change change);

// The pieces WithSimTable is made of.
HANDLE LockSimTable(const std::string& statePath); // null when the mutex cannot be had
void UnlockSimTable(HANDLE mutex);
TSimTable LoadSimTable(const std::string& statePath);
bool SaveSimTable(const std::string& statePath, const TSimTable& table);
bool ForgetFinished(TSimTable& table, int64_t now);

template <typename Change> bool WithSimTable(const std::string& statePath, Change change) {
    HANDLE mutex = LockSimTable(statePath);
    TSimTable table = LoadSimTable(statePath);
    bool forgot = ForgetFinished(table, SimNow());
    bool changed = change(table);
    if (changed || forgot) SaveSimTable(statePath, table);
    UnlockSimTable(mutex);
    return changed;
}
