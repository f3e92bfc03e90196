#pragma once
// The command line's switches, and one running copy per program folder: a second start hands its
// switches to the copy already running from the same folder instead of opening a window.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

enum class TSwitch : uint8_t { Connect = 1, Disconnect = 2, Tray = 3, Exit = 4, Usage = 5 };

struct TCommandLine {
    std::vector<TSwitch> Switches; // in the order given
    std::string Unknown;           // the first argument that is no known switch
};

constexpr char UsageCaption[] = "Tovane - Usage";
extern const char UsageText[];
constexpr int BadSwitchExitCode = 2;
constexpr int NoAnswerExitCode = 1;
constexpr DWORD HandoverTimeoutMs = 5000;

// The switches after the program's name, as GetCommandLineA gives the whole line.
TCommandLine ParseCommandLine(const char* commandLine);
bool HasSwitch(const TCommandLine& line, TSwitch which);
std::string UnknownSwitchText(const std::string& argument);

// The name of the object that marks a folder as taken, in the session's namespace.
std::string FolderObjectName(const std::string& folder);

enum class THandover : uint8_t { Claimed, HandedOver, NoAnswer };
// Takes the folder for this process, or hands the switches to the copy that has it (none: bring
// it to the front). NoAnswer when that copy did not take them within the time.
THandover ClaimFolderOrHandOver(const std::string& folder, const std::vector<TSwitch>& switches,
                                DWORD timeoutMs = HandoverTimeoutMs);
// Makes the window the one that later starts from this folder hand their switches to.
void PublishMainWindow(HWND window);
void ReleaseFolder();
// The switches of a handover; false when the data is not one (the window ignores it).
bool ReadHandover(const COPYDATASTRUCT* data, std::vector<TSwitch>& switches);
