#pragma once
// The simulated phone book and its behaviour, read from a plain-text file (see README.md).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct TSimState {
    int32_t State;
    DWORD DelayMs; // before the state is reported
};

struct TSimEntry {
    std::string Name;
    std::vector<TSimState> States; // in the order reported; the default sequence when not given
    DWORD ErrorCode = 0;           // reported during the dial; 0 for none
    int32_t ErrorState = 2;        // the state the error is reported with
    DWORD DialError = 0;           // RasDialA fails at once with this code
    bool HasUser = false;
    std::string User;
    bool HasPassword = false;
    std::string Password;
    DWORD RefuseCode = 0; // every dial's credentials are refused with this code; 0 never
    // What Windows saved with the entry: RasGetEntryDialParamsA hands out the user name and, in
    // place of the password, SimSavedPasswordHandle, which RasDialA resolves.
    std::string SavedUser;
    bool HasSavedPassword = false;
    std::string SavedPassword;
    DWORD DropAfterSeconds = 0; // a connected line drops after this long; 0 never
    DWORD HangUpMs = 500;       // a hung-up connection stays this long before its handle dies
};

struct TSimConfig {
    DWORD EnumEntriesError = 0;
    DWORD EnumConnectionsError = 0;
    DWORD GetConnectStatusError = 0;
    std::vector<TSimEntry> Entries;    // in file order: the order RasEnumEntriesA lists them
    std::vector<std::string> Problems; // lines that were not understood
};

constexpr DWORD SimDefaultDelayMs = 250;
// Stands for a saved password: callers pass it back to RasDialA unchanged and never see the
// password itself.
constexpr char SimSavedPasswordHandle[] = "****************";

TSimConfig ParseSimConfig(const std::string& text);
// False when the file cannot be read; the configuration is then empty.
bool ReadSimConfig(const std::string& path, TSimConfig& config);
// The whole file appended to text; false when it cannot be opened.
bool ReadTextFile(const std::string& path, std::string& text);
// Phone-book entry names compare without regard to case, as the platform's do.
const TSimEntry* FindSimEntry(const TSimConfig& config, const char* name);

// The folder of a file path, with its trailing backslash.
std::string SimFolderOf(const std::string& path);
// RASSIM_CONFIG, else rassim.ini in the given folder.
std::string SimConfigPath(const std::string& moduleFolder);
// RASSIM_STATE, else rassim.state beside the configuration file.
std::string SimStatePath(const std::string& moduleFolder);
std::string SimEnvironment(const char* name); // empty when unset
