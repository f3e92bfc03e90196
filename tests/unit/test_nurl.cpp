// The link control: its size, cursor, keys, clicks, focus rectangle and record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "common/NCommon.h"
#include "controls/NURL.h"
#include "support/Pixels.h"
#include "support/Harness.h"
#include "support/Heap.h" // every heap block counted: the link's record comes and goes

namespace {

HFONT MakeFont(int height, bool underline) {
    return CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, underline, FALSE, ANSI_CHARSET, 0, 0,
                       PROOF_QUALITY, FF_SWISS, "MS Sans Serif");
}

SIZE TextSize(HFONT font, const char* text) {
    WindowDC dc(nullptr);
    SelectGuard selected(dc.Get(), font);
    SIZE size = {};
    GetTextExtentPoint32A(dc.Get(), text, static_cast<int>(std::strlen(text)), &size);
    return size;
}

constexpr char Address[] = "http://tovane.example.org/";
constexpr COLORREF Red = RGB(255, 0, 0);

// One parent and one link for the suite: destroying focused windows is slow under Wine.
class Link : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitShared();
        RegisterLinkControl();
        parent = CreateWindowExA(0, TestClass("TestLinkParent"), "links",
                                 WS_OVERLAPPEDWINDOW | WS_VISIBLE, 30, 30, 400, 200, nullptr,
                                 nullptr, nullptr, nullptr);
        smallFont = MakeFont(11, true);
        bigFont = MakeFont(24, false);
        link = CreateLinkControl(parent, 20, 30, Address, smallFont, Red);
        PumpMessages(100);
    }
    static void TearDownTestSuite() {
        DestroyWindow(parent);
        DeleteObject(smallFont);
        DeleteObject(bigFont);
        DoneShared();
    }
    void SetUp() override { SetFocus(parent); }
    BrowserStarts browser;

    static HWND parent, link;
    static HFONT smallFont, bigFont;
};
HWND Link::parent = nullptr;
HWND Link::link = nullptr;
HFONT Link::smallFont = nullptr;
HFONT Link::bigFont = nullptr;

TEST_F(Link, IsExactlyTheSizeOfItsTextInItsFontAtItsPoint) {
    ASSERT_NE(nullptr, link);
    HWND big = CreateLinkControl(parent, 5, 100, "Wide", bigFont, Red);
    ASSERT_GT(TextSize(bigFont, "Wide").cy, TextSize(smallFont, Address).cy);
    for (auto [control, font, text] :
         {std::tuple{link, smallFont, Address}, std::tuple{big, bigFont, "Wide"}}) {
        const SIZE size = TextSize(font, text);
        const RECT expected = control == link ? RECT{20, 30, 20 + size.cx, 30 + size.cy}
                                              : RECT{5, 100, 5 + size.cx, 100 + size.cy};
        EXPECT_EQ(expected, BoxInParent(control)) << text;
    }
    DestroyWindow(big);
}

TEST_F(Link, IsAVisibleTabStopChildOfItsClassThatWantsCharactersUnderTheHandCursor) {
    char name[64] = {};
    GetClassNameA(link, name, sizeof name);
    EXPECT_STREQ("TovaneURLClass", name);
    LONG style = GetWindowLongA(link, GWL_STYLE);
    EXPECT_EQ(DWORD(WS_CHILD | WS_VISIBLE | WS_TABSTOP), DWORD(style) & 0xFFFF0000u);
    EXPECT_TRUE(GetWindowLongA(link, GWL_EXSTYLE) & WS_EX_NOPARENTNOTIFY);
    EXPECT_EQ(0, GetDlgCtrlID(link));
    EXPECT_EQ(0, GetWindowTextLengthA(link));
    EXPECT_EQ(DLGC_WANTCHARS, SendMessageA(link, WM_GETDLGCODE, 0, 0));
    ASSERT_NE(nullptr, HandCursor);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(HandCursor), GetClassLongPtrA(link, GCLP_HCURSOR));
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    SendMessageA(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(HandCursor, GetCursor());
}

// Keys typed on the keyboard: the system sends them to the focused window, translated.
void Type(std::initializer_list<WORD> keys) {
    TypeKeys(keys);
    PumpMessages(100);
}

TEST_F(Link, ReleasingTheLeftButtonOrSpaceWhileFocusedOpensItsOwnTextAndNothingElseDoes) {
    SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    EXPECT_TRUE(browser.Opened().empty()) << "the press alone must not open";
    EXPECT_EQ(parent, GetFocus()) << "the click does not take the focus";
    SendMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    ASSERT_EQ(1u, browser.Opened().size());
    SendMessageA(link, WM_RBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(1u, browser.Opened().size());

    SetForegroundWindow(parent);
    Type({VK_SPACE});
    EXPECT_EQ(1u, browser.Opened().size()) << "Space while the parent has the focus";
    SetFocus(link);
    Type({'A', VK_RETURN, VK_ESCAPE, VK_TAB});
    EXPECT_EQ(1u, browser.Opened().size());
    Type({VK_SPACE});
    ASSERT_EQ(2u, browser.Opened().size());
    for (const std::string& opened : browser.Opened())
        EXPECT_EQ(Address, opened);
}

TEST_F(Link, PaintsItsTextInItsColourOnTheButtonFace) {
    InvalidateRect(link, nullptr, TRUE);
    UpdateWindow(link);
    Capture c = CaptureClient(link);
    ASSERT_GT(c.Width, 0);
    int face = 0, ink = 0, other = 0;
    for (COLORREF p : c.Data) {
        if (p == ColorBtnFace) {
            ++face;
        } else if (GetRValue(p) > GetGValue(p) && GetGValue(p) == GetBValue(p)) {
            ++ink; // red or red blended into the grey face
        } else {
            ++other;
        }
    }
    EXPECT_GT(ink, 20);
    EXPECT_GT(face, ink);
    EXPECT_EQ(0, other);
    // Underlined font: the bottom rows carry a line of ink across the text.
    int underline = 0;
    for (int y = c.Height - 3; y < c.Height; ++y) {
        int run = 0;
        for (int x = 0; x < c.Width; ++x)
            run += c.At(x, y) != ColorBtnFace;
        underline = std::max(underline, run);
    }
    EXPECT_GT(underline, c.Width * 3 / 4);
}

TEST_F(Link, TheFocusRectangleComesAndGoesWithTheFocusAlsoAfterARepaint) {
    InvalidateRect(link, nullptr, TRUE);
    UpdateWindow(link);
    Capture before = CaptureClient(link);
    SetFocus(link);
    Capture focused = CaptureClient(link);
    // Repainted while focused: the text covers the rectangle, which must come back with it.
    InvalidateRect(link, nullptr, TRUE);
    UpdateWindow(link);
    Capture repainted = CaptureClient(link);
    SetFocus(parent);
    Capture after = CaptureClient(link);

    ASSERT_EQ(before.Data.size(), focused.Data.size());
    int changedOnEdge = 0, changedInside = 0;
    for (int y = 0; y < before.Height; ++y) {
        for (int x = 0; x < before.Width; ++x) {
            if (before.At(x, y) == focused.At(x, y)) continue;
            bool edge = x == 0 || y == 0 || x == before.Width - 1 || y == before.Height - 1;
            ++(edge ? changedOnEdge : changedInside);
        }
    }
    // A dotted rectangle along the outer pixels: every other one of them.
    EXPECT_GT(changedOnEdge, before.Width / 2);
    EXPECT_EQ(0, changedInside);
    EXPECT_EQ(focused.Data, repainted.Data);
    EXPECT_EQ(before.Data, after.Data) << "no rectangle left on the unfocused link";
}

TEST_F(Link, TheRecordIsFreedWithTheControlAndKeptByNoFailedCreation) {
    long live = LiveBlocks;
    for (int i = 0; i < 20; ++i) {
        HWND extra = CreateLinkControl(parent, 0, 150, "x", smallFont, Red);
        ASSERT_NE(nullptr, extra);
        EXPECT_EQ(live + 1, LiveBlocks);
        DestroyWindow(extra);
        EXPECT_EQ(live, LiveBlocks);
    }
    // A child window without a parent cannot be made: no record kept either.
    EXPECT_EQ(nullptr, CreateLinkControl(nullptr, 0, 0, Address, smallFont, Red));
    EXPECT_EQ(live, LiveBlocks);
}

} // namespace
