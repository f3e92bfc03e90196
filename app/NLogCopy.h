#pragma once
// Copying the status log to the clipboard, and the strip's small menu that offers it.
#include <windows.h>

#include <cstdint>

// Menu items; chosen with TPM_RETURNCMD, so they never arrive as WM_COMMAND.
constexpr UINT CmdCopyLog = 3080;
constexpr UINT CmdCopyVisible = 3081;

// Lines first..first+count-1 (clamped to the log), joined by CR LF, as CF_TEXT with the
// locale of the ANSI code page as CF_LOCALE. The log is left as it was. False when nothing
// could be put on the clipboard (no memory, or another program holds it open).
bool CopyStatusLines(HWND owner, int32_t first, int32_t count);
// The menu at a point on the screen; x and y -1 (the keyboard's request) place it at the
// strip's top left corner.
void ShowLogMenu(HWND owner, int x, int y);
