#include "windows/NSecondary.h"

#include <vector>

#include "common/NGdi.h"

static constexpr DWORD SecondaryExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
static constexpr DWORD SecondaryStyle = WS_CAPTION | WS_SYSMENU; // built hidden
static_assert(SecondaryExStyle == 0x00010001 && SecondaryStyle == 0x00C80000);
static constexpr UINT RemovedSystemCommands[] = {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE};

static constexpr DWORD EditExStyle = WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY;
static constexpr DWORD EditStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
static_assert(EditStyle == 0x50010080 && (EditStyle | ES_PASSWORD) == 0x500100A0 &&
              EditExStyle == 0x204);
static constexpr WPARAM CredentialLimit = 100; // characters in each edit

static std::vector<TSecondaryWindow*> Known;

void SetupSecondary(TSecondaryWindow& window, IntPair size) {
    RegisterProgramClass(window.ClassName, window.Procedure);
    window.Place.Width = size.X;
    window.Place.Height = size.Y;
    for (TSecondaryWindow* known : Known)
        if (known == &window) return;
    Known.push_back(&window);
}

HWND CreateSecondary(TSecondaryWindow& window, HWND owner, const char* caption) {
    // One at a time: the controls and the place belong to the window that is open.
    if (window.Window && IsWindow(window.Window)) return nullptr;
    if (!window.Moved) AlignToOwner(owner, window.Place);
    ClampToWorkArea(window.Place);
    const WindowBox place = window.Place;
    HWND created = CreateWindowExA(SecondaryExStyle, window.ClassName, caption, SecondaryStyle,
                                   place.Left, place.Top, place.Width, place.Height, owner, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    if (!created) return nullptr;
    window.Window = created;
    HMENU menu = GetSystemMenu(created, FALSE);
    for (UINT command : RemovedSystemCommands)
        DeleteMenu(menu, command, MF_BYCOMMAND);
    return created;
}

void SecondaryMoved(TSecondaryWindow& window) {
    window.Moved = true;
}

void SecondaryDestroyed(TSecondaryWindow& window, HWND destroyed) {
    RECT r = {};
    GetWindowRect(destroyed, &r);
    window.Place = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    if (window.Window == destroyed) window.Window = nullptr;
}

void CloseSecondary(HWND closing, int result) {
    EndModal(closing, result);
    DestroyWindow(closing);
}

void ForgetSecondaryMoves() {
    for (TSecondaryWindow* known : Known)
        known->Moved = false;
}

HWND MoveTabFocus(HWND* const* cycle, int count, bool backwards, HWND entry, HWND backEntry) {
    HWND focus = GetFocus();
    HWND next = backwards ? backEntry : entry;
    for (int i = 0; i < count; ++i) {
        if (*cycle[i] != focus) continue;
        next = *cycle[(i + (backwards ? count - 1 : 1)) % count];
        break;
    }
    SetFocus(next);
    return next;
}

void PaintForm(HWND window, HDC dc, const IntPair* at, const char* const* texts, int count,
               const WindowBox& separator) {
    FillClientFace(window, dc);
    SelectGuard font(dc, GuiFont);
    SetBkColor(dc, ColorBtnFace);
    SetTextColor(dc, ColorBtnText);
    SetBkMode(dc, OPAQUE);
    for (int i = 0; i < count; ++i)
        ExtTextOutA(dc, at[i].X, at[i].Y, 0, nullptr, texts[i],
                    static_cast<UINT>(std::strlen(texts[i])), nullptr);
    RECT edge = {separator.Left, separator.Top, separator.Width, separator.Height};
    DrawEdge(dc, &edge, EDGE_ETCHED, BF_TOP);
}

HWND CreateCredentialEdit(HWND parent, const char* text, bool password, const WindowBox& box) {
    HWND edit = CreateWindowExA(
        EditExStyle, "EDIT", text ? text : "", EditStyle | (password ? ES_PASSWORD : 0), box.Left,
        box.Top, box.Width, box.Height, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont), FALSE);
    SendMessageA(edit, EM_LIMITTEXT, CredentialLimit, 0);
    return edit;
}
