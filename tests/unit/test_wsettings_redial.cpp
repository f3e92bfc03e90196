// The poll keeps running while the settings window is open: a redial without credentials opens
// the password window over the main window from inside the settings window's modal loop.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/NConnection.h"
#include "app/WMain.h"
#include "common/NCommon.h"
#include "ras/NRas.h"
#include "support/FakeDialup.h"
#include "support/Harness.h"
#include "windows/WPass.h"
#include "windows/WSettings.h"

namespace {

std::vector<std::string> dialed; // "dial Office user password" of each dial

// What the script saw, step by step, from inside the nested loops.
struct Seen {
    HWND Settings = nullptr, Password = nullptr;
    bool SettingsOpenMeanwhile = false, SettingsEnabledMeanwhile = true;
    HWND PasswordOwner = nullptr;
    RECT PasswordRect = {};
    bool MainEnabledBetween = true; // after the password window, before the settings window
    int Step = 0;
};
Seen seen;
bool typeCredentials = false;

void CALLBACK Script(HWND, UINT, UINT_PTR id, DWORD) {
    switch (seen.Step) {
    case 0: { // wait for the poll to ask for credentials
        HWND password = FindWindowA("TovanePasswordWndClass", nullptr);
        if (!password || !IsWindowVisible(password)) return;
        seen.Password = password;
        seen.SettingsOpenMeanwhile = IsWindow(seen.Settings) && IsWindowVisible(seen.Settings);
        seen.SettingsEnabledMeanwhile = IsWindowEnabled(seen.Settings) != FALSE;
        seen.PasswordOwner = GetWindow(password, GW_OWNER);
        GetWindowRect(password, &seen.PasswordRect);
        if (typeCredentials) {
            std::vector<HWND> edits;
            for (HWND c = GetWindow(password, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                char cls[16] = {};
                GetClassNameA(c, cls, sizeof cls);
                if (lstrcmpiA(cls, "Edit") == 0) edits.push_back(c);
            }
            if (edits.size() == 2) {
                SetWindowTextA(edits[0], "erin");
                SetWindowTextA(edits[1], "typed");
            }
        }
        PostMessageA(GetDlgItem(password, typeCredentials ? 1 : 2), BM_CLICK, 0, 0);
        seen.Step = 1;
        return;
    }
    case 1: // the password window is gone: close the settings window too
        if (IsWindow(seen.Password)) return;
        seen.MainEnabledBetween = IsWindowEnabled(MainWindow) != FALSE;
        PostMessageA(GetDlgItem(seen.Settings, 2), BM_CLICK, 0, 0);
        seen.Step = 2;
        KillTimer(nullptr, id);
        return;
    }
}

void CALLBACK GiveUp(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    seen.Step = -1;
    if (HWND password = FindWindowA("TovanePasswordWndClass", nullptr)) {
        EndModal(password, ModalCancel);
        DestroyWindow(password);
    }
    EndModal(seen.Settings, 99);
    if (IsWindow(seen.Settings)) DestroyWindow(seen.Settings);
}

class RedialWhileSettingsOpen : public ::testing::TestWithParam<bool> {
  protected:
    static void SetUpTestSuite() {
        UseFakeDialup([](std::string call) {
            if (call.starts_with("dial")) dialed.push_back(call);
        });
        Dialup.PhoneBook = {"Office"};
        Dialup.DialResult = 1; // fails at once: no connection, no notifier
        Dialup.DialStoresHandle = false;
        DatFile dat = DatFile::At(150, 100, 300, 200);
        dat.ShrinkWhenConnected = 0;
        dat.Entry = "Office";
        TStartOptions options;
        options.RasBound = true;
        program = std::make_unique<StartedTovane>(dat.Bytes(), options);
        SetTimer(MainWindow, PollTimerId, PollPeriodMs, PollTimer); // the poll goes on
    }
    static void TearDownTestSuite() { program.reset(); }
    static std::unique_ptr<StartedTovane> program;
};
std::unique_ptr<StartedTovane> RedialWhileSettingsOpen::program;

TEST_P(RedialWhileSettingsOpen, PasswordWindowOpensOverTheMainWindowAndBothCloseCleanly) {
    typeCredentials = GetParam();
    FreeString(Settings.UserName);
    FreeString(Settings.Password);
    FreeString(SessionPassword);
    ResetController();
    RefreshConnection(); // ready, not connected, the user has not hung up
    ASSERT_EQ(TControllerState::Ready, ControllerNow().ControllerState);
    dialed.clear();
    seen = Seen();
    ForgetSecondaryMoves();

    seen.Settings = CreateSettingsWindow(MainWindow, RefreshConnection);
    ASSERT_NE(nullptr, seen.Settings);
    SetTimer(nullptr, 0, 50, Script);
    UINT_PTR guard = SetTimer(nullptr, 0, 15000, GiveUp);
    int result = RunModal(seen.Settings, MainWindow);
    KillTimer(nullptr, guard);

    EXPECT_EQ(2, seen.Step) << "the poll never asked for credentials";
    EXPECT_EQ(ModalCancel, result);
    EXPECT_TRUE(seen.SettingsOpenMeanwhile);
    EXPECT_FALSE(seen.SettingsEnabledMeanwhile);
    EXPECT_EQ(MainWindow, seen.PasswordOwner);
    RECT main = {};
    GetWindowRect(MainWindow, &main);
    int width = seen.PasswordRect.right - seen.PasswordRect.left;
    EXPECT_EQ(main.left + (main.right - main.left) / 2 - width / 2, seen.PasswordRect.left);
    EXPECT_EQ(main.top + DoubleFrameHeight / 2 + CaptionHeight + MenuHeight, seen.PasswordRect.top);

    EXPECT_FALSE(seen.MainEnabledBetween); // still modal to the settings window
    EXPECT_FALSE(IsWindow(seen.Settings));
    EXPECT_FALSE(IsWindow(seen.Password));
    EXPECT_TRUE(IsWindowEnabled(MainWindow));
    if (typeCredentials) {
        ASSERT_FALSE(dialed.empty());
        EXPECT_EQ("dial Office erin typed", dialed[0]);
    } else {
        EXPECT_TRUE(dialed.empty());
        EXPECT_TRUE(ControllerNow().UserStopped); // a cancelled prompt stops redialling
    }
    EXPECT_NE(TControllerState::Dialing, ControllerNow().ControllerState);
}

// Closes the settings window that the main window's menu opened, with the button asked for.
int closeWith = IDCANCEL;
void CALLBACK CloseSettings(HWND, UINT, UINT_PTR id, DWORD) {
    seen.Settings = FindWindowA("TovaneSettingsWndClass", nullptr);
    if (!seen.Settings || !IsWindowVisible(seen.Settings)) return;
    KillTimer(nullptr, id);
    PostMessageA(GetDlgItem(seen.Settings, closeWith), BM_CLICK, 0, 0);
}

// A refusal counted, then the settings window through the main window: its OK starts the
// refusals over (the credentials may be right now), its Cancel does not.
TEST_P(RedialWhileSettingsOpen, TheSettingsOkStartsTheRefusalsOver) {
    SetString(Settings.UserName, "erin");
    SetString(Settings.Password, "stored");
    ResetController();
    Dialup.DialResult = 691;
    Connect();
    Dialup.DialResult = 1;
    ASSERT_EQ(1, ControllerNow().RefusalCount);
    seen = Seen();
    closeWith = GetParam() ? IDOK : IDCANCEL;
    SetTimer(nullptr, 0, 50, CloseSettings);
    UINT_PTR guard = SetTimer(nullptr, 0, 15000, GiveUp);
    SendMessageA(MainWindow, WM_COMMAND, CmdSettings, 0);
    KillTimer(nullptr, guard);
    EXPECT_FALSE(IsWindow(seen.Settings));
    EXPECT_EQ(GetParam() ? 0 : 1, ControllerNow().RefusalCount);
}
INSTANTIATE_TEST_SUITE_P(CancelledOrAnswered, RedialWhileSettingsOpen, ::testing::Bool());

} // namespace
