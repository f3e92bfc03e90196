#pragma once
// The shared drawing objects and paths, and the window-class helpers; this header also brings
// in the rest of the shared services: heap strings, geometry and display scale, the settings
// store, the modal loop and the shell helpers. Everything here runs on the window thread.
#include <windows.h>

#include <string>

#include "common/NGeometry.h"
#include "common/NModal.h"
#include "common/NSettings.h"
#include "common/NShell.h"
#include "common/NString.h"

// ---- Shared objects, set by InitShared ---------------------------------------------------

extern HCURSOR HandCursor;
extern HICON MainIcon;
extern HFONT GuiFont;
extern HBRUSH BtnFaceBrush;
extern COLORREF ColorBtnFace, ColorBtnShadow, ColorBtnHighlight, ColorBtnText;

extern std::string ProgramFolder; // executable's folder with a trailing backslash
extern std::string HelpFile;

// Loads the cursor and icon, reads metrics, colours and the display scale, and works out the
// paths; DoneShared frees what InitShared loaded and the settings' strings.
void InitShared();
void DoneShared();

// ---- Window classes and painting ----------------------------------------------------------

// Registers a program class: arrow cursor, no background brush (each window paints all of its
// client area), no menu, and the given icon (usually none).
void RegisterProgramClass(const char* name, WNDPROC procedure, HICON icon = nullptr);
// Fills the client area, one pixel wider and taller, with the button face.
void FillClientFace(HWND window, HDC dc);
