// The nested modal loop and the main loop's Tab/Enter/Escape routing.
#include <gtest/gtest.h>

#include <vector>

#include "common/NCommon.h"
#include "support/Harness.h"

namespace {

struct Seen {
    HWND Window;
    UINT Message;
    WPARAM Key;
};
std::vector<Seen> seen;
LRESULT keyResult = 0;
WNDPROC editProc = nullptr;
BOOL ownerEnabledAtShow = TRUE;

LRESULT CALLBACK ModalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SHOWWINDOW && wParam && GetWindow(window, GW_OWNER))
        ownerEnabledAtShow = IsWindowEnabled(GetWindow(window, GW_OWNER));
    if (message == WM_KEYDOWN || message == WM_CHAR) {
        seen.push_back({window, message, wParam});
        return keyResult;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK EditSpy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN || message == WM_CHAR) seen.push_back({window, message, wParam});
    return CallWindowProcA(editProc, window, message, wParam, lParam);
}

// DestroyWindow on a focused foreground window costs Wine two seconds here, so the windows
// live for the whole suite; a test that destroys the modal window gets a new one.
class Modal : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        owner = CreateWindowExA(0, TestClass("TestModalClass", ModalProc), "owner",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
    }
    static void TearDownTestSuite() {
        if (IsWindow(modal)) DestroyWindow(modal);
        DestroyWindow(owner);
    }
    void SetUp() override {
        seen.clear();
        keyResult = 0;
        if (!IsWindow(modal)) {
            modal = CreateWindowExA(0, "TestModalClass", "modal", WS_CAPTION | WS_SYSMENU, 40, 40,
                                    200, 100, owner, nullptr, nullptr, nullptr);
            edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 5, 5, 100, 20, modal,
                                   nullptr, nullptr, nullptr);
            editProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditSpy)));
        }
        EnableWindow(owner, TRUE);
    }
    void TearDown() override {
        ShowWindow(modal, SW_HIDE);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    // Posts a key-down to the edit, as the system would with the edit focused.
    void Key(WPARAM key) { PostMessageA(edit, WM_KEYDOWN, key, 1); }
    int Run() {
        SetFocus(edit);
        return RunModal(modal, owner);
    }
    static HWND owner, modal, edit;
};
HWND Modal::owner = nullptr;
HWND Modal::modal = nullptr;
HWND Modal::edit = nullptr;

TEST_F(Modal, DialogKeysGoToTheModalWindowOthersToTheFocus) {
    Key(VK_TAB);
    Key(VK_RETURN);
    Key(VK_ESCAPE);
    Key('A');
    RunStepsOnTimer({[] { EndModal(modal, ModalOk); }});
    EXPECT_EQ(ModalOk, Run());
    std::vector<WPARAM> toModal, toEditKeys;
    for (const Seen& s : seen) {
        if (s.Window == modal && s.Message == WM_KEYDOWN) toModal.push_back(s.Key);
        if (s.Window == edit && s.Message == WM_KEYDOWN) toEditKeys.push_back(s.Key);
    }
    EXPECT_EQ((std::vector<WPARAM>{VK_TAB, VK_RETURN, VK_ESCAPE}), toModal);
    EXPECT_EQ((std::vector<WPARAM>{'A'}), toEditKeys);
    EXPECT_TRUE(IsWindowEnabled(owner));
}

// Each answer comes from a timer step inside the loop, as from a window's handler.
// Disabled before the window shows: no one watching the screen sees it beside a usable owner.
TEST_F(Modal, OwnerDisabledBeforeTheWindowShowsAndAnswerZeroDoesNotEndTheLoop) {
    bool disabledInside = false;
    ownerEnabledAtShow = TRUE;
    RunStepsOnTimer({[] { EndModal(modal, 0); },
                     [&] {
                         disabledInside = !IsWindowEnabled(owner);
                         EndModal(modal, 0);
                     },
                     [] { EndModal(modal, 7); }});
    EXPECT_EQ(7, Run());
    EXPECT_FALSE(ownerEnabledAtShow);
    EXPECT_TRUE(disabledInside);
    EXPECT_TRUE(IsWindowEnabled(owner));
}

// The inner window has the same owner, as the password window opened by the poll inside the
// settings window's loop.
TEST_F(Modal, NestedLoopDisablesTheOuterWindowAndEndsOnlyOnItsOwnAnswer) {
    HWND inner = CreateWindowExA(0, "TestModalClass", "inner", WS_CAPTION, 60, 60, 100, 60, owner,
                                 nullptr, nullptr, nullptr);
    int innerResult = 0;
    bool outerEnabledInside = true;
    RunStepsOnTimer({[&] {
                         innerResult = RunModal(inner, owner);
                         DestroyWindow(inner);
                     },
                     [&] {
                         outerEnabledInside = IsWindowEnabled(modal) != FALSE;
                         EndModal(modal, 7); // the outer window's answer: the inner run goes on
                     },
                     [&] { EndModal(inner, ModalOk); }});
    EXPECT_EQ(7, Run());
    EXPECT_EQ(ModalOk, innerResult);
    EXPECT_FALSE(outerEnabledInside);
    EXPECT_TRUE(IsWindowEnabled(modal));
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(Modal, QuitInsideEndsTheLoopAndIsPostedAgain) {
    PostQuitMessage(5);
    EXPECT_EQ(ModalCancel, Run());
    EXPECT_FALSE(IsWindow(modal));
    EXPECT_TRUE(IsWindowEnabled(owner));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(5u, msg.wParam);
}

TEST_F(Modal, WindowDestroyedWithoutEndModalDoesNotHang) {
    RunStepsOnTimer({[] { DestroyWindow(modal); }});
    EXPECT_EQ(ModalCancel, Run());
    EXPECT_TRUE(IsWindowEnabled(owner));
}

// ---- The main loop's rule ----------------------------------------------------------------

MSG KeyDown(HWND target, WPARAM key) {
    MSG msg = {};
    msg.hwnd = target;
    msg.message = WM_KEYDOWN;
    msg.wParam = key;
    msg.lParam = 1;
    return msg;
}

TEST_F(Modal, MainLoopDropsDialogKeysTheActiveWindowHandles) {
    ShowWindow(modal, SW_SHOW);
    SetActiveWindow(modal);
    ASSERT_EQ(modal, GetActiveWindow());
    keyResult = 0;
    EXPECT_FALSE(OfferDialogKey(KeyDown(edit, VK_TAB)));
    keyResult = 1;
    EXPECT_TRUE(OfferDialogKey(KeyDown(edit, VK_RETURN)));
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(modal, seen[0].Window);
    EXPECT_EQ(static_cast<WPARAM>(VK_TAB), seen[0].Key);
    // Other keys and messages are not offered at all.
    seen.clear();
    EXPECT_TRUE(OfferDialogKey(KeyDown(edit, 'A')));
    MSG up = KeyDown(edit, VK_TAB);
    up.message = WM_KEYUP;
    EXPECT_TRUE(OfferDialogKey(up));
    MSG sys = KeyDown(edit, VK_TAB);
    sys.message = WM_SYSKEYDOWN;
    EXPECT_TRUE(OfferDialogKey(sys));
    EXPECT_TRUE(seen.empty());
}

TEST_F(Modal, DroppedTabIsNeverTranslatedIntoACharacter) {
    ShowWindow(modal, SW_SHOW);
    SetActiveWindow(modal);
    SetFocus(edit);
    keyResult = 0;
    PostMessageA(edit, WM_KEYDOWN, VK_TAB, 1);
    bool quit = false;
    int quitCode = 0;
    PumpPending(quit, quitCode);
    EXPECT_FALSE(quit);
    for (const Seen& s : seen)
        EXPECT_NE(static_cast<UINT>(WM_CHAR), s.Message);
    EXPECT_EQ("", TextOf(edit));
}

bool offeredOnThread = true;

DWORD WINAPI OfferEscapeOnFreshThread(LPVOID) {
    MSG msg = {};
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_ESCAPE;
    offeredOnThread = OfferDialogKey(msg);
    return 0;
}

TEST(MainLoop, DialogKeyWithNoActiveWindowIsDropped) {
    // A thread of its own has no active window.
    HANDLE thread = CreateThread(nullptr, 0, OfferEscapeOnFreshThread, nullptr, 0, nullptr);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    EXPECT_FALSE(offeredOnThread);
}

} // namespace
