#pragma once
// The settings store: the one settings object, read from and written to Tovane.dat.
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/NGeometry.h"

#pragma pack(push, 1)
// Held in memory exactly as stored at the start of Tovane.dat.
struct SettingsRecord {
    uint8_t SimpleStatus;
    uint8_t AutoReconnect;
    uint8_t ShrinkWhenConnected;
    uint8_t AlwaysOnTop;
    WindowBox WindowRect;
};
#pragma pack(pop)

// The record fields are reachable directly (Settings.AutoReconnect); the strings are null when
// absent, else heap copies owned here (NewString/FreeString).
struct TSettings : SettingsRecord {
    char* ConnectionName;
    char* UserName;
    char* Password;
};

extern TSettings Settings;
extern char* SessionPassword; // typed in the password window; never saved
extern bool LoadFailed;       // LoadSettings fell back to the defaults
extern std::string SettingsFile;
constexpr IntPair BaseWindowSize = {282, 165}; // the defaults' window size at 96 dpi
extern IntPair DefaultWindowSize;              // the same at the display's scale

// Neither raises: a failure falls back to the defaults (load) or leaves Tovane.dat as it was
// (save), and a problem box tells the user.
void LoadSettings();
void SaveSettings();
// Frees the strings of Settings and the session password (the passwords wiped).
void FreeSettingsStrings();

constexpr char ProblemCaption[] = "Tovane - Problem";
constexpr UINT ProblemStyle = MB_OK | MB_ICONEXCLAMATION;

// Shows the store's problem boxes; the program's is MessageBoxA with no owner, and tests
// replace it to capture caption, text and style.
extern int (*ShowProblemBox)(const char* text, const char* caption, UINT style);
int MessageBoxProblem(const char* text, const char* caption, UINT style);
