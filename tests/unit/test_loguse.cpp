// Using the status log in the real main window: the wheel, copying, and reading it through the
// accessibility interfaces.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/NConnection.h"
#include "app/WMain.h"
#include "app/WStatus.h"
#include "common/NCommon.h"
#include "controls/NIBtn.h"
#include "support/TestSupport.h"

namespace {

std::unique_ptr<TempFolder> folder;

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

// Counts the WinEvents of one kind raised on the strip while it lives.
class EventCounter {
  public:
    explicit EventCounter(DWORD event) : event_(event) {
        current = this;
        hook_ = SetWinEventHook(event, event, nullptr, Callback, GetCurrentProcessId(), 0,
                                WINEVENT_OUTOFCONTEXT);
    }
    ~EventCounter() {
        UnhookWinEvent(hook_);
        current = nullptr;
    }
    bool Hooked() const { return hook_ != nullptr; }
    std::vector<LONG> Objects; // the object id of each event, in order

  private:
    static void CALLBACK Callback(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD,
                                  DWORD) {
        if (current && event == current->event_ && window == StatusStrip)
            current->Objects.push_back(object);
    }
    static EventCounter* current;
    DWORD event_;
    HWINEVENTHOOK hook_ = nullptr;
};
EventCounter* EventCounter::current = nullptr;

LRESULT Wheel(HWND window, UINT message, int delta, WORD keys = 0) {
    return SendMessageA(window, message, MAKEWPARAM(keys, static_cast<WORD>(delta)), 0);
}

class LogUse : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<TempFolder>();
        InitShared();
        SettingsFile = folder->File("Tovane.dat");
        LoadSettings();
        SetupMainWindow();
        RegisterImageButton();
        CreateMainWindow();
        KillTimer(MainWindow, PollTimerId);
        SetWindowPos(MainWindow, nullptr, 100, 100, 360, 260, SWP_NOZORDER | SWP_NOACTIVATE);
        PumpMessages(50);
    }
    static void TearDownTestSuite() {
        ControllerState = TControllerState::Ready;
        SendMessageA(MainWindow, WM_CLOSE, 0, 0);
        PumpMessages(20);
        folder.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(IsWindow(MainWindow));
        FreeStatusLog();
        TopLine = ScrollX = WidestLine = 0;
        UpdateStatusScrollBars(false);
    }
};

TEST_F(LogUse, WheelScrollsTheStripByTheSystemSetting) {
    WheelSetting lines(SPI_GETWHEELSCROLLLINES, SPI_SETWHEELSCROLLLINES, 3);
    WheelSetting chars(SPI_GETWHEELSCROLLCHARS, SPI_SETWHEELSCROLLCHARS, 3);
    EventCounter ends(EVENT_SYSTEM_SCROLLINGEND);
    ASSERT_TRUE(ends.Hooked());
    AddLines(200);
    ASSERT_EQ(Bottom(), TopLine);

    // A real turn over the window goes to the focused button, which hands it to the main window.
    SetForegroundWindow(MainWindow);
    SetFocus(ConnectButton);
    RECT box = {};
    GetWindowRect(StatusStrip, &box);
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
    EXPECT_EQ(TopLine, GetScrollPos(StatusStrip, SB_VERT));

    // Scrolled up, new lines leave the view; turned back to the end, it follows again.
    AddLines(1);
    EXPECT_EQ(Bottom() - 7, TopLine);
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
    const int32_t right = WidestLine - ViewWidth + 10;
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
    PumpMessages(50);
    std::vector<LONG> expected = {OBJID_VSCROLL, OBJID_VSCROLL, OBJID_VSCROLL, OBJID_VSCROLL,
                                  OBJID_HSCROLL, OBJID_HSCROLL, OBJID_HSCROLL};
    EXPECT_EQ(expected, ends.Objects);
}

} // namespace
