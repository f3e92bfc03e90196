// The password window, run modally over the real main window.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DesignChecks.h"
#include "app/WMain.h"
#include "common/NCommon.h"
#include "support/Harness.h"
#include "support/Pixels.h"
#include "windows/WPass.h"

namespace {

std::unique_ptr<StartedTovane> program;

class PasswordWindow : public ::testing::Test {
  protected:
    // The real main window is the owner: its own move sends the window back over it.
    static void SetUpTestSuite() {
        program = std::make_unique<StartedTovane>(DatFile::At(200, 150).Bytes());
        ASSERT_TRUE(program->Started);
    }
    static void TearDownTestSuite() { program.reset(); }
    void SetUp() override {
        SetString(Settings.ConnectionName, "Office");
        FreeString(Settings.UserName);
        FreeString(Settings.Password);
        FreeString(SessionPassword);
        ForgetSecondaryMoves();
        ClearTimerSteps();
        SetForegroundWindow(MainWindow);
    }
    void TearDown() override {
        SetShift(false);
        PumpMessages(0);
    }
    HWND Create() {
        window = CreatePasswordWindow(MainWindow);
        EXPECT_NE(nullptr, window);
        user = FindWindowExA(window, nullptr, "EDIT", nullptr);
        password = FindWindowExA(window, user, "EDIT", nullptr);
        ok = GetDlgItem(window, 1);
        cancel = GetDlgItem(window, 2);
        return window;
    }
    // Opens the window, runs the steps inside its modal loop, returns the modal result.
    int Run(std::vector<std::function<void()>> steps) {
        return DriveModal(Create(), MainWindow, std::move(steps));
    }
    HWND window = nullptr, user = nullptr, password = nullptr, ok = nullptr, cancel = nullptr;
};

TEST_F(PasswordWindow, BuiltWithItsCaptionLayoutAndControls) {
    SetString(Settings.UserName, "bob");
    SetString(Settings.Password, "stored");
    ASSERT_NE(nullptr, Create());
    EXPECT_EQ(nullptr, CreatePasswordWindow(MainWindow)) << "one at a time";
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ("Tovane - Office password", TextOf(window));
    EXPECT_EQ("TovanePasswordWndClass", ClassOf(window));
    CheckDesign(window, PasswordSize, PasswordBoxes, At96);

    ASSERT_TRUE(user && password && ok && cancel);
    EXPECT_EQ("bob", TextOf(user));
    EXPECT_EQ("stored", TextOf(password)); // shown masked
    EXPECT_FALSE(GetWindowLongA(user, GWL_STYLE) & ES_PASSWORD);
    EXPECT_TRUE(GetWindowLongA(password, GWL_STYLE) & ES_PASSWORD);
    for (HWND edit : {user, password}) {
        EXPECT_EQ(100, SendMessageA(edit, EM_GETLIMITTEXT, 0, 0));
        EXPECT_EQ(0, GetDlgCtrlID(edit));
        EXPECT_EQ(reinterpret_cast<LRESULT>(GuiFont), SendMessageA(edit, WM_GETFONT, 0, 0));
    }
    EXPECT_EQ("OK", TextOf(ok));
    EXPECT_EQ("Cancel", TextOf(cancel));
    DestroyWindow(window);

    FreeString(Settings.ConnectionName);
    FreeString(Settings.UserName);
    ASSERT_NE(nullptr, Create());
    EXPECT_EQ("Tovane -  password", TextOf(window));
    EXPECT_EQ("", TextOf(user));
    DestroyWindow(window);
}

TEST_F(PasswordWindow, EnterStoresTheUserNameAndTheTypedPasswordOnlyForTheSession) {
    SetString(Settings.Password, "on file");
    CloseWatch watch(MainWindow);
    int result = Run({[&] {
        SetWindowTextA(user, "alice");
        SetWindowTextA(password, "typed");
        PressKey(VK_RETURN);
    }});
    EXPECT_EQ(ModalOk, result);
    EXPECT_EQ("alice", Text(Settings.UserName));
    EXPECT_EQ("typed", Text(SessionPassword));
    EXPECT_EQ("on file", Text(Settings.Password));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ("", watch.Problem());

    // OK with the stored password left as shown copies it into the session.
    result = Run({[&] { SendMessageA(ok, BM_CLICK, 0, 0); }});
    EXPECT_EQ(ModalOk, result);
    EXPECT_EQ("on file", Text(SessionPassword));
    EXPECT_EQ("on file", Text(Settings.Password));
}

TEST_F(PasswordWindow, EmptyFieldsClearTheUserNameButNeverTheSessionPassword) {
    SetString(SessionPassword, "earlier");
    SetString(Settings.UserName, "dave");
    EXPECT_EQ(ModalOk, Run({[&] {
                  SetWindowTextA(user, "");
                  PressKey(VK_RETURN);
              }}));
    EXPECT_EQ("(null)", Text(Settings.UserName));
    EXPECT_EQ("earlier", Text(SessionPassword));

    FreeString(SessionPassword); // first use: nothing typed leaves it absent
    EXPECT_EQ(ModalOk, Run({[&] {
                  SetWindowTextA(user, "erin");
                  PressKey(VK_RETURN);
              }}));
    EXPECT_EQ("erin", Text(Settings.UserName));
    EXPECT_EQ(nullptr, SessionPassword);
}

TEST_F(PasswordWindow, CancelEscapeAndTheCloseBoxChangeNothing) {
    SetString(Settings.UserName, "frank");
    SetString(SessionPassword, "old");
    std::vector<std::function<void()>> ways = {
        [&] { SendMessageA(cancel, BM_CLICK, 0, 0); },
        [&] { PressKey(VK_ESCAPE); },
        [&] { PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    CloseWatch watch(MainWindow);
    for (size_t i = 0; i < ways.size(); ++i) {
        watch.Reset();
        int result = Run({[&] {
                              SetWindowTextA(user, "changed");
                              SetWindowTextA(password, "changed");
                          },
                          ways[i]});
        EXPECT_EQ(ModalCancel, result) << i;
        EXPECT_EQ("frank", Text(Settings.UserName)) << i;
        EXPECT_EQ("old", Text(SessionPassword)) << i;
        EXPECT_FALSE(IsWindow(window)) << i;
        EXPECT_EQ("", watch.Problem()) << i;
    }
}

TEST_F(PasswordWindow, FocusStartsInThePasswordAndComesBackToTheSameFieldAfterSwitchingAway) {
    HWND other = CreateWindowExA(0, TestClass("TestOwner"), "other", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                 100, nullptr, nullptr, nullptr, nullptr);
    HWND first = nullptr, back = nullptr, away = nullptr;
    Run({[&] { first = GetFocus(); }, [&] { SetFocus(user); }, [&] { SetActiveWindow(other); },
         [&] { away = GetFocus(); }, [&] { SetActiveWindow(window); }, [&] { back = GetFocus(); },
         [] { PressKey(VK_ESCAPE); }});
    DestroyWindow(other);
    EXPECT_EQ(password, first);
    EXPECT_NE(user, away);
    EXPECT_EQ(user, back);
}

TEST_F(PasswordWindow, PaintsBothLabelsAndTheEtchedLine) {
    COLORREF lineTop = 0, lineBelow = 0, face = 0;
    int userLabel = 0, passwordLabel = 0;
    Run({[&] {
             UpdateWindow(window);
             Capture shown = CaptureClient(window);
             lineTop = shown.At(20, 47);
             lineBelow = shown.At(20, 48);
             face = shown.At(20, 50);
             userLabel = shown.Count(ColorBtnText, 4, 4, 60, 17);
             passwordLabel = shown.Count(ColorBtnText, 107, 4, 163, 17);
         },
         [] { PressKey(VK_ESCAPE); }});
    EXPECT_EQ(ColorBtnShadow, lineTop);
    EXPECT_EQ(ColorBtnHighlight, lineBelow);
    EXPECT_EQ(ColorBtnFace, face);
    EXPECT_GT(userLabel, 20);
    EXPECT_GT(passwordLabel, 20);
}

} // namespace
