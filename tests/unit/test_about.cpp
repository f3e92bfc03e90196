// The about window at 96 dots per inch: what it shows, how it closes, the Tab cycle, its system
// menu and where it opens.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AboutChecks.h"
#include "app/WMain.h"
#include "common/NCommon.h"
#include "controls/NURL.h"
#include "support/Harness.h"
#include "windows/WAbout.h"

namespace {

// The program's start-up, with the real main window as the owner: its own move is what sends
// the about window back over it.
class AboutEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        program = std::make_unique<StartedTovane>(DatFile::At(150, 120, 420, 260).Bytes());
    }
    void TearDown() override { program.reset(); }
    std::unique_ptr<StartedTovane> program;
};
const auto* environment = ::testing::AddGlobalTestEnvironment(new AboutEnvironment);

HWND LinkOf(HWND about) {
    return FindWindowExA(about, nullptr, LinkClassName, nullptr);
}

struct ModalRun {
    int Result = 0;
    bool Gone = false;
    int Destroyed = 0;
    std::string Problem; // what CloseWatch saw go wrong; empty when the owner came back
};

CloseWatch* watch = nullptr;

// Opens the window, lets input post its messages from inside the modal loop, and runs the loop
// to its end.
ModalRun RunAbout(const std::function<void(HWND about)>& input) {
    ModalRun run;
    HWND about = CreateAboutWindow(MainWindow);
    EXPECT_NE(nullptr, about);
    watch->Reset();
    run.Result = DriveModal(about, MainWindow, {[&] { input(about); }}, 5000);
    run.Gone = !IsWindow(about);
    run.Destroyed = watch->Destroyed();
    run.Problem = watch->Problem();
    EnableWindow(MainWindow, TRUE);
    return run;
}

class AboutClosing : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { watch = new CloseWatch(MainWindow); }
    static void TearDownTestSuite() {
        delete watch;
        watch = nullptr;
    }
    BrowserStarts browser;
};

TEST_F(AboutClosing, EnterEndsWithOkBeforeTheWindowGoes) {
    ModalRun run = RunAbout([](HWND about) { PostKey(about, VK_RETURN); });
    EXPECT_EQ(ModalOk, run.Result);
    EXPECT_TRUE(run.Gone);
    EXPECT_EQ(1, run.Destroyed);
    EXPECT_EQ("", run.Problem);
}

TEST_F(AboutClosing, EnterOnTheFocusedLinkEndsWithOkAndOpensNothing) {
    ModalRun run = RunAbout([](HWND about) {
        HWND link = LinkOf(about);
        PostKey(about, VK_TAB);
        PostKey(about, VK_TAB);
        // The modal loop hands the focused link's Enter to the window.
        PostKey(link, VK_RETURN);
    });
    EXPECT_EQ(ModalOk, run.Result);
    EXPECT_TRUE(run.Gone);
    EXPECT_EQ("", run.Problem);
    EXPECT_TRUE(browser.Opened().empty());
}

TEST_F(AboutClosing, TheCloseButtonEndsWithOkBeforeTheWindowGoes) {
    ModalRun run = RunAbout([](HWND about) { PostMessageA(GetDlgItem(about, 1), BM_CLICK, 0, 0); });
    EXPECT_EQ(ModalOk, run.Result);
    EXPECT_TRUE(run.Gone);
    EXPECT_EQ("", run.Problem);
}

TEST_F(AboutClosing, SpaceOnTheFocusedButtonEndsWithOk) {
    ModalRun run = RunAbout([](HWND about) {
        HWND close = GetDlgItem(about, 1);
        PostKey(about, VK_TAB);
        PostMessageA(close, WM_KEYDOWN, VK_SPACE, 0x00390001);
        PostMessageA(close, WM_KEYUP, VK_SPACE, 0xC0390001);
    });
    EXPECT_EQ(ModalOk, run.Result);
    EXPECT_TRUE(run.Gone);
    EXPECT_EQ("", run.Problem);
}

TEST_F(AboutClosing, SpaceOnTheLinkOpensTheAddressAndLeavesTheWindowOpen) {
    ModalRun run = RunAbout([](HWND about) {
        HWND link = LinkOf(about);
        PostKey(about, VK_TAB);
        PostKey(about, VK_TAB);
        // A key press, translated into the character by the modal loop.
        PostMessageA(link, WM_KEYDOWN, VK_SPACE, 0x00390001);
        PostMessageA(link, WM_KEYUP, VK_SPACE, 0xC0390001);
        // Still there to take Enter once the character is handled: a closed window would end
        // with 2 or the stuck result.
        RunStepsOnTimer({[link] { PostKey(link, VK_RETURN); }});
    });
    EXPECT_EQ(ModalOk, run.Result);
    ASSERT_EQ(1u, browser.Opened().size());
    EXPECT_EQ(PlainAboutTexts().back(), browser.Opened()[0]);
    EXPECT_EQ("http://tovane.example.org/", browser.Opened()[0]);
}

// One window for the tests that only look and move the focus: destroying is slow under Wine.
class AboutShown : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ForgetSecondaryMoves();
        about = CreateAboutWindow(MainWindow);
        ShowWindow(about, SW_SHOWNORMAL);
        SetForegroundWindow(about);
        PumpMessages(100);
    }
    static void TearDownTestSuite() {
        ShowWindow(about, SW_HIDE);
        DestroyWindow(about);
    }
    static HWND about;
};
HWND AboutShown::about = nullptr;

TEST_F(AboutShown, HasItsCaptionClassTheLinkAndTheCloseButtonWhereTheyBelong) {
    ASSERT_NE(nullptr, about);
    EXPECT_EQ("About Tovane", TextOf(about));
    EXPECT_EQ("TovaneAboutWndClass", ClassOf(about));
    CheckAboutPainting(about);
    CheckAboutGeometry(about, [](int length) { return length; });
    HWND close = GetDlgItem(about, 1);
    char text[32] = {};
    GetWindowTextA(close, text, sizeof text);
    EXPECT_STREQ("Close", text);
    DWORD style = static_cast<DWORD>(GetWindowLongA(close, GWL_STYLE));
    EXPECT_EQ(DWORD(WS_VISIBLE | WS_TABSTOP), style & (WS_VISIBLE | WS_TABSTOP));
    EXPECT_EQ(2u, [&] {
        unsigned n = 0;
        for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            ++n;
        return n;
    }());
}

TEST_F(AboutShown, PaintsThePlainTextsInsideTheirFrames) {
    SetFocus(about);
    CheckAboutPainting(about);
}

TEST_F(AboutShown, ASecondSetUpLeavesTheTextsReadable) {
    // Deciphering is in place: running it twice would scramble the texts.
    SetupAboutWindow();
    SetFocus(about);
    CheckAboutPainting(about);
}

} // namespace
