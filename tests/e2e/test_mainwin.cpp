// The main window of the real program, seen from outside: its children, its place on a first
// start and after a restart, the way into the tray and back, its help command, and its log as a
// screen reader reads it.
#include <gtest/gtest.h>

#include <oleacc.h>

#include <string>

#include "support/Harness.h"

namespace {

constexpr UINT HelpContentsId = 3074, ConnectId = 3076, DisconnectId = 3077;
constexpr UINT TrayCallback = 3079;

RECT WorkArea() {
    RECT r = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
    return r;
}

void ExpectOuter(HWND window, int left, int top, int width, int height) {
    RECT r = RectOf(window);
    EXPECT_EQ(left, r.left);
    EXPECT_EQ(top, r.top);
    EXPECT_EQ(width, r.right - r.left);
    EXPECT_EQ(height, r.bottom - r.top);
}

TEST(MainWindow, FirstStartShowsTheStripAndBothButtons) {
    TovaneRun tovane;
    ASSERT_TRUE(tovane.Start());
    HWND main = tovane.Main;

    const int width = 282, height = 165;
    ExpectOuter(main, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height);
    EXPECT_TRUE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOPMOST);

    HWND strip = FindChild(main, "TovaneStatusWndClass");
    ASSERT_NE(nullptr, strip);
    EXPECT_TRUE(IsWindowVisible(strip));
    HWND connect = FindChild(main, "TovaneIBTNClass", "Connect");
    HWND disconnect = FindChild(main, "TovaneIBTNClass", "Disconnect");
    ASSERT_NE(nullptr, connect);
    ASSERT_NE(nullptr, disconnect);
    EXPECT_EQ(static_cast<int>(ConnectId), GetDlgCtrlID(connect));
    EXPECT_EQ(static_cast<int>(DisconnectId), GetDlgCtrlID(disconnect));
    EXPECT_TRUE(IsWindowEnabled(connect));
    EXPECT_FALSE(IsWindowEnabled(disconnect));

    // Disconnect left of Connect, both 4 pixels above the bottom edge of the client area.
    RECT client = ClientOf(main), c = BoxInParent(connect), d = BoxInParent(disconnect);
    EXPECT_EQ(client.right - 79, c.left);
    EXPECT_EQ(client.bottom - 4, c.bottom);
    EXPECT_EQ(c.left - 5, d.right);
    EXPECT_EQ(c.top, d.top);
}

TEST(MainWindow, MinimiseGoesToTheTrayAndALeftClickBringsItBack) {
    TovaneRun tovane;
    ASSERT_TRUE(tovane.Start());
    HWND main = tovane.Main;
    RECT before = RectOf(main);

    SendMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(main); }, 5000));
    EXPECT_FALSE(IsIconic(main));
    SendMessageA(main, TrayCallback, 1, WM_LBUTTONUP);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(main) != 0; }, 5000));
    EXPECT_EQ(before, RectOf(main));
}

TEST(MainWindow, RestartOpensWhereTheWindowWasLeft) {
    TovaneRun tovane;
    ASSERT_TRUE(tovane.Start());
    SetWindowPos(tovane.Main, nullptr, 130, 110, 330, 220, SWP_NOZORDER | SWP_NOACTIVATE);
    PumpUntil([&] { return RectOf(tovane.Main).left == 130; }, 2000);
    ASSERT_TRUE(tovane.Close());
    ASSERT_TRUE(FileExists(tovane.Folder.File("Tovane.dat")));
    ASSERT_TRUE(tovane.Start());
    ExpectOuter(tovane.Main, 130, 110, 330, 220);
}

TEST(MainWindow, SavedBoxOffTheWorkAreaIsPulledInside) {
    RECT work = WorkArea();
    TovaneRun tovane;
    tovane.WriteDat(DatFile::At(work.left - 60, work.bottom + 500, 300, 190).Bytes());
    ASSERT_TRUE(tovane.Start());
    HWND main = tovane.Main;
    ExpectOuter(main, work.left, work.bottom - 190, 300, 190);
    EXPECT_FALSE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST(MainWindow, HelpContentsOpensTheHelpFileBesideTheProgramAtItsContents) {
    TovaneRun tovane;
    ASSERT_TRUE(CopyBesideTests("Tovane.hlp", tovane.Folder.Path()));
    ASSERT_TRUE(tovane.Start());
    HWND main = tovane.Main;
    PostMessageA(main, WM_COMMAND, HelpContentsId, 0); // what Help > Contents sends
    HWND viewer = WaitForHelpViewer();
    ASSERT_NE(nullptr, viewer);
    EXPECT_TRUE(WaitForHelpTopic(viewer, "Tovane Help")) << HelpTopicTitle(viewer);
    PostMessageA(viewer, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitForHelpViewerClosed());
}

// What a screen reader sees: the strip's object read through COM from this process, and the
// value events the program raises, hooked from here.
VARIANT Child(LONG child) {
    VARIANT id;
    VariantInit(&id);
    V_VT(&id) = VT_I4;
    V_I4(&id) = child;
    return id;
}

std::wstring
NameOf(IAccessible* object, LONG child,
       HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*) = &IAccessible::get_accName) {
    BSTR text = nullptr;
    std::wstring result = L"(none)";
    if ((object->*get)(Child(child), &text) == S_OK && text)
        result.assign(text, SysStringLen(text));
    SysFreeString(text);
    return result;
}

LONG NumberOf(IAccessible* object,
              HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*)) {
    VARIANT v;
    VariantInit(&v);
    return (object->*get)(Child(CHILDID_SELF), &v) == S_OK && V_VT(&v) == VT_I4 ? V_I4(&v) : -1;
}

int ValueEvents = 0;
void CALLBACK CountValueEvent(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG, DWORD, DWORD) {
    if (ClassOf(window) == "TovaneStatusWndClass" && object == OBJID_CLIENT) ++ValueEvents;
}

TEST(MainWindow, ScreenReaderReadsTheLogFromAnotherProcess) {
    TovaneRun tovane;
    ASSERT_TRUE(tovane.Start());
    HWND main = tovane.Main;
    HWND strip = FindChild(main, "TovaneStatusWndClass");
    ASSERT_NE(nullptr, strip);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IAccessible* list = nullptr;
    ASSERT_EQ(S_OK,
              AccessibleObjectFromWindow(strip, static_cast<DWORD>(OBJID_CLIENT),
                                         __uuidof(IAccessible), reinterpret_cast<void**>(&list)));
    EXPECT_EQ(L"Status", NameOf(list, CHILDID_SELF));
    LONG count = 0;
    ASSERT_EQ(S_OK, list->get_accChildCount(&count));
    ASSERT_EQ(1, count) << "the first start writes one line";
    EXPECT_EQ(L"No connection selected", NameOf(list, 1));

    // The image buttons answer as push buttons. Pressing Connect without a connection chosen
    // writes one more line; the event reaches this process.
    IAccessible* buttons[2] = {};
    for (int i = 0; i < 2; ++i) {
        HWND button = FindChild(main, "TovaneIBTNClass", i == 0 ? "Connect" : "Disconnect");
        ASSERT_EQ(S_OK, AccessibleObjectFromWindow(button, static_cast<DWORD>(OBJID_CLIENT),
                                                   __uuidof(IAccessible),
                                                   reinterpret_cast<void**>(&buttons[i])));
        EXPECT_EQ(ROLE_SYSTEM_PUSHBUTTON, NumberOf(buttons[i], &IAccessible::get_accRole));
        EXPECT_EQ(L"Press", NameOf(buttons[i], CHILDID_SELF, &IAccessible::get_accDefaultAction));
        EXPECT_EQ(i == 0 ? 0 : STATE_SYSTEM_UNAVAILABLE,
                  NumberOf(buttons[i], &IAccessible::get_accState) & STATE_SYSTEM_UNAVAILABLE);
    }
    EXPECT_EQ(L"Connect", NameOf(buttons[0], CHILDID_SELF));
    HWINEVENTHOOK hook =
        SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
                        CountValueEvent, tovane.Process.Pid(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(nullptr, hook);
    EXPECT_EQ(S_OK, buttons[0]->accDoDefaultAction(Child(CHILDID_SELF)));
    EXPECT_TRUE(PumpUntil([] { return ValueEvents == 1; }, 5000));
    UnhookWinEvent(hook);
    EXPECT_EQ(STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED,
              NumberOf(buttons[0], &IAccessible::get_accState) &
                  (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED))
        << "clicked, it has the focus";
    for (IAccessible* button : buttons)
        button->Release();
    ASSERT_EQ(S_OK, list->get_accChildCount(&count));
    ASSERT_EQ(2, count);
    EXPECT_EQ(NameOf(list, 2), NameOf(list, CHILDID_SELF, &IAccessible::get_accValue));

    list->Release();
    EXPECT_TRUE(tovane.Close());
    CoUninitialize();
}

} // namespace
