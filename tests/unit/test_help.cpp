// Tovane.hlp under the real help viewer: it opens at contexts 100 and 101, its hotspots jump,
// topics from every topic block are shown in full, and HELP_QUIT closes the viewer.
#include <gtest/gtest.h>

#include <string>

#include "support/Driver.h"
#include "support/Pixels.h"
#include "support/TestSupport.h"

namespace {

constexpr DWORD ContentsContext = 100;
constexpr DWORD SettingsContext = 101;
constexpr DWORD LayoutFirstContext = 1000; // HelpLayout.hlp: topic i at 1000 + i
constexpr int LayoutTopics = 40;           // as tests/support/help_layout.py writes them
constexpr char ContentsTitle[] = "Tovane Help";
constexpr char SettingsTitle[] = "The settings window";
constexpr char HelpTitle[] = "Tovane Help"; // the viewer's caption

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// With TOVANE_SHOT_DIR set, saves what the screen shows of the window as a 24-bit BMP there.
void SaveShot(HWND window, const char* name) {
    char folder[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("TOVANE_SHOT_DIR", folder, sizeof folder)) return;
    WriteWholeFile(std::string(folder) + "\\" + name, BmpFileBytes(CaptureScreen(RectOf(window))));
}

// One viewer serves the whole suite, as it would serve a user: each test asks it for a topic.
class HelpViewer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        owner = CreateWindowExA(0, "STATIC", "help owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                nullptr, nullptr, nullptr);
    }
    static void TearDownTestSuite() {
        if (FindHelpViewer()) {
            WinHelpA(owner, TovaneHelp().c_str(), HELP_QUIT, 0);
            WaitForHelpViewerClosed();
        }
        DestroyWindow(owner);
    }
    static std::string TovaneHelp() { return ExeFolder() + "Tovane.hlp"; }
    static std::string LayoutHelp() { return ExeFolder() + "HelpLayout.hlp"; }

    // Opens file at a context number and returns the viewer once it shows that title.
    static HWND Open(const std::string& file, DWORD context, const std::string& title) {
        if (!WinHelpA(owner, file.c_str(), HELP_CONTEXT, context)) return nullptr;
        HWND viewer = WaitForHelpViewer();
        return viewer && WaitForHelpTopic(viewer, title) ? viewer : nullptr;
    }

    static HWND owner;
};
HWND HelpViewer::owner = nullptr;

TEST_F(HelpViewer, ContentsOpensAtContext100) {
    ASSERT_TRUE(FileExists(TovaneHelp()));
    HWND viewer = Open(TovaneHelp(), ContentsContext, ContentsTitle);
    ASSERT_NE(nullptr, viewer) << "shown: "
                               << (FindHelpViewer() ? HelpTopicTitle(FindHelpViewer())
                                                    : "no viewer");
    EXPECT_EQ(HelpTitle, TextOf(viewer));
    std::string text = HelpTopicText(viewer);
    for (const char* part : {"Connect", "Disconnect", "the tray", "Auto reconnect", "Tovane.dat",
                             "Simple status messages.", "Auto reconnect.", "Shrink when connected.",
                             "Tovane always on top.", "Troubleshooting"})
        EXPECT_TRUE(Contains(text, part)) << part;
    SaveShot(viewer, "help-100.bmp");
}

TEST_F(HelpViewer, SettingsWindowTopicOpensAtContext101) {
    HWND viewer = Open(TovaneHelp(), SettingsContext, SettingsTitle);
    ASSERT_NE(nullptr, viewer);
    std::string text = HelpTopicText(viewer);
    for (const char* part :
         {"Connection:", "User name:", "Password:", "Simple status messages.", "Auto reconnect.",
          "Shrink when connected.", "Tovane always on top.", "OK", "Cancel", "Help"})
        EXPECT_TRUE(Contains(text, part)) << part;
    SaveShot(viewer, "help-101.bmp");
}

TEST_F(HelpViewer, JumpsFromTheContentsReachTheirTopicsAndLeadBack) {
    // The contents ends with one jump to each further topic; their texts are the titles.
    for (const char* title : {"The settings window", "Connecting and the password prompt",
                              "Status lines and error messages", "Troubleshooting"}) {
        HWND viewer = Open(TovaneHelp(), ContentsContext, ContentsTitle);
        ASSERT_NE(nullptr, viewer);
        ASSERT_TRUE(ClickHelpText(viewer, title)) << title;
        EXPECT_TRUE(WaitForHelpTopic(viewer, title))
            << title << ", shown: " << HelpTopicTitle(viewer);
        EXPECT_TRUE(Contains(HelpTopicText(viewer), "Back to Tovane Help.")) << title;
    }
    // And back to the contents.
    HWND viewer = FindHelpViewer();
    ASSERT_TRUE(ClickHelpText(viewer, "Tovane Help"));
    EXPECT_TRUE(WaitForHelpTopic(viewer, ContentsTitle)) << HelpTopicTitle(viewer);
}

TEST_F(HelpViewer, EveryTopicOfAManyBlockFileIsShownInFull) {
    ASSERT_TRUE(FileExists(LayoutHelp()));
    for (int i = 0; i < LayoutTopics; ++i) {
        char title[64], end[64];
        wsprintfA(title, "Layout topic %d", i);
        wsprintfA(end, "End of layout topic %d.", i);
        HWND viewer = Open(LayoutHelp(), LayoutFirstContext + i, title);
        ASSERT_NE(nullptr, viewer) << title;
        std::string text = HelpTopicText(viewer);
        size_t endLength = lstrlenA(end);
        EXPECT_EQ(end, text.substr(text.size() - std::min(text.size(), endLength))) << title;
    }
}

TEST_F(HelpViewer, HelpQuitClosesTheViewer) {
    ASSERT_NE(nullptr, Open(TovaneHelp(), SettingsContext, SettingsTitle));
    EXPECT_TRUE(WinHelpA(owner, TovaneHelp().c_str(), HELP_QUIT, 0));
    EXPECT_TRUE(WaitForHelpViewerClosed());
    // It opens again afterwards, straight at the topic asked for.
    ASSERT_NE(nullptr, Open(TovaneHelp(), ContentsContext, ContentsTitle));
}

} // namespace
