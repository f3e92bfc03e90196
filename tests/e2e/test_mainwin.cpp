// The main window of the real program, seen from outside: a first start and a second copy, its
// help command, and its log and buttons as a screen reader in another process reads them.
#include <gtest/gtest.h>

#include "support/Accessible.h"
#include "support/Harness.h"

namespace {

constexpr UINT HelpContentsId = 3074;

// Help > Contents opens the help file beside the program at its contents.
TEST(Startup, FirstStartShowsTheMainWindowAndItsHelpAndTwoCopiesRunIndependently) {
    TovaneRun first, second;
    ASSERT_TRUE(CopyBesideTests("Tovane.hlp", first.Folder.Path()));
    ASSERT_TRUE(first.Start());
    EXPECT_TRUE(IsWindowVisible(first.Main));
    EXPECT_TRUE(GetWindowLongA(first.Main, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
    PostMessageA(first.Main, WM_COMMAND, HelpContentsId, 0); // what Help > Contents sends
    HWND viewer = WaitForHelpViewer();
    ASSERT_NE(nullptr, viewer);
    EXPECT_TRUE(WaitForHelpTopic(viewer, "Tovane Help")) << HelpTopicTitle(viewer);
    PostMessageA(viewer, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitForHelpViewerClosed());

    ASSERT_TRUE(second.Start());
    EXPECT_NE(first.Main, second.Main);
    ASSERT_TRUE(first.Close());
    EXPECT_TRUE(second.Process.Running());
    ASSERT_TRUE(second.Close());
}

// What a screen reader sees: the strip's object read through COM from this process, and the
// value events the program raises, hooked from here.
int ValueEvents = 0;
void CALLBACK CountValueEvent(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG, DWORD, DWORD) {
    if (ClassOf(window) == "TovaneStatusWndClass" && object == OBJID_CLIENT) ++ValueEvents;
}

TEST(MainWindow, ScreenReaderReadsTheLogFromAnotherProcess) {
    TovaneRun tovane;
    ASSERT_TRUE(tovane.Start());
    HWND main = tovane.Main;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        Accessible list(FindChild(main, "TovaneStatusWndClass"));
        ASSERT_TRUE(list);
        EXPECT_EQ(L"Status", list.Name());
        ASSERT_EQ(1, list.Count()) << "the first start writes one line";
        EXPECT_EQ(L"No connection selected", list.Name(1));

        // The image buttons answer as push buttons. Pressing Connect without a connection
        // chosen writes one more line; the event reaches this process.
        Accessible connect(FindChild(main, "TovaneIBTNClass", "Connect"));
        Accessible disconnect(FindChild(main, "TovaneIBTNClass", "Disconnect"));
        ASSERT_TRUE(connect && disconnect);
        for (const Accessible* button : {&connect, &disconnect}) {
            EXPECT_EQ(ROLE_SYSTEM_PUSHBUTTON, button->Role());
            EXPECT_EQ(L"Press", button->Text(&IAccessible::get_accDefaultAction));
        }
        EXPECT_FALSE(connect.State() & STATE_SYSTEM_UNAVAILABLE);
        EXPECT_TRUE(disconnect.State() & STATE_SYSTEM_UNAVAILABLE);
        EXPECT_EQ(L"Connect", connect.Name());
        HWINEVENTHOOK hook =
            SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
                            CountValueEvent, tovane.Process.Pid(), 0, WINEVENT_OUTOFCONTEXT);
        ASSERT_NE(nullptr, hook);
        EXPECT_EQ(S_OK, connect->accDoDefaultAction(ChildId(CHILDID_SELF)));
        EXPECT_TRUE(PumpUntil([] { return ValueEvents == 1; }, 5000));
        UnhookWinEvent(hook);
        EXPECT_EQ(STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED,
                  connect.State() & (STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED))
            << "clicked, it has the focus";
        ASSERT_EQ(2, list.Count());
        EXPECT_EQ(list.Name(2), list.Value());
    }
    EXPECT_TRUE(tovane.Close());
    CoUninitialize();
}

} // namespace
