// The status strip: following the end, both scroll tables, resizing, painting and the log store.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "app/WStatus.h"
#include "common/NCommon.h"
#include "support/Harness.h"
#include "support/Heap.h" // the allocation seam
#include "support/Pixels.h"

namespace {

constexpr int StripWidth = 300;
constexpr int StripLines = 6;

SCROLLINFO BarOf(int bar) {
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(StatusStrip, bar, &si);
    return si;
}

bool HasBar(DWORD bar) {
    return (GetWindowLongA(StatusStrip, GWL_STYLE) & bar) != 0;
}

void Scroll(UINT message, WORD request) {
    SendMessageA(StatusStrip, message, MAKEWPARAM(request, 0), 0);
}

void AddLines(int n, const char* prefix = "Line") {
    for (int i = 0; i < n; ++i) {
        std::string text = std::string(prefix) + " " + std::to_string(StatusLineCount());
        AddStatusLine(text.c_str());
    }
}

// The strip painted into a bitmap of its client size.
class Snapshot {
  public:
    Snapshot() : shot_(Paint()) {}
    // Text-coloured pixels in the rows of the given on-screen line slot.
    int InkInSlot(int slot) const { return Ink(0, Width(), 2 + slot * LineHeight, LineHeight); }
    int Ink(int x0, int x1, int y0, int rows) const {
        return shot_.Count(ColorBtnText, x0, y0, x1, y0 + rows);
    }
    int Width() const { return shot_.Width; }
    int Height() const { return shot_.Height; }

  private:
    static Capture Paint() {
        RECT r = ClientOf(StatusStrip);
        PixelCanvas canvas(r.right, r.bottom);
        PaintStatusStrip(canvas.Dc());
        return canvas.Read();
    }
    Capture shot_;
};

class Strip : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitShared();
        SetupStatusStrip();
        parent = TestWindow(TestClass("TestStripParent"), 50, 50, 600, 500);
        StatusStrip = CreateWindowExA(WS_EX_CLIENTEDGE, "TovaneStatusWndClass", "",
                                      WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0, 100,
                                      100, parent, nullptr, nullptr, nullptr);
        WindowDC dc(StatusStrip);
        SelectGuard font(dc.Get(), GuiFont);
        TEXTMETRICA tm = {};
        GetTextMetricsA(dc.Get(), &tm);
        LineHeight = tm.tmHeight + tm.tmExternalLeading;
    }
    static void TearDownTestSuite() {
        ShowWindow(parent, SW_HIDE);
        DestroyWindow(parent);
        StatusStrip = nullptr;
    }
    void SetUp() override {
        SetStatusStripReady(false);
        SetupStatusStrip(); // empties the log and the scroll state
        // Outer height for StripLines whole lines with a horizontal bar showing, plus a bit.
        Resize(StripWidth, StripLines);
        SetStatusStripReady(true);
        UpdateStatusScrollBars(false);
        UpdateStatusScrollBars(false);
    }
    // Sizes the strip so that `lines` whole lines fit whether or not the bottom bar shows.
    static void Resize(int width, int lines) {
        int frame = 2 * GetSystemMetrics(SM_CYEDGE) + GetSystemMetrics(SM_CYHSCROLL);
        SetWindowPos(StatusStrip, nullptr, 0, 0, width, frame + lines * LineHeight + 2,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    }
    static int32_t Bottom() { return StatusLineCount() - VisibleLines + 1; }
    static HWND parent;
};
HWND Strip::parent = nullptr;

TEST_F(Strip, NullAddsNothingAndTextsAreCopied) {
    AddStatusLine(nullptr);
    EXPECT_EQ(0, StatusLineCount());
    char buffer[32] = "first";
    AddStatusLine(buffer);
    std::strcpy(buffer, "overwritten");
    AddStatusLine(" ");
    AddStatusLine("");
    ASSERT_EQ(3, StatusLineCount());
    EXPECT_STREQ("first", StatusLineText(0));
    EXPECT_STREQ(" ", StatusLineText(1));
    EXPECT_STREQ("", StatusLineText(2));
    EXPECT_EQ(nullptr, StatusLineText(3));
    EXPECT_EQ(nullptr, StatusLineText(-1));
}

TEST_F(Strip, NewLinesKeepTheEndInView) {
    ASSERT_EQ(ClientOf(StatusStrip).bottom / LineHeight, VisibleLines);
    for (int i = 0; i < 40; ++i) {
        AddLines(1);
        ASSERT_EQ(IntMax(0, Bottom()), TopLine) << "after " << StatusLineCount() << " lines";
        if (StatusLineCount() == VisibleLines - 1) {
            EXPECT_FALSE(HasBar(WS_VSCROLL)); // all fit
        }
    }
    EXPECT_TRUE(HasBar(WS_VSCROLL));
    SCROLLINFO v = BarOf(SB_VERT);
    EXPECT_EQ(40, v.nMax);
    EXPECT_EQ(static_cast<UINT>(VisibleLines), v.nPage);
    EXPECT_EQ(TopLine, v.nPos);
    // The newest line is drawn, with one empty line's room below it.
    Snapshot shot;
    EXPECT_GT(shot.InkInSlot(VisibleLines - 2), 0);
    EXPECT_EQ(0, shot.InkInSlot(VisibleLines - 1));
}

// Even one line up from the end is away from it.
TEST_F(Strip, ScrolledUpTheViewStaysPut) {
    AddLines(30);
    Scroll(WM_VSCROLL, SB_LINEUP);
    int32_t top = TopLine;
    ASSERT_EQ(Bottom() - 1, top);
    AddLines(5);
    EXPECT_EQ(top, TopLine);
    EXPECT_EQ(top, BarOf(SB_VERT).nPos);
    EXPECT_EQ(35, BarOf(SB_VERT).nMax);
    // Back at the end it follows again.
    Scroll(WM_VSCROLL, SB_BOTTOM);
    AddLines(1);
    EXPECT_EQ(Bottom(), TopLine);
}

TEST_F(Strip, KeepsFollowingWhenTheBottomBarTakesTwoLines) {
    const int bar = GetSystemMetrics(SM_CYHSCROLL);
    if (bar <= LineHeight) GTEST_SKIP() << "the bottom bar is not taller than a line here";
    // Client exactly six lines high: the bar's height costs two whole lines when it appears.
    SetWindowPos(StatusStrip, nullptr, 0, 0, StripWidth,
                 2 * GetSystemMetrics(SM_CYEDGE) + 6 * LineHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    ASSERT_EQ(6, VisibleLines);
    AddLines(4);
    AddStatusLine(std::string(150, 'W').c_str());
    ASSERT_TRUE(HasBar(WS_HSCROLL));
    ASSERT_EQ(6 - (bar + LineHeight - 1) / LineHeight, VisibleLines);
    EXPECT_EQ(Bottom(), TopLine) << "the wide line itself is in view";
    for (int i = 0; i < 10; ++i) {
        AddLines(1);
        EXPECT_EQ(Bottom(), TopLine) << "after " << StatusLineCount() << " lines";
    }
    Snapshot shot;
    EXPECT_GT(shot.InkInSlot(VisibleLines - 2), 0) << "the newest line shows";
}

TEST_F(Strip, HorizontalRangeGrowsAndNeverShrinksAndFollowingReturnsToTheLeftEdge) {
    AddLines(2);
    EXPECT_FALSE(HasBar(WS_HSCROLL));
    int32_t narrow = StatusLogWidest();
    ASSERT_GT(narrow, 0);
    AddStatusLine(std::string(150, 'M').c_str());
    int32_t wide = StatusLogWidest();
    EXPECT_GT(wide, StripWidth);
    EXPECT_TRUE(HasBar(WS_HSCROLL));
    EXPECT_EQ(wide + 10, BarOf(SB_HORZ).nMax);
    EXPECT_EQ(static_cast<UINT>(ViewWidth), BarOf(SB_HORZ).nPage);
    EXPECT_EQ(ClientOf(StatusStrip).right, ViewWidth);
    AddLines(40, "x"); // the wide line scrolls out of view
    EXPECT_EQ(wide, StatusLogWidest());
    EXPECT_EQ(wide + 10, BarOf(SB_HORZ).nMax);
    EXPECT_TRUE(HasBar(WS_HSCROLL));

    // Following the end returns to the left edge; scrolled up, the offset stays.
    Scroll(WM_HSCROLL, SB_RIGHT);
    ASSERT_GT(ScrollX, 0);
    AddLines(1);
    EXPECT_EQ(0, ScrollX);
    EXPECT_EQ(0, BarOf(SB_HORZ).nPos);
    Scroll(WM_HSCROLL, SB_RIGHT);
    Scroll(WM_VSCROLL, SB_TOP);
    const int32_t x = ScrollX;
    AddLines(1);
    EXPECT_EQ(x, ScrollX);
    EXPECT_EQ(0, TopLine);
}

TEST_F(Strip, BottomIsWhereLineDownsStop) {
    AddLines(25);
    Scroll(WM_VSCROLL, SB_TOP);
    EXPECT_EQ(0, TopLine);
    for (int i = 0; i < 40; ++i)
        Scroll(WM_VSCROLL, SB_LINEDOWN);
    int32_t byLines = TopLine;
    Scroll(WM_VSCROLL, SB_TOP);
    Scroll(WM_VSCROLL, SB_BOTTOM);
    EXPECT_EQ(byLines, TopLine);
    EXPECT_EQ(25 - VisibleLines + 1, TopLine);
    EXPECT_EQ(TopLine, BarOf(SB_VERT).nPos);

    Scroll(WM_VSCROLL, SB_TOP);
    for (int i = 0; i < 10; ++i)
        Scroll(WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(byLines, TopLine);
    Scroll(WM_VSCROLL, SB_PAGEUP);
    EXPECT_EQ(byLines - VisibleLines, TopLine);
    for (int i = 0; i < 10; ++i)
        Scroll(WM_VSCROLL, SB_PAGEUP);
    EXPECT_EQ(0, TopLine);
    Scroll(WM_VSCROLL, SB_LINEUP);
    EXPECT_EQ(0, TopLine);
    // Position and end-of-scroll requests keep the place.
    Scroll(WM_VSCROLL, SB_LINEDOWN);
    Scroll(WM_VSCROLL, SB_ENDSCROLL);
    Scroll(WM_VSCROLL, SB_THUMBPOSITION);
    EXPECT_EQ(1, TopLine);
}

TEST_F(Strip, HorizontalSteps) {
    AddStatusLine(std::string(120, 'W').c_str());
    const int32_t right = StatusLogWidest() - ViewWidth + 10;
    ASSERT_GT(right, 3 * LineHeight);
    {
        // The line runs past the strip but is clipped 5 pixels short of its right edge.
        Snapshot shot;
        EXPECT_GT(shot.Ink(shot.Width() - 15, shot.Width() - 5, 2, LineHeight), 0);
        EXPECT_EQ(0, shot.Ink(shot.Width() - 5, shot.Width(), 0, shot.Height()));
    }
    Scroll(WM_HSCROLL, SB_LINERIGHT);
    EXPECT_EQ(LineHeight, ScrollX);
    Scroll(WM_HSCROLL, SB_LINELEFT);
    Scroll(WM_HSCROLL, SB_LINELEFT);
    EXPECT_EQ(0, ScrollX);
    Scroll(WM_HSCROLL, SB_PAGERIGHT);
    EXPECT_EQ(IntMin(ViewWidth, right), ScrollX);
    for (int i = 0; i < 20; ++i)
        Scroll(WM_HSCROLL, SB_PAGERIGHT);
    EXPECT_EQ(right, ScrollX);
    Scroll(WM_HSCROLL, SB_LEFT);
    EXPECT_EQ(0, ScrollX);
    Scroll(WM_HSCROLL, SB_RIGHT);
    EXPECT_EQ(right, ScrollX);
    EXPECT_EQ(right, BarOf(SB_HORZ).nPos);
    // The right end of the widest line shows, left of the clip margin.
    Snapshot shot;
    EXPECT_GT(shot.Ink(shot.Width() - 30, shot.Width() - 5, 2, LineHeight), 0);
    EXPECT_EQ(0, shot.Ink(shot.Width() - 5, shot.Width(), 0, shot.Height()));
}

TEST_F(Strip, ResizeClampsWithoutFollowing) {
    AddLines(50);
    AddStatusLine(std::string(100, 'W').c_str());
    // Scrolled to the middle: a taller strip keeps the place.
    Scroll(WM_VSCROLL, SB_TOP);
    for (int i = 0; i < 10; ++i)
        Scroll(WM_VSCROLL, SB_LINEDOWN);
    Resize(StripWidth, 20);
    EXPECT_EQ(ClientOf(StatusStrip).bottom / LineHeight, VisibleLines);
    EXPECT_EQ(10, TopLine);
    EXPECT_EQ(static_cast<UINT>(VisibleLines), BarOf(SB_VERT).nPage);

    // At the end: a taller strip pulls the top line back so no more than one spare line shows.
    Resize(StripWidth, 6);
    Scroll(WM_VSCROLL, SB_BOTTOM);
    Scroll(WM_HSCROLL, SB_RIGHT);
    int32_t oldX = ScrollX;
    Resize(StripWidth, 30);
    EXPECT_EQ(51 - (VisibleLines - 1), TopLine);
    EXPECT_EQ(TopLine, BarOf(SB_VERT).nPos);
    // Wider: the horizontal offset is clamped to the new end.
    Resize(StripWidth + 200, 30);
    EXPECT_LT(ScrollX, oldX);
    EXPECT_EQ(StatusLogWidest() + 10 - (ViewWidth - 1), ScrollX);

    // Not ready (main window still being built): resizing changes nothing.
    SetStatusStripReady(false);
    int32_t visible = VisibleLines;
    Resize(StripWidth, 8);
    EXPECT_EQ(visible, VisibleLines);
}

// A short log, its lines added before the window was ready: shown by the first paint, and never
// scrolled past its start.
TEST_F(Strip, LinesBeforeReadyAreShownByTheFirstPaint) {
    SetStatusStripReady(false);
    AddStatusLine("early one");
    AddStatusLine(" ");
    AddStatusLine("early three");
    EXPECT_EQ(3, StatusLineCount());
    EXPECT_EQ(0, TopLine);
    EXPECT_EQ(0, BarOf(SB_VERT).nMax) << "no scroll work before the window is ready";
    SetStatusStripReady(true);
    Snapshot shot;
    EXPECT_GT(shot.InkInSlot(0), 0);
    EXPECT_EQ(0, shot.InkInSlot(1)) << "a blank line draws as empty";
    EXPECT_GT(shot.InkInSlot(2), 0);
    EXPECT_EQ(0, shot.InkInSlot(3));
    EXPECT_EQ(0, shot.Ink(0, 4, 0, shot.Height())) << "text starts 4 pixels in";
    for (WORD request : {SB_BOTTOM, SB_LINEDOWN, SB_PAGEDOWN})
        Scroll(WM_VSCROLL, request);
    for (WORD request : {SB_RIGHT, SB_PAGERIGHT, SB_LINERIGHT})
        Scroll(WM_HSCROLL, request);
    EXPECT_EQ(0, TopLine);
    EXPECT_EQ(0, ScrollX);
}

TEST_F(Strip, ThumbDragBeyondSixteenBits) {
    // Filled without drawing, then shown once.
    SetStatusStripReady(false);
    for (int i = 0; i < 80000; ++i) {
        char text[24];
        wsprintfA(text, "%d", i);
        AddStatusLine(text);
    }
    SetStatusStripReady(true);
    Resize(StripWidth, 30); // a long track, so a pixel of drag is a small step
    Scroll(WM_VSCROLL, SB_TOP);
    ASSERT_EQ(0, TopLine);

    SetForegroundWindow(parent);
    SCROLLBARINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetScrollBarInfo(StatusStrip, OBJID_VSCROLL, &info));
    const RECT& bar = info.rcScrollBar;
    const int x = (bar.left + bar.right) / 2;
    const int thumb = info.xyThumbBottom - info.xyThumbTop;
    const int grab = bar.top + info.xyThumbTop + thumb / 2;
    const int track = bar.bottom - bar.top - 2 * info.dxyLineButton - thumb;
    ASSERT_GT(track, 100);
    const int move = track * 85 / 100; // the thumb's top ends 85% down its travel
    const int drop = grab + move;

    // All input is queued first: the drag runs its own loop once the press is dispatched.
    ClickAt({x, grab}, MOUSEEVENTF_LEFTDOWN, 0);
    ClickAt({x, (grab + drop) / 2}, 0, 0);
    ClickAt({x, drop}, 0, MOUSEEVENTF_LEFTUP);
    // Moved, and the button up ended the bar's tracking (it holds the capture until then).
    PumpUntil([] { return TopLine > 0 && GetCapture() == nullptr; }, 5000);

    // About 85% down; a 16-bit position would have wrapped to a few thousand.
    const int expected = static_cast<int>(static_cast<double>(Bottom()) * move / track);
    EXPECT_GT(TopLine, 65535);
    EXPECT_NEAR(expected, TopLine, Bottom() / 20);
    EXPECT_EQ(TopLine, BarOf(SB_VERT).nPos);
    Snapshot shot;
    EXPECT_GT(shot.InkInSlot(0), 0);
}

// Every append, across several index-page and text-block boundaries, is tried with its 1st,
// 2nd, ... allocation failing until one goes through. A failed append leaves the log exactly as
// it was, and the log stays readable, paintable and scrollable.
TEST_F(Strip, AnAppendWithoutMemoryLeavesTheLogAsItWas) {
    SetStatusStripReady(false);
    // Short lines, then longer ones: page and block boundaries fall together once, apart later.
    auto textOf = [](int i) {
        return std::to_string(i) + std::string(i < 4096 ? 10 : 40, i < 4096 ? '.' : '-');
    };
    int failures = 0;
    for (int i = 0; i < 8300; ++i) {
        const std::string text = textOf(i);
        for (int n = 1;; ++n) {
            const size_t bytes = StatusLogBytes();
            FailAtAllocation = n;
            AllocationsSeen = 0;
            AddStatusLine(text.c_str());
            FailAtAllocation = 0;
            if (AllocationsSeen < n) break; // went through
            ++failures;
            ASSERT_EQ(i, StatusLineCount()) << "line " << i << ", allocation " << n;
            // No index page or text block kept (the bookkeeping arrays may have grown).
            ASSERT_LT(StatusLogBytes(), bytes + 1024) << "line " << i << ", allocation " << n;
        }
        ASSERT_EQ(i + 1, StatusLineCount());
    }
    EXPECT_GE(failures, 6) << "too few boundaries were crossed";

    // A line larger than any block always needs memory; failing, it leaves the width alone.
    const int32_t widest = StatusLogWidest();
    const std::string huge(100000, 'W');
    FailAtAllocation = 1;
    AllocationsSeen = 0;
    AddStatusLine(huge.c_str());
    FailAtAllocation = 0;
    EXPECT_EQ(8300, StatusLineCount());
    EXPECT_EQ(widest, StatusLogWidest());

    for (int i = 0; i < 8300; ++i)
        ASSERT_EQ(textOf(i), StatusLineText(i)) << i;
    SetStatusStripReady(true);
    AddStatusLine("last");
    for (WORD request : {SB_TOP, SB_PAGEDOWN, SB_BOTTOM}) {
        Scroll(WM_VSCROLL, request);
        Snapshot shot;
        EXPECT_GT(shot.InkInSlot(0), 0) << request;
    }
    EXPECT_STREQ("last", StatusLineText(8300));
}

// Every line kept in order across index pages and text blocks, with one line larger than a
// block, each for its text and few bytes more; freeing gives everything back.
TEST_F(Strip, ALargeLogKeepsEveryLineInOrderForItsTextAndFewBytesMore) {
    SetStatusStripReady(false);
    auto textOf = [](int i) {
        return "Connecting  (#" + std::to_string(i) + " Provider)" +
               std::string(static_cast<size_t>(i % 16), '.');
    };
    size_t textBytes = 0;
    const int lines = 200000;
    for (int i = 0; i < lines; ++i) {
        const std::string text = textOf(i);
        textBytes += text.size();
        AddStatusLine(text.c_str());
    }
    const double overhead = static_cast<double>(StatusLogBytes() - textBytes) / lines;
    EXPECT_LE(overhead, 24.0);
    EXPECT_GT(overhead, 0.0);
    const std::string huge(100000, 'h');
    AddStatusLine(huge.c_str());
    AddStatusLine("after");
    ASSERT_EQ(lines + 2, StatusLineCount());
    for (int i = 0; i < lines; i += 97)
        ASSERT_EQ(textOf(i), StatusLineText(i)) << i;
    for (int i : {4095, 4096, 4097, 8191, 8192, lines - 1})
        ASSERT_EQ(textOf(i), StatusLineText(i)) << i;
    EXPECT_EQ(huge, StatusLineText(lines));
    EXPECT_STREQ("after", StatusLineText(lines + 1));

    FreeStatusLog();
    EXPECT_EQ(0, StatusLineCount());
    EXPECT_EQ(nullptr, StatusLineText(0));
    EXPECT_EQ(0u, StatusLogBytes());
}

#ifndef NDEBUG
DWORD WINAPI AppendFromAnotherThread(LPVOID) {
    AddStatusLine("from elsewhere");
    return 0;
}

void AppendOffTheWindowThread() {
    HANDLE thread = CreateThread(nullptr, 0, AppendFromAnotherThread, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}
#endif

TEST_F(Strip, AppendsOffTheWindowThreadAreCaughtInDebugBuilds) {
#ifdef NDEBUG
    GTEST_SKIP() << "the check is compiled into debug builds only";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(AppendOffTheWindowThread(), "LogThread");
    // The window thread itself may append.
    AddStatusLine("here");
    EXPECT_EQ(1, StatusLineCount());
#endif
}

} // namespace
