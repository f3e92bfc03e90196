// Using the status log in the real main window: the wheel, copying, and reading it through the
// accessibility interfaces.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/NLogCopy.h"
#include "app/WMain.h"
#include "app/WStatus.h"
#include "support/Accessible.h"
#include "support/Harness.h"

namespace {

void AddLines(int n, const char* prefix = "Line") {
    for (int i = 0; i < n; ++i)
        AddStatusLine((std::string(prefix) + " " + std::to_string(StatusLineCount())).c_str());
}

int32_t Bottom() {
    return StatusLineCount() - VisibleLines + 1;
}

// Sets a wheel setting for the scope and puts the old value back.
class WheelSetting {
  public:
    WheelSetting(UINT get, UINT set, UINT value) : set_(set) {
        SystemParametersInfoA(get, 0, &old_, 0);
        SystemParametersInfoA(set_, value, nullptr, 0);
    }
    ~WheelSetting() { SystemParametersInfoA(set_, old_, nullptr, 0); }

  private:
    UINT set_;
    UINT old_ = 3;
};

// The object of each scroll end raised on the strip, in order.
std::vector<LONG> scrollEnds;
void CALLBACK OnScrollEnd(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG, DWORD, DWORD) {
    if (window == StatusStrip) scrollEnds.push_back(object);
}

// CF_TEXT and the ANSI code page of CF_LOCALE (0 without one).
std::string ClipboardText(UINT* codePage = nullptr) {
    std::string text;
    if (!OpenClipboard(nullptr)) return "(clipboard busy)";
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        text = static_cast<const char*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    if (codePage) {
        *codePage = 0;
        if (HANDLE data = GetClipboardData(CF_LOCALE)) {
            char page[8] = {};
            GetLocaleInfoA(*static_cast<LCID*>(GlobalLock(data)), LOCALE_IDEFAULTANSICODEPAGE, page,
                           sizeof page);
            GlobalUnlock(data);
            *codePage = static_cast<UINT>(std::atoi(page));
        }
    }
    CloseClipboard();
    return text;
}

std::string Joined(int32_t first, int32_t count) {
    std::string text;
    for (int32_t i = first; i < first + count; ++i)
        text += std::string(i > first ? "\r\n" : "") + StatusLineText(i);
    return text;
}

WORD MenuKey = 0;      // pressed once the menu shows, then cleared
std::string MenuItems; // what the menu offered

void CALLBACK PressInMenu(HWND, UINT, UINT_PTR, DWORD) {
    HWND menu = FindWindowA("#32768", nullptr);
    if (!MenuKey || !menu || !IsWindowVisible(menu)) return;
    HMENU popup = reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(popup); ++i) {
        char text[64] = {};
        GetMenuStringA(popup, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        MenuItems += std::string(i ? "|" : "") + text;
    }
    TypeKey(MenuKey);
    MenuKey = 0;
}

// Presses a key in the popup menu once it shows: the menu runs a loop of its own, which still
// dispatches timer messages. True when a menu showed; with copy, also the clipboard changed.
bool ChooseInMenu(const std::function<void()>& open, WORD key, bool copy = true,
                  std::string* items = nullptr) {
    MenuKey = key;
    MenuItems.clear();
    UINT_PTR timer = SetTimer(nullptr, 0, 20, PressInMenu);
    const DWORD before = GetClipboardSequenceNumber();
    open();
    bool done = PumpUntil(
        [&] { return copy ? GetClipboardSequenceNumber() != before : MenuKey == 0; }, 2000);
    PumpUntil([] { return !IsWindowVisible(FindWindowA("#32768", nullptr)); }, 2000);
    KillTimer(nullptr, timer);
    if (items) *items = MenuItems;
    const bool shown = MenuKey == 0;
    MenuKey = 0;
    return done && shown;
}

void RightClick(HWND window) {
    const RECT r = RectOf(window);
    ClickAt({(r.left + r.right) / 2, (r.top + r.bottom) / 2}, MOUSEEVENTF_RIGHTDOWN,
            MOUSEEVENTF_RIGHTUP);
}

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(),
                                                        static_cast<int>(text.size()), wide.data(),
                                                        static_cast<int>(wide.size()))));
    return wide;
}

LRESULT Wheel(HWND window, UINT message, int delta, WORD keys = 0) {
    return SendMessageA(window, message, MAKEWPARAM(keys, static_cast<WORD>(delta)), 0);
}

class LogUse : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        tovane = std::make_unique<StartedTovane>();
        SetWindowPos(MainWindow, nullptr, 100, 100, 360, 260, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    static void TearDownTestSuite() { tovane.reset(); }
    void SetUp() override {
        ASSERT_TRUE(IsWindow(MainWindow));
        FreeStatusLog();
        TopLine = ScrollX = 0;
        UpdateStatusScrollBars(false);
    }
    static std::unique_ptr<StartedTovane> tovane;
};
std::unique_ptr<StartedTovane> LogUse::tovane;

TEST_F(LogUse, WheelScrollsTheStripByTheSystemSetting) {
    WheelSetting lines(SPI_GETWHEELSCROLLLINES, SPI_SETWHEELSCROLLLINES, 3);
    WheelSetting chars(SPI_GETWHEELSCROLLCHARS, SPI_SETWHEELSCROLLCHARS, 3);
    scrollEnds.clear();
    HWINEVENTHOOK hook =
        SetWinEventHook(EVENT_SYSTEM_SCROLLINGEND, EVENT_SYSTEM_SCROLLINGEND, nullptr, OnScrollEnd,
                        GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(nullptr, hook);
    AddLines(200);
    ASSERT_EQ(Bottom(), TopLine);

    // A real turn over the window goes to the focused button, which hands it to the main window.
    SetForegroundWindow(MainWindow);
    SetFocus(ConnectButton);
    const RECT box = RectOf(StatusStrip);
    SetCursorPos((box.left + box.right) / 2, (box.top + box.bottom) / 2);
    INPUT turn = {};
    turn.type = INPUT_MOUSE;
    turn.mi.dwFlags = MOUSEEVENTF_WHEEL;
    turn.mi.mouseData = WHEEL_DELTA; // away from the user: up
    ASSERT_EQ(1u, SendInput(1, &turn, sizeof turn));
    EXPECT_TRUE(PumpUntil([] { return TopLine == Bottom() - 3; }, 2000)) << TopLine;

    // A high-resolution wheel: quarter notches add up to one notch.
    for (int i = 0; i < 3; ++i)
        Wheel(MainWindow, WM_MOUSEWHEEL, WHEEL_DELTA / 4);
    EXPECT_EQ(Bottom() - 3, TopLine);
    Wheel(MainWindow, WM_MOUSEWHEEL, WHEEL_DELTA / 4);
    EXPECT_EQ(Bottom() - 6, TopLine);
    // Turned back before a whole notch: what was gathered the other way is dropped.
    Wheel(MainWindow, WM_MOUSEWHEEL, WHEEL_DELTA / 2);
    Wheel(MainWindow, WM_MOUSEWHEEL, -WHEEL_DELTA);
    EXPECT_EQ(Bottom() - 3, TopLine);
    EXPECT_EQ(TopLine, GetScrollPos(StatusStrip, SB_VERT));

    // Scrolled up, new lines leave the view; turned back to the end, it follows again.
    AddLines(1);
    EXPECT_EQ(Bottom() - 4, TopLine);
    Wheel(MainWindow, WM_MOUSEWHEEL, -5 * WHEEL_DELTA);
    EXPECT_EQ(Bottom(), TopLine) << "the wheel stops where the bars stop";
    AddLines(1);
    EXPECT_EQ(Bottom(), TopLine);

    {
        WheelSetting pages(SPI_GETWHEELSCROLLLINES, SPI_SETWHEELSCROLLLINES, WHEEL_PAGESCROLL);
        Wheel(StatusStrip, WM_MOUSEWHEEL, WHEEL_DELTA);
        EXPECT_EQ(Bottom() - VisibleLines, TopLine);
    }

    // Sideways: Shift with the wheel, and the tilt wheel (right is positive).
    AddStatusLine(std::string(300, 'W').c_str());
    const int32_t right = StatusLogWidest() - ViewWidth + 10;
    ASSERT_GT(right, 6 * LineHeight);
    const int32_t top = TopLine;
    Wheel(MainWindow, WM_MOUSEWHEEL, -WHEEL_DELTA, MK_SHIFT);
    EXPECT_EQ(3 * LineHeight, ScrollX);
    EXPECT_EQ(top, TopLine);
    Wheel(MainWindow, WM_MOUSEHWHEEL, WHEEL_DELTA);
    EXPECT_EQ(6 * LineHeight, ScrollX);
    Wheel(MainWindow, WM_MOUSEHWHEEL, -10 * WHEEL_DELTA);
    EXPECT_EQ(0, ScrollX);
    EXPECT_EQ(0, GetScrollPos(StatusStrip, SB_HORZ));

    // Every turn that reached a whole notch ended a scroll; the real turn is among them.
    std::vector<LONG> expected(5, OBJID_VSCROLL);
    expected.insert(expected.end(), 3, OBJID_HSCROLL);
    PumpUntil([&] { return scrollEnds.size() >= expected.size(); }, 2000);
    UnhookWinEvent(hook);
    EXPECT_EQ(expected, scrollEnds);
}

TEST_F(LogUse, MenuCopiesTheWholeLogOrTheVisibleLines) {
    AddLines(40, "Caf\xe9");
    AddStatusLine(" ");
    AddLines(19);
    SendMessageA(StatusStrip, WM_VSCROLL, SB_TOP, 0);
    for (int i = 0; i < 7; ++i)
        SendMessageA(StatusStrip, WM_VSCROLL, SB_LINEDOWN, 0);
    ASSERT_EQ(7, TopLine);
    const std::string whole = Joined(0, 60), visible = Joined(7, VisibleLines);
    SetForegroundWindow(MainWindow);
    SetFocus(ConnectButton);

    // A right click on the strip; the menu's mnemonics pick the item.
    std::string items;
    ASSERT_TRUE(ChooseInMenu([] { RightClick(StatusStrip); }, 'C', true, &items));
    EXPECT_EQ("&Copy log|Copy &visible lines", items);
    UINT codePage = 0;
    EXPECT_EQ(whole, ClipboardText(&codePage));
    EXPECT_EQ(GetACP(), codePage) << "the locale names the code page the text is in";

    // Shift+F10 with a button focused, and the menu key.
    ASSERT_TRUE(ChooseInMenu([] { TypeKey(VK_F10, VK_SHIFT); }, 'V'));
    EXPECT_EQ(visible, ClipboardText());
    ASSERT_TRUE(ChooseInMenu([] { TypeKey(VK_APPS); }, 'C'));
    EXPECT_EQ(whole, ClipboardText());

    // The log and the view are as they were.
    EXPECT_EQ(60, StatusLineCount());
    EXPECT_EQ(whole, Joined(0, 60));
    EXPECT_EQ(7, TopLine);
    // At the end, as while lines arrive, the page reaches one line past the last.
    SendMessageA(StatusStrip, WM_VSCROLL, SB_BOTTOM, 0);
    ASSERT_TRUE(ChooseInMenu([] { TypeKey(VK_APPS); }, 'V'));
    EXPECT_EQ(Joined(Bottom(), VisibleLines - 1), ClipboardText());

    // A right click on a button is not the strip's.
    EXPECT_FALSE(ChooseInMenu([] { RightClick(ConnectButton); }, VK_ESCAPE, false));
}

TEST_F(LogUse, ScreenReaderReadsTheLinesAndTheButtons) {
    AddLines(30);
    AddStatusLine("Caf\xe9 au lait");
    Accessible list(StatusStrip);
    ASSERT_TRUE(list);
    EXPECT_EQ(ROLE_SYSTEM_LIST, list.Role());
    EXPECT_EQ(L"Status", list.Name());
    EXPECT_EQ(31, list.Count());
    EXPECT_EQ(L"Line 0", list.Name(1));
    EXPECT_EQ(Wide("Caf\xe9 au lait"), list.Name(31)) << "ANSI text in the system's code page";
    EXPECT_EQ(list.Name(31), list.Value()) << "the value is the newest line";
    EXPECT_EQ(ROLE_SYSTEM_LISTITEM, list.Role(5));
    EXPECT_EQ(-1, list.Role(32));
    AddStatusLine("one more");
    EXPECT_EQ(32, list.Count()) << "the object reads the live log";
    EXPECT_EQ(L"one more", list.Value());

    // Lines scrolled out of view say so; a shown line is where it is drawn.
    ASSERT_EQ(Bottom(), TopLine);
    EXPECT_TRUE(list.State(1) & STATE_SYSTEM_OFFSCREEN);
    EXPECT_FALSE(list.State(32) & STATE_SYSTEM_OFFSCREEN);
    LONG x = 0, y = 0, w = 0, h = 0;
    ASSERT_EQ(S_OK, list->accLocation(&x, &y, &w, &h, ChildId(TopLine + 1)));
    POINT origin = {0, 0};
    ClientToScreen(StatusStrip, &origin);
    EXPECT_EQ(origin.y + 2, y);
    EXPECT_EQ(LineHeight, h);
    VARIANT hit;
    VariantInit(&hit);
    ASSERT_EQ(S_OK, list->accHitTest(x + 10, y + h / 2 + h, &hit));
    EXPECT_EQ(TopLine + 2, V_I4(&hit));
    VARIANT last;
    VariantInit(&last);
    ASSERT_EQ(S_OK, list->accNavigate(NAVDIR_LASTCHILD, ChildId(CHILDID_SELF), &last));
    EXPECT_EQ(32, V_I4(&last));

    // The buttons through the system's own objects: caption and disabled state. (Their role is
    // Windows' own button's, which answers for them; Wine's default object says "client".)
    Accessible connect(ConnectButton), disconnect(DisconnectButton);
    ASSERT_TRUE(connect && disconnect);
    EXPECT_EQ(L"Connect", connect.Name());
    EXPECT_EQ(L"Disconnect", disconnect.Name());
    EXPECT_FALSE(connect.State() & STATE_SYSTEM_UNAVAILABLE);
    EXPECT_TRUE(disconnect.State() & STATE_SYSTEM_UNAVAILABLE);
}

// Reads the list's value when a value event for the strip arrives.
std::vector<std::wstring> Announced;
Accessible* Reader = nullptr;

void CALLBACK OnValueChange(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD,
                            DWORD) {
    if (window != StatusStrip) return;
    Announced.push_back(object == OBJID_CLIENT && child == CHILDID_SELF && Reader
                            ? Reader->Value()
                            : L"(other object)");
}

TEST_F(LogUse, EveryLineOfALongLogIsAnnouncedInOrderAndCopied) {
    Accessible list(StatusStrip);
    ASSERT_TRUE(list);
    Reader = &list;
    Announced.clear();
    HWINEVENTHOOK hook =
        SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, OnValueChange,
                        GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(nullptr, hook);

    // One event per line, each read while its line is the newest.
    std::vector<std::wstring> expected;
    for (int i = 0; i < 20; ++i) {
        std::string text = "state " + std::to_string(i);
        AddStatusLine(text.c_str());
        expected.push_back(Wide(text));
        ASSERT_TRUE(PumpUntil([&] { return Announced.size() == expected.size(); }, 2000)) << i;
    }
    PumpMessages(20);
    EXPECT_EQ(expected, Announced);

    // 10,000 lines, each announced and read by a client; the first and the last thousand drawn,
    // the lines between stored only. (What an append costs early and late: bench/run.)
    const int32_t lines = 10000, sample = 1000;
    auto appendShown = [](int32_t i) {
        AddStatusLine("Connecting device...");
        if (i % 100 == 0) PumpMessages(0);
    };
    for (int32_t i = StatusLineCount(); i < sample; ++i)
        appendShown(i);
    WindowReady = false;
    while (StatusLineCount() < lines - sample) {
        AddStatusLine(StatusLineCount() % 2 ? "Port opened." : "");
        if (StatusLineCount() % 1000 == 0) PumpMessages(0);
    }
    WindowReady = true;
    UpdateStatusScrollBars(true);
    UpdateStatusScrollBars(true);
    for (int32_t i = StatusLineCount(); i < lines; ++i)
        appendShown(i);
    ASSERT_TRUE(PumpUntil([&] { return Announced.size() == size_t(lines); }, 10000))
        << Announced.size();
    UnhookWinEvent(hook);
    Reader = nullptr;
    EXPECT_EQ(Wide("Connecting device..."), list.Value());
    EXPECT_EQ(lines, list.Count());

    // The whole log copies, the log itself unchanged.
    ASSERT_TRUE(CopyStatusLines(MainWindow, 0, lines));
    std::string text = ClipboardText();
    size_t expectedSize = 0;
    for (int32_t i = 0; i < lines; ++i)
        expectedSize += std::strlen(StatusLineText(i)) + (i ? 2 : 0);
    EXPECT_EQ(expectedSize, text.size());
    EXPECT_EQ("state 0\r\nstate 1\r\n", text.substr(0, 18));
    EXPECT_EQ("\r\nConnecting device...", text.substr(text.size() - 22));
    EXPECT_EQ(lines, StatusLineCount());
}

} // namespace
