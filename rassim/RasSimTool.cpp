// rassim.exe: acts on the simulated service from outside, as a line or a user would.
//   rassim list                    the connections and their states
//   rassim drop <handle|entry> [code]  the line is lost: disconnected with an error (629)
//   rassim reset                   forgets every connection
// The state file is found as the service finds it: RASSIM_STATE, else beside RASSIM_CONFIG,
// else beside this program.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "SimConfig.h"
#include "SimTable.h"

constexpr int ExitDone = 0;
constexpr int ExitNotFound = 1;
constexpr int ExitUsage = 2;

static std::string ProgramFolder() {
    char path[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return SimFolderOf(path);
}

static int Usage() {
    std::fprintf(stderr, "usage: rassim list\n"
                         "       rassim drop <handle|entry> [error code]\n"
                         "       rassim reset\n");
    return ExitUsage;
}

static int List(const std::string& statePath) {
    TSimTable table;
    WithSimTable(statePath, [&](TSimTable& current) {
        table = current;
        return false;
    });
    int64_t now = SimNow();
    std::printf("%-10s %-8s %-6s %-6s %s\n", "handle", "state", "error", "pid", "entry");
    for (const TSimConnection& c : table.Connections) {
        TSimStatus status = StatusAt(c, now);
        std::printf("%-10lu %-8ld %-6lu %-6lu %s%s\n", static_cast<unsigned long>(c.Handle),
                    static_cast<long>(status.State), status.Error, c.Pid, c.Entry.c_str(),
                    IsHangingUp(c) ? " (hanging up)" : "");
    }
    return ExitDone;
}

static bool IsNumber(const char* text) {
    if (!*text) return false;
    for (const char* p = text; *p; ++p)
        if (*p < '0' || *p > '9') return false;
    return true;
}

static int Drop(const std::string& statePath, const char* which, DWORD code) {
    bool byHandle = IsNumber(which);
    uint32_t handle = byHandle ? static_cast<uint32_t>(std::strtoul(which, nullptr, 10)) : 0;
    bool found = WithSimTable(statePath, [&](TSimTable& table) {
        TSimConnection* c =
            byHandle ? FindConnection(table, handle) : FindConnectionOf(table, which);
        if (!c || IsHangingUp(*c)) return false;
        int64_t now = SimNow();
        if (IsDropped(*c, now)) return true; // already down: keep its first error
        c->DropAt = now;
        c->DropCode = code;
        return true;
    });
    if (!found) {
        std::fprintf(stderr, "rassim: no connection %s\n", which);
        return ExitNotFound;
    }
    std::printf("dropped %s\n", which);
    return ExitDone;
}

static int Reset(const std::string& statePath) {
    WithSimTable(statePath, [](TSimTable& table) {
        table.Connections.clear(); // the handle counter stays: old handles never come back
        return true;
    });
    std::printf("reset\n");
    return ExitDone;
}

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string statePath = SimStatePath(ProgramFolder());
    std::string command = argv[1];
    if (command == "list" && argc == 2) return List(statePath);
    if (command == "reset" && argc == 2) return Reset(statePath);
    if (command == "drop" && (argc == 3 || argc == 4)) {
        DWORD code = SimDefaultDropCode;
        if (argc == 4) {
            if (!IsNumber(argv[3])) return Usage();
            code = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
        }
        return Drop(statePath, argv[2], code);
    }
    return Usage();
}
