#pragma once
// What the about window must look like, worked out independently of the window's own code: its
// layout at 96 and at 120 dots per inch, and a drawing of its client area from the texts the
// build tool enciphered. Shared by the about window's tests at both scales.
#include <windows.h>

#include <string>

#include "AboutTextsCheck.inc"
#include "common/NCommon.h"
#include "support/Pixels.h"

struct ExpectedLayout {
    SIZE Window;
    RECT Frames[2];
    POINT Icon;
    POINT Fields[7]; // the last one is the link
    RECT Close;      // left, top, width, height
};

// 96 dots per inch: the design.
constexpr ExpectedLayout LayoutAt96 = {
    {380, 155},         {{5, 5, 161, 95}, {167, 5, 370, 95}},
    {16, 11},           {{54, 8}, {83, 38}, {83, 57}, {83, 75}, {268, 9}, {268, 40}, {180, 74}},
    {295, 101, 75, 25},
};

// 120 dots per inch: every number times 1.25, halves to the even neighbour.
constexpr ExpectedLayout LayoutAt120 = {
    {475, 194},
    {{6, 6, 201, 119}, {209, 6, 462, 119}},
    {20, 14},
    {{68, 10}, {104, 48}, {104, 71}, {104, 94}, {335, 11}, {335, 50}, {225, 92}},
    {369, 126, 94, 31},
};

struct ExpectedField {
    int Offset;
    int Shown; // 0: up to the terminator
    const char* Face;
    int Height; // never scaled
    int Weight;
    bool Italic;
    bool Underline;
    BYTE Family;
    COLORREF Color;
    bool Centred;
};

constexpr COLORREF ExpectedNavy = RGB(0, 0, 128);
constexpr COLORREF ExpectedTeal = RGB(0, 128, 128);

constexpr ExpectedField ExpectedFields[7] = {
    {0, 6, "MS Sans Serif", 32, 700, false, false, FF_SWISS, ExpectedNavy, false},
    {8, 8, "MS Sans Serif", 16, 700, false, false, FF_SWISS, ExpectedNavy, true},
    {24, 11, "MS Sans Serif", 13, 400, false, false, FF_SWISS, ExpectedNavy, true},
    {40, 26, "MS Sans Serif", 5, 400, false, false, FF_SWISS, ExpectedNavy, true},
    {72, 9, "Courier New", 32, 400, true, false, FF_MODERN, ExpectedTeal, true},
    {88, 8, "Courier New", 32, 400, true, false, FF_MODERN, ExpectedTeal, true},
    {104, 0, "MS Sans Serif", 11, 400, false, true, FF_SWISS, ExpectedTeal, false},
};

inline const char* ExpectedText(int field) {
    return reinterpret_cast<const char*>(CheckPlainFields + ExpectedFields[field].Offset);
}

inline int ExpectedLength(int field) {
    const ExpectedField& f = ExpectedFields[field];
    return f.Shown ? f.Shown : static_cast<int>(std::string(ExpectedText(field)).size());
}

inline HFONT ExpectedFont(int field) {
    const ExpectedField& f = ExpectedFields[field];
    return CreateFontA(-f.Height, 0, 0, 0, f.Weight, f.Italic, f.Underline, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, f.Family, f.Face);
}

struct ExpectedDrawing {
    const ExpectedLayout* Layout;
    int OnlyField; // -1: the whole client area; else that one text alone
};

inline void DrawExpectedField(HDC dc, const ExpectedLayout& layout, int i) {
    const ExpectedField& f = ExpectedFields[i];
    HFONT font = ExpectedFont(i);
    HGDIOBJ previous = SelectObject(dc, font);
    SetTextAlign(dc, f.Centred ? TA_CENTER | TA_TOP : TA_LEFT | TA_TOP);
    SetTextColor(dc, f.Color);
    SetBkColor(dc, ColorBtnFace);
    ExtTextOutA(dc, layout.Fields[i].x, layout.Fields[i].y, 0, nullptr, ExpectedText(i),
                static_cast<UINT>(ExpectedLength(i)), nullptr);
    SelectObject(dc, previous);
    DeleteObject(font);
}

inline void DrawExpected(HDC dc, void* context) {
    const auto* what = static_cast<const ExpectedDrawing*>(context);
    const ExpectedLayout& layout = *what->Layout;
    if (what->OnlyField >= 0) {
        DrawExpectedField(dc, layout, what->OnlyField);
        return;
    }
    for (RECT frame : layout.Frames)
        DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    DrawIcon(dc, layout.Icon.x, layout.Icon.y, MainIcon);
    for (int i = 0; i < 7; ++i)
        DrawExpectedField(dc, layout, i);
}

// The client area as it must look, the Close button aside (a control of its own).
inline Capture ExpectedClient(const ExpectedLayout& layout, int width, int height) {
    ExpectedDrawing what = {&layout, -1};
    return CaptureDrawing(width, height, ColorBtnFace, DrawExpected, &what);
}

// Where one text puts ink (pixels other than the face), drawn alone.
inline RECT ExpectedInk(const ExpectedLayout& layout, int field, int width, int height) {
    ExpectedDrawing what = {&layout, field};
    Capture c = CaptureDrawing(width, height, ColorBtnFace, DrawExpected, &what);
    RECT ink = {width, height, -1, -1};
    for (int y = 0; y < c.Height; ++y) {
        for (int x = 0; x < c.Width; ++x) {
            if (c.At(x, y) == ColorBtnFace) continue;
            if (x < ink.left) ink.left = x;
            if (y < ink.top) ink.top = y;
            if (x > ink.right) ink.right = x;
            if (y > ink.bottom) ink.bottom = y;
        }
    }
    return ink;
}

// ---- Checks shared by both scales ---------------------------------------------------------

#include <gtest/gtest.h>

inline RECT ChildBox(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

inline SIZE ExpectedLinkSize() {
    WindowDC dc(nullptr);
    GdiObject<HFONT> font(ExpectedFont(6));
    SelectGuard selected(dc.Get(), font.Get());
    SIZE size = {};
    GetTextExtentPoint32A(dc.Get(), ExpectedText(6), ExpectedLength(6), &size);
    return size;
}

// Size of the window, place and size of the link and the Close button.
inline void CheckGeometry(HWND about, const ExpectedLayout& layout) {
    RECT outer;
    GetWindowRect(about, &outer);
    EXPECT_EQ(layout.Window.cx, outer.right - outer.left);
    EXPECT_EQ(layout.Window.cy, outer.bottom - outer.top);

    HWND link = FindWindowExA(about, nullptr, "TovaneURLClass", nullptr);
    ASSERT_NE(nullptr, link);
    SIZE text = ExpectedLinkSize();
    RECT box = ChildBox(link);
    EXPECT_EQ(layout.Fields[6].x, box.left);
    EXPECT_EQ(layout.Fields[6].y, box.top);
    EXPECT_EQ(text.cx, box.right) << "link width";
    EXPECT_EQ(text.cy, box.bottom) << "link height: its font is never scaled";

    HWND close = GetDlgItem(about, 1);
    ASSERT_NE(nullptr, close);
    box = ChildBox(close);
    EXPECT_EQ(layout.Close.left, box.left);
    EXPECT_EQ(layout.Close.top, box.top);
    EXPECT_EQ(layout.Close.right, box.right) << "button width";
    EXPECT_EQ(layout.Close.bottom, box.bottom) << "button height";
}

// The client area pixel for pixel against the expected drawing, the Close button aside.
inline void CheckPainting(HWND about, const ExpectedLayout& layout) {
    InvalidateRect(about, nullptr, TRUE);
    UpdateWindow(about);
    HWND link = FindWindowExA(about, nullptr, "TovaneURLClass", nullptr);
    if (link) UpdateWindow(link);
    Capture shown = CaptureClient(about);
    ASSERT_GT(shown.Width, 0);
    Capture expected = ExpectedClient(layout, shown.Width, shown.Height);
    RECT close = ChildBox(GetDlgItem(about, 1));
    int different = 0;
    POINT first = {-1, -1};
    for (int y = 0; y < shown.Height; ++y) {
        for (int x = 0; x < shown.Width; ++x) {
            if (x >= close.left && x < close.left + close.right && y >= close.top &&
                y < close.top + close.bottom)
                continue;
            if (shown.At(x, y) == expected.At(x, y)) continue;
            if (!different++) first = {x, y};
        }
    }
    EXPECT_EQ(0, different) << "first at (" << first.x << ", " << first.y << ")";
}

// The texts chosen fit their frames: ink only inside the frame's etched lines, and the name
// right of the icon.
inline void CheckTextsInsideFrames(const ExpectedLayout& layout) {
    for (int field = 0; field < 7; ++field) {
        SCOPED_TRACE(field);
        RECT frame = layout.Frames[field < 4 ? 0 : 1];
        RECT ink = ExpectedInk(layout, field, layout.Window.cx, layout.Window.cy);
        ASSERT_GE(ink.right, ink.left) << "nothing drawn";
        EXPECT_GE(ink.left, field == 0 ? layout.Icon.x + 32 : frame.left + 2);
        EXPECT_GE(ink.top, frame.top + 2);
        EXPECT_LE(ink.right, frame.right - 3) << "ink " << ink.left << " to " << ink.right;
        if (field == 0) ::testing::Test::RecordProperty("name ink width", ink.right - ink.left + 1);
        EXPECT_LE(ink.bottom, frame.bottom - 3);
    }
}
