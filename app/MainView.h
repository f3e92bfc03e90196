#pragma once
// What the connection controller may do to the main window: a narrow interface that the main
// window owns and hands to the controller when it is created (AttachMainView), so that the
// controller never reaches for the window's own controls.
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
    HWND Window; // owns the password window; gets the posted reports and commands
    void (*SetTitle)(const char* title);
    void (*EnableConnect)(bool enabled);    // the Connect button and the tray menu's item
    void (*EnableDisconnect)(bool enabled); // the Disconnect button and the tray menu's item
    void (*ShrinkToTray)();                 // nothing when already in the tray
    void (*Tell)(TTrayNews news, const char* text); // a balloon, only while in the tray
};
