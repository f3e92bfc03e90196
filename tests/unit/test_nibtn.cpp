// The image button: its class, its drawing read back pixel by pixel, and its click rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/NCommon.h"
#include "controls/NIBtn.h"
#include "support/Pixels.h"
#include "support/Harness.h"

namespace {

constexpr UINT ButtonId = 77;
constexpr int ButtonWidth = 75, ButtonHeight = 25;

struct Command {
    UINT Id;
    UINT Code;
};
std::vector<Command> commands;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: commands.push_back({LOWORD(wParam), HIWORD(wParam)}); return 0;
    case WM_DRAWITEM: DrawImageButton(reinterpret_cast<DRAWITEMSTRUCT*>(lParam)); return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A memory bitmap handed to DrawImageButton as the button's device context.
class Canvas {
  public:
    Canvas(int width, int height)
        : canvas_(width, height), font_(canvas_.Dc(), GuiFont) {
    } // the system button selects its font first

    // Clears to a colour the button never uses, then draws.
    void Draw(HWND button, UINT state, UINT action = ODA_DRAWENTIRE) {
        canvas_.Fill(Sentinel);
        Redraw(button, state, action);
    }
    // Draws over what is there (focus toggling).
    void Redraw(HWND button, UINT state, UINT action) {
        DRAWITEMSTRUCT item = {};
        item.CtlType = ODT_BUTTON;
        item.CtlID = ButtonId;
        item.itemAction = action;
        item.itemState = state;
        item.hwndItem = button;
        item.hDC = canvas_.Dc();
        item.rcItem = {0, 0, Width(), Height()};
        DrawImageButton(&item);
        shown_ = canvas_.Read();
    }
    COLORREF At(int x, int y) const { return shown_.At(x, y); }
    const std::vector<COLORREF>& Pixels() const { return shown_.Data; }
    int Width() const { return canvas_.Width(); }
    int Height() const { return canvas_.Height(); }

    static constexpr COLORREF Sentinel = RGB(255, 0, 255);

  private:
    PixelCanvas canvas_;
    SelectGuard font_;
    Capture shown_;
};

struct Box {
    int Left = INT_MAX, Top = INT_MAX, Right = -1, Bottom = -1;
    int Count = 0;
    void Add(int x, int y) {
        Left = std::min(Left, x);
        Top = std::min(Top, y);
        Right = std::max(Right, x);
        Bottom = std::max(Bottom, y);
        ++Count;
    }
};

// Where the given colour occurs inside the face, inside the two rings.
Box Find(const Canvas& c, COLORREF color) {
    Box box;
    for (int y = 3; y < c.Height() - 3; ++y)
        for (int x = 3; x < c.Width() - 3; ++x)
            if (c.At(x, y) == color) box.Add(x, y);
    return box;
}

class ImageButton : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitShared();
        RegisterImageButton();
        owner = CreateWindowExA(0, TestClass("TestButtonOwner", OwnerProc), "owner",
                                WS_POPUP | WS_VISIBLE, 100, 100, 300, 120, nullptr, nullptr,
                                nullptr, nullptr);
        button = CreateImageButton(owner, ButtonId, "Connect", 20, 20, ButtonWidth, ButtonHeight,
                                   ImageButtonStyle, GuiFont);
        plain = CreateImageButton(owner, ButtonId + 1, "Connect", 120, 20, ButtonWidth,
                                  ButtonHeight, WS_VISIBLE, GuiFont);
        face = GetSysColor(COLOR_BTNFACE);
    }
    static void TearDownTestSuite() {
        ShowWindow(owner, SW_HIDE);
        DestroyWindow(owner);
    }
    void SetUp() override {
        // The probes below tell the colours apart.
        ASSERT_NE(face, ColorBtnShadow);
        ASSERT_NE(face, ColorBtnHighlight);
        ASSERT_NE(ColorBtnShadow, ColorBtnHighlight);
        SetWindowTextA(button, "Connect");
    }
    static HWND owner, button, plain;
    static COLORREF face;
};
HWND ImageButton::owner = nullptr;
HWND ImageButton::button = nullptr;
HWND ImageButton::plain = nullptr;
COLORREF ImageButton::face = 0;

TEST_F(ImageButton, IsAnOwnerDrawnSuperclassOfTheSystemButton) {
    EXPECT_EQ("TovaneIBTNClass", ClassOf(button));
    WNDCLASSA system = {}, ours = {};
    ASSERT_TRUE(GetClassInfoA(nullptr, "BUTTON", &system));
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "TovaneIBTNClass", &ours));
    EXPECT_EQ(system.style, ours.style);
    EXPECT_EQ(system.cbWndExtra, ours.cbWndExtra);
    EXPECT_EQ(system.hCursor, ours.hCursor);
    EXPECT_EQ(reinterpret_cast<void*>(ImageButtonProc), reinterpret_cast<void*>(ours.lpfnWndProc));

    LONG style = GetWindowLongA(button, GWL_STYLE);
    EXPECT_EQ(static_cast<LONG>(BS_OWNERDRAW), style & BS_TYPEMASK);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & WS_TABSTOP);
    EXPECT_TRUE(GetWindowLongA(button, GWL_EXSTYLE) & WS_EX_NOPARENTNOTIFY);
    EXPECT_EQ(static_cast<int>(ButtonId), GetDlgCtrlID(button));
    EXPECT_EQ(reinterpret_cast<LRESULT>(GuiFont), SendMessageA(button, WM_GETFONT, 0, 0));
    EXPECT_EQ(0, SendMessageA(button, WM_ERASEBKGND, 0, 0));
}

TEST_F(ImageButton, RaisedFaceSitsInAnEtchedRecess) {
    Canvas c(ButtonWidth, ButtonHeight);
    c.Draw(button, 0);
    const int r = c.Width(), b = c.Height();
    const COLORREF shadow = ColorBtnShadow, light = ColorBtnHighlight, black = RGB(0, 0, 0);
    // The outer ring: shadow left and top, highlight right and bottom. The black outline one
    // pixel in. The raised face: highlight left and top, shadow right and bottom; its colour
    // inside.
    const struct {
        int X, Y;
        COLORREF Color;
    } probes[] = {
        {0, 0, shadow},        {0, b - 1, shadow},    {r - 1, 0, shadow}, {40, 0, shadow},
        {1, b - 1, light},     {r - 1, b - 1, light}, {r - 1, 1, light},  {1, 1, black},
        {r - 2, b - 2, black}, {40, 1, black},        {1, 12, black},     {2, 2, light},
        {2, 12, light},        {40, 2, light},        {2, b - 3, shadow}, {40, b - 3, shadow},
        {r - 3, 12, shadow},   {r - 3, 2, shadow},    {3, 3, face},       {r - 4, b - 4, face}};
    for (const auto& p : probes)
        EXPECT_EQ(p.Color, c.At(p.X, p.Y)) << p.X << ", " << p.Y;
    // Nothing left undrawn.
    for (COLORREF p : c.Pixels())
        ASSERT_NE(Canvas::Sentinel, p);
    EXPECT_GT(Find(c, RGB(0, 0, 0)).Count, 20) << "caption in black";
}

TEST_F(ImageButton, PressedFaceSinksAndMovesTheCaption) {
    Canvas up(ButtonWidth, ButtonHeight), down(ButtonWidth, ButtonHeight);
    up.Draw(button, 0);
    down.Draw(button, ODS_SELECTED);
    const int r = down.Width(), b = down.Height();
    EXPECT_EQ(ColorBtnShadow, down.At(0, 12));
    EXPECT_EQ(ColorBtnHighlight, down.At(40, b - 1));
    EXPECT_EQ(RGB(0, 0, 0), down.At(1, 1));
    // Inner ring: shadow left and top only, no highlight anywhere on it.
    EXPECT_EQ(ColorBtnShadow, down.At(2, 2));
    EXPECT_EQ(ColorBtnShadow, down.At(2, 12));
    EXPECT_EQ(ColorBtnShadow, down.At(40, 2));
    EXPECT_EQ(ColorBtnShadow, down.At(r - 3, 2));
    EXPECT_EQ(face, down.At(r - 3, 12));
    EXPECT_EQ(face, down.At(40, b - 3));
    for (int x = 2; x < r - 2; ++x)
        EXPECT_NE(ColorBtnHighlight, down.At(x, b - 3)) << x;

    Box raised = Find(up, RGB(0, 0, 0)), pressed = Find(down, RGB(0, 0, 0));
    ASSERT_GT(raised.Count, 20);
    EXPECT_EQ(raised.Count, pressed.Count);
    EXPECT_EQ(raised.Left + 1, pressed.Left);
    EXPECT_EQ(raised.Top + 1, pressed.Top);
    EXPECT_EQ(raised.Right + 1, pressed.Right);
    EXPECT_EQ(raised.Bottom + 1, pressed.Bottom);
}

TEST_F(ImageButton, CaptionIsCentred) {
    Canvas c(ButtonWidth, ButtonHeight);
    c.Draw(button, 0);
    Box text = Find(c, RGB(0, 0, 0));
    ASSERT_GT(text.Count, 20);
    // Same room left and right within a pixel (the halving rounds down).
    int left = text.Left, right = ButtonWidth - 1 - text.Right;
    EXPECT_LE(std::abs(left - right), 2) << left << " " << right;
}

TEST_F(ImageButton, DisabledCaptionIsEmbossedOnlyWhenExactlyDisabled) {
    Canvas c(ButtonWidth, ButtonHeight);
    c.Draw(button, ODS_DISABLED);
    EXPECT_EQ(0, Find(c, RGB(0, 0, 0)).Count);
    Box shadow = Find(c, ColorBtnShadow), highlight = Find(c, ColorBtnHighlight);
    ASSERT_GT(shadow.Count, 20);
    ASSERT_GT(highlight.Count, 5);
    // The highlight copy lies one pixel right and down, under the shadow copy.
    EXPECT_EQ(shadow.Right + 1, highlight.Right);
    EXPECT_EQ(shadow.Bottom + 1, highlight.Bottom);
    EXPECT_GE(highlight.Left, shadow.Left);
    EXPECT_GE(highlight.Top, shadow.Top);

    // Any further bit: an ordinary black caption.
    c.Draw(button, ODS_DISABLED | ODS_GRAYED);
    EXPECT_GT(Find(c, RGB(0, 0, 0)).Count, 20);
    EXPECT_EQ(0, Find(c, ColorBtnShadow).Count);
}

// Pixels of column x (inside the face, clear of the caption) that differ from the face.
int MarksInColumn(const Canvas& c, int x) {
    int n = 0;
    for (int y = 8; y < c.Height() - 8; ++y)
        if (c.At(x, y) != GetSysColor(COLOR_BTNFACE)) ++n;
    return n;
}

TEST_F(ImageButton, FocusRectangleFiveInAndSinksWhenPressed) {
    Canvas c(ButtonWidth, ButtonHeight);
    c.Draw(button, ODS_FOCUS);
    EXPECT_GT(MarksInColumn(c, 5), 0);
    EXPECT_GT(MarksInColumn(c, ButtonWidth - 6), 0);
    EXPECT_EQ(0, MarksInColumn(c, 6));
    EXPECT_EQ(0, MarksInColumn(c, 4));

    c.Draw(button, ODS_FOCUS | ODS_SELECTED);
    EXPECT_EQ(0, MarksInColumn(c, 5));
    EXPECT_GT(MarksInColumn(c, 6), 0);
    EXPECT_GT(MarksInColumn(c, ButtonWidth - 5), 0);

    c.Draw(button, 0);
    EXPECT_EQ(0, MarksInColumn(c, 5));
}

// A focus change repaints only the rectangle, and a button without a tab stop draws none.
TEST_F(ImageButton, FocusChangeTogglesTheRectangleWithoutRepaintingAndOnlyWithATabStop) {
    Canvas c(ButtonWidth, ButtonHeight);
    c.Draw(button, 0);
    std::vector<COLORREF> plainFace = c.Pixels();
    c.Redraw(button, ODS_FOCUS, ODA_FOCUS);
    EXPECT_GT(MarksInColumn(c, 5), 0);
    Canvas whole(ButtonWidth, ButtonHeight);
    whole.Draw(button, ODS_FOCUS);
    EXPECT_TRUE(whole.Pixels() == c.Pixels()) << "same as a full paint with focus";
    c.Redraw(button, 0, ODA_FOCUS);
    EXPECT_TRUE(plainFace == c.Pixels());

    c.Draw(plain, ODS_FOCUS);
    for (int x = 4; x < 8; ++x)
        EXPECT_EQ(0, MarksInColumn(c, x)) << x;
    std::vector<COLORREF> before = c.Pixels();
    c.Redraw(plain, ODS_FOCUS, ODA_FOCUS);
    EXPECT_TRUE(before == c.Pixels());
}

TEST_F(ImageButton, LongCaptionIsCutTo239Characters) {
    std::string caption;
    for (int i = 0; i < 300; ++i)
        caption += static_cast<char>('A' + i % 26);
    // Wide enough for every character, so each one shows.
    auto image = [&](const std::string& text) {
        SetWindowTextA(button, text.c_str());
        Canvas c(3000, ButtonHeight);
        c.Draw(button, 0);
        return c.Pixels();
    };
    std::vector<COLORREF> whole = image(caption);
    EXPECT_TRUE(image(caption.substr(0, 239)) == whole);
    EXPECT_FALSE(image(caption.substr(0, 238)) == whole) << "the 239th character shows";
}

// Two quick clicks, or a double-click message between them, are two presses.
TEST_F(ImageButton, TwoQuickClicksOrADoubleClickMessageAreTwoPresses) {
    commands.clear();
    SetForegroundWindow(owner);
    const RECT r = RectOf(button);
    for (int i = 0; i < 2; ++i)
        ClickAt({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    PumpUntil([] { return commands.size() >= 2; }, 2000);
    PumpMessages(100);
    ASSERT_EQ(2u, commands.size());
    for (const Command& c : commands) {
        EXPECT_EQ(ButtonId, c.Id);
        EXPECT_EQ(static_cast<UINT>(BN_CLICKED), c.Code);
    }

    commands.clear();
    LPARAM at = MAKELPARAM(10, 10);
    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(button, WM_LBUTTONUP, 0, at);
    SendMessageA(button, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    EXPECT_TRUE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED);
    SendMessageA(button, WM_LBUTTONUP, 0, at);
    ASSERT_EQ(2u, commands.size());
    EXPECT_EQ(static_cast<UINT>(BN_CLICKED), commands[1].Code);
}

} // namespace
