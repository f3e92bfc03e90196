#pragma once
// The controller's port: everything the connection controller does to the outside goes through
// this one interface, which the main window implements and attaches (AttachMainView). The
// controller includes no window module and never reaches for the window's own controls.
#include <windows.h>

#include <cstdint>

// Command ids shared by the menus, the buttons, the tray menu and the controller.
constexpr UINT CmdExit = 3072;
constexpr UINT CmdSettings = 3073;
constexpr UINT CmdHelpContents = 3074;
constexpr UINT CmdAbout = 3075;
constexpr UINT CmdConnect = 3076;
constexpr UINT CmdDisconnect = 3077;
constexpr UINT CmdRestore = 3078;

// What a user with the window out of sight is told, from the tray.
enum class TTrayNews : uint8_t { LineLost, Connected, RedialStopped };

struct TMainView {
    void (*Title)(const char* title);
    void (*ConnectEnabled)(bool enabled);    // the Connect button and the tray menu's item
    void (*DisconnectEnabled)(bool enabled); // the Disconnect button and the tray menu's item
    void (*ToTray)();                        // nothing when already in the tray
    void (*Tell)(TTrayNews news, const char* text); // a balloon, only while in the tray
    void (*StatusLine)(const char* text);           // appended to the status log
    // Runs the password window, which stores what was typed; true when it was closed with OK.
    bool (*AskCredentials)();
    // Queues a message for the window thread, from any thread: DialReportMessage comes back as
    // OnDialReport, WM_COMMAND CmdDisconnect as Disconnect.
    void (*Post)(UINT message, WPARAM wParam, LPARAM lParam);
};
