#pragma once
// The pattern the secondary windows (settings, password, about) share. Each is built hidden on
// demand, owned by the window that opens it, and run with RunModal by the caller. Its place
// is kept for the run and never saved: it opens centred over its owner until the user moves
// it, and always inside the work area. Its layout is numbers at 96 dpi, scaled from that base
// at each set-up, so never twice. Closing enables the owner before the window goes, so that
// activation returns to the owner. Tab walks a table of its controls.
#include <windows.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "common/NCommon.h"

struct TSecondaryWindow {
    const char* ClassName;
    WNDPROC Procedure;
    WindowBox Place;       // outer place; its size comes from the layout
    bool Moved = false;    // set by the window's WM_MOVE, cleared when the owner moves
    HWND Window = nullptr; // the one open window of the kind
};

// Registers the class (a second time is harmless), takes the scaled outer size, and puts the
// window on the list that ForgetSecondaryMoves clears.
void SetupSecondary(TSecondaryWindow& window, IntPair size);
// Builds the window hidden, over its owner unless the user moved it, inside the work area, with
// a system menu of Move and Close only. Null when it cannot be made or one is open already.
HWND CreateSecondary(TSecondaryWindow& window, HWND owner, const char* caption);
void SecondaryMoved(TSecondaryWindow& window); // its WM_MOVE
// Its WM_DESTROY: the place is remembered for the next opening.
void SecondaryDestroyed(TSecondaryWindow& window, HWND destroyed);
// Ends this window's modal loop with the result (the owner enabled again), then destroys it.
void CloseSecondary(HWND closing, int result);
// The owner moved: every secondary window opens over it again.
void ForgetSecondaryMoves();

// A layout made only of 32-bit numbers (boxes, points, sizes), scaled from its 96-dpi base the
// way ScaleBox rounds each number; the base itself when no scaling is needed.
template <typename Layout> void ScaleLayout(const Layout& base, Layout& layout) {
    static_assert(std::is_trivially_copyable_v<Layout> && sizeof(Layout) % sizeof(int32_t) == 0);
    std::array<int32_t, sizeof(Layout) / sizeof(int32_t)> numbers;
    std::memcpy(numbers.data(), &base, sizeof(Layout));
    if (DpiScaling)
        for (int32_t& n : numbers)
            n = ScaleValue(n);
    std::memcpy(&layout, numbers.data(), sizeof(Layout));
}

// The set-up of a window whose layout (starting with its outer size, WindowSize) is scaled
// from its 96-dpi base.
template <typename Layout>
void SetupSecondary(TSecondaryWindow& window, const Layout& base, Layout& layout) {
    ScaleLayout(base, layout);
    SetupSecondary(window, layout.WindowSize);
}

// Moves the focus one step along the table of controls, round and round (backwards for
// Shift+Tab). From a control outside the table Tab goes to entry and Shift+Tab to backEntry.
// Returns the control given the focus.
HWND MoveTabFocus(HWND* const* cycle, int count, bool backwards, HWND entry, HWND backEntry);
template <size_t N>
HWND MoveTabFocus(HWND* const (&cycle)[N], bool backwards, HWND entry, HWND backEntry) {
    return MoveTabFocus(cycle, static_cast<int>(N), backwards, entry, backEntry);
}

// The face of a form: the client area in the button face, the labels in the shared font, and
// the etched separator's top edge (its box holds left, top, right and bottom for DrawEdge).
void PaintForm(HWND window, HDC dc, const IntPair* at, const char* const* texts, int count,
               const WindowBox& separator);
// A user name or password edit: 100 characters at most, in the shared font.
HWND CreateCredentialEdit(HWND parent, const char* text, bool password, const WindowBox& box);
