// The about window at 96 dots per inch: what it shows, and its closing keys and clicks.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "DesignChecks.h"
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

// A key press as the system posts it, translated into the character by the modal loop.
void Space(HWND control) {
    PostMessageA(control, WM_KEYDOWN, VK_SPACE, 0x00390001);
    PostMessageA(control, WM_KEYUP, VK_SPACE, 0xC0390001);
}

TEST(AboutClosing, EveryWayEndsWithOkBeforeTheWindowGoesAndOnlySpaceOnTheLinkOpensIt) {
    BrowserStarts browser;
    CloseWatch watch(MainWindow);
    const std::function<void(HWND)> ways[] = {
        [](HWND about) { PostKey(about, VK_RETURN); },
        [](HWND about) { // the modal loop hands the focused link's Enter to the window
            PostKey(about, VK_TAB);
            PostKey(about, VK_TAB);
            PostKey(LinkOf(about), VK_RETURN);
        },
        [](HWND about) { PostMessageA(GetDlgItem(about, 1), BM_CLICK, 0, 0); },
        [](HWND about) {
            PostKey(about, VK_TAB);
            Space(GetDlgItem(about, 1));
        },
        [](HWND about) { // still there to take Enter once the link has handled Space
            PostKey(about, VK_TAB);
            PostKey(about, VK_TAB);
            Space(LinkOf(about));
            RunStepsOnTimer({[about] { PostKey(LinkOf(about), VK_RETURN); }});
        },
    };
    for (size_t i = 0; i < std::size(ways); ++i) {
        SCOPED_TRACE(i);
        HWND about = CreateAboutWindow(MainWindow);
        watch.Reset();
        EXPECT_EQ(ModalOk, DriveModal(about, MainWindow, {[&] { ways[i](about); }}, 5000));
        EXPECT_FALSE(IsWindow(about));
        EXPECT_EQ(1, watch.Destroyed());
        EXPECT_EQ("", watch.Problem());
        EnableWindow(MainWindow, TRUE);
        EXPECT_EQ(i + 1 == std::size(ways) ? 1u : 0u, browser.Opened().size());
    }
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

// Deciphering is in place: a second set-up would scramble the texts if it ran again.
TEST_F(AboutShown, HasItsCaptionClassChildrenAndPlainTextsAlsoAfterASecondSetUp) {
    ASSERT_NE(nullptr, about);
    EXPECT_EQ("About Tovane", TextOf(about));
    EXPECT_EQ("TovaneAboutWndClass", ClassOf(about));
    CheckAboutPainting(about);
    CheckAboutGeometry(about, At96);
    HWND close = GetDlgItem(about, 1);
    EXPECT_EQ("Close", TextOf(close));
    DWORD style = static_cast<DWORD>(GetWindowLongA(close, GWL_STYLE));
    EXPECT_EQ(DWORD(WS_VISIBLE | WS_TABSTOP), style & (WS_VISIBLE | WS_TABSTOP));
    EXPECT_EQ(2u, ChildrenOf(about).size());

    SetupAboutWindow();
    SetFocus(about);
    CheckAboutPainting(about);
}

} // namespace
