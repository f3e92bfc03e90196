#pragma once
// The secondary windows' designs at 96 dots per inch, checked at any scale. What the about
// window's painting must satisfy, watched as it paints: it draws the build tool's plain texts in
// the design's font heights (never scaled), and every text's ink stays inside its frame, the
// name's clear of the icon.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AboutTextsCheck.inc"
#include "common/NCommon.h"
#include "support/Harness.h"
#include "support/Pixels.h"

constexpr SIZE AboutSize = {380, 155};
constexpr POINT AboutLinkAt = {180, 74};
constexpr RECT AboutCloseBox = {295, 101, 75, 25};               // x, y, width, height
constexpr int AboutFontHeights[7] = {32, 16, 13, 5, 32, 32, 11}; // the last, the link's

// A design length at 120 dots per inch: times 1.25, halves to the even neighbour.
inline int At120(int length) {
    int quarter = length * 5; // in quarters of a pixel
    int whole = quarter / 4, rest = quarter % 4;
    return whole + (rest > 2 || (rest == 2 && whole % 2 == 1));
}
inline int At96(int length) {
    return length;
}

// Outer sizes, and every control's box (x, y, width, height) in creation order: the settings
// window's list, user name, password, four check boxes, OK, Cancel and Help; the password
// window's user name, password, OK and Cancel.
constexpr SIZE SettingsSize = {359, 153}, PasswordSize = {213, 109};
constexpr RECT SettingsBoxes[] = {{4, 19, 200, 80},   {4, 62, 96, 21},    {107, 62, 96, 21},
                                  {213, 11, 140, 17}, {213, 30, 140, 17}, {213, 49, 140, 17},
                                  {213, 68, 140, 17}, {110, 99, 75, 25},  {192, 99, 75, 25},
                                  {274, 99, 75, 25}};
constexpr RECT PasswordBoxes[] = {
    {4, 19, 96, 21}, {107, 19, 96, 21}, {46, 55, 75, 25}, {128, 55, 75, 25}};

// The window's size and its controls' boxes at the scale; a list's height is the font's.
template <size_t N>
void CheckDesign(HWND window, SIZE size, const RECT (&boxes)[N], int (*scale)(int)) {
    EXPECT_EQ(scale(size.cx), SizeOf(window).cx);
    EXPECT_EQ(scale(size.cy), SizeOf(window).cy);
    const std::vector<HWND> controls = ChildrenOf(window);
    ASSERT_EQ(N, controls.size());
    for (size_t i = 0; i < N; ++i) {
        std::vector<int> want = {scale(boxes[i].left), scale(boxes[i].top), scale(boxes[i].right),
                                 scale(boxes[i].bottom)},
                         place = PlaceOf(controls[i]);
        if (ClassOf(controls[i]) == "ComboBox") want[3] = place[3];
        EXPECT_EQ(want, place) << i << " " << TextOf(controls[i]);
    }
}

// The plain texts, in order, as the build tool wrote them: the zero-padded fields.
inline std::vector<std::string> PlainAboutTexts() {
    std::vector<std::string> texts;
    const char* plain = reinterpret_cast<const char*>(CheckPlainFields);
    for (size_t at = 0; at < sizeof CheckPlainFields; ++at)
        if (plain[at] && (at == 0 || !plain[at - 1])) texts.push_back(plain + at);
    return texts;
}

struct AboutDrawn {
    HWND Window;
    std::string Text;
    POINT At;
    UINT Align;
    COLORREF Color;
    LOGFONTA Font;
};
inline HWND AboutPainting = nullptr, AboutLinkPainting = nullptr;
inline std::vector<AboutDrawn> AboutTextsDrawn;
inline std::vector<RECT> AboutFramesDrawn;
inline POINT AboutIconAt = {-1, -1};
// The system's functions: this program's own calls go through the replaced imports.
inline decltype(&ExtTextOutA) SystemExtTextOut = nullptr;
inline decltype(&DrawEdge) SystemDrawEdge = nullptr;
inline decltype(&DrawIcon) SystemDrawIcon = nullptr;

inline BOOL WINAPI RecordText(HDC dc, int x, int y, UINT options, const RECT* clip, LPCSTR text,
                              UINT n, const INT* dx) {
    HWND window = WindowFromDC(dc);
    if (window && (window == AboutPainting || window == AboutLinkPainting)) {
        AboutDrawn d = {window,           std::string(text, n), {x, y},
                        GetTextAlign(dc), GetTextColor(dc),     {}};
        GetObjectA(GetCurrentObject(dc, OBJ_FONT), sizeof d.Font, &d.Font);
        AboutTextsDrawn.push_back(d);
    }
    return SystemExtTextOut(dc, x, y, options, clip, text, n, dx);
}
inline BOOL WINAPI RecordEdge(HDC dc, RECT* r, UINT edge, UINT flags) {
    if (WindowFromDC(dc) == AboutPainting) AboutFramesDrawn.push_back(*r);
    return SystemDrawEdge(dc, r, edge, flags);
}
inline BOOL WINAPI RecordIcon(HDC dc, int x, int y, HICON icon) {
    if (WindowFromDC(dc) == AboutPainting) AboutIconAt = {x, y};
    return SystemDrawIcon(dc, x, y, icon);
}

// Repaints the window with its drawing calls watched, and checks what it drew.
inline void CheckAboutPainting(HWND about) {
    AboutPainting = about;
    AboutTextsDrawn.clear();
    AboutFramesDrawn.clear();
    SystemExtTextOut = reinterpret_cast<decltype(&ExtTextOutA)>(
        ReplaceImport("gdi32.dll", "ExtTextOutA", reinterpret_cast<void*>(RecordText)));
    SystemDrawEdge = reinterpret_cast<decltype(&DrawEdge)>(
        ReplaceImport("user32.dll", "DrawEdge", reinterpret_cast<void*>(RecordEdge)));
    SystemDrawIcon = reinterpret_cast<decltype(&DrawIcon)>(
        ReplaceImport("user32.dll", "DrawIcon", reinterpret_cast<void*>(RecordIcon)));
    ASSERT_TRUE(SystemExtTextOut && SystemDrawEdge && SystemDrawIcon);
    AboutLinkPainting = FindWindowExA(about, nullptr, "TovaneURLClass", nullptr);
    RedrawWindow(about, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ReplaceImport("gdi32.dll", "ExtTextOutA", reinterpret_cast<void*>(SystemExtTextOut));
    ReplaceImport("user32.dll", "DrawEdge", reinterpret_cast<void*>(SystemDrawEdge));
    ReplaceImport("user32.dll", "DrawIcon", reinterpret_cast<void*>(SystemDrawIcon));
    Capture shown = CaptureClient(about);

    // The deciphered texts are the plain ones, each whole; the link shows the last.
    std::vector<std::string> plain = PlainAboutTexts();
    ASSERT_EQ(7u, plain.size());
    ASSERT_EQ(7u, AboutTextsDrawn.size());
    ASSERT_EQ(2u, AboutFramesDrawn.size());
    EXPECT_EQ(AboutLinkPainting, AboutTextsDrawn[6].Window);
    for (size_t i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        const AboutDrawn& d = AboutTextsDrawn[i];
        EXPECT_EQ(plain[i], d.Text);
        EXPECT_EQ(-AboutFontHeights[i], d.Font.lfHeight) << "font heights are never scaled";
        if (i == 6) break; // the link draws in its own window
        // Its ink: pixels of its colour within its frame; none of that colour outside.
        const RECT& f = AboutFramesDrawn[i < 4 ? 0 : 1];
        int inside = shown.Count(d.Color, f.left + 2, f.top + 2, f.right - 2, f.bottom - 2);
        EXPECT_GT(inside, 20) << "nothing drawn";
    }
    EXPECT_GE(AboutTextsDrawn[0].At.x, AboutIconAt.x + GetSystemMetrics(SM_CXICON))
        << "the name, left-aligned, starts right of the icon";
    std::vector<RECT> children; // the link and the button draw themselves
    for (HWND child : ChildrenOf(about))
        children.push_back(BoxInParent(child));
    std::vector<COLORREF> inks;
    for (const AboutDrawn& d : AboutTextsDrawn)
        if (d.Window == about) inks.push_back(d.Color);
    int outside = 0;
    POINT first = {-1, -1};
    for (int y = 0; y < shown.Height; ++y)
        for (int x = 0; x < shown.Width; ++x) {
            COLORREF c = shown.At(x, y);
            bool ink = false, in = false;
            for (COLORREF i : inks)
                ink = ink || c == i;
            for (const RECT& f : AboutFramesDrawn) // inside its etched lines
                in = in ||
                     (x >= f.left + 2 && y >= f.top + 2 && x < f.right - 2 && y < f.bottom - 2);
            for (const RECT& r : children)
                in = in || (x >= r.left && y >= r.top && x < r.right && y < r.bottom);
            in = in || (x >= AboutIconAt.x && y >= AboutIconAt.y &&
                        x < AboutIconAt.x + GetSystemMetrics(SM_CXICON) &&
                        y < AboutIconAt.y + GetSystemMetrics(SM_CYICON));
            if (ink && !in && !outside++) first = {x, y};
        }
    EXPECT_EQ(0, outside) << "ink outside the frames, first at (" << first.x << ", " << first.y
                          << ")";
}

// Size of the window, place and size of the link and the Close button, at the given scale.
// The painting is checked first: the link's font is taken from it.
inline void CheckAboutGeometry(HWND about, int (*scale)(int)) {
    EXPECT_EQ(scale(AboutSize.cx), SizeOf(about).cx);
    EXPECT_EQ(scale(AboutSize.cy), SizeOf(about).cy);
    HWND link = FindWindowExA(about, nullptr, "TovaneURLClass", nullptr);
    ASSERT_NE(nullptr, link);
    // The link is as large as its text in the font it drew with.
    ASSERT_EQ(7u, AboutTextsDrawn.size()) << "paint it first";
    GdiObject<HFONT> font(CreateFontIndirectA(&AboutTextsDrawn[6].Font));
    WindowDC dc(nullptr);
    SelectGuard selected(dc.Get(), font.Get());
    SIZE text = {};
    const std::string& address = AboutTextsDrawn[6].Text;
    GetTextExtentPoint32A(dc.Get(), address.c_str(), static_cast<int>(address.size()), &text);
    EXPECT_EQ((std::vector<int>{scale(AboutLinkAt.x), scale(AboutLinkAt.y), text.cx, text.cy}),
              PlaceOf(link));
    EXPECT_EQ((std::vector<int>{scale(AboutCloseBox.left), scale(AboutCloseBox.top),
                                scale(AboutCloseBox.right), scale(AboutCloseBox.bottom)}),
              PlaceOf(GetDlgItem(about, 1)));
}
