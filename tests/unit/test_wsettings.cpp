// The settings window in-process: how it is built, the entry list, OK and the cancel paths, the
// Tab cycle, help, where it opens and what it paints.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "DesignChecks.h"
#include "app/NConnection.h"
#include "common/NCommon.h"
#include "controls/NIBtn.h"
#include "ras/NRas.h"
#include "support/FakeDialup.h"
#include "support/Harness.h"
#include "support/Pixels.h"
#include "windows/WSettings.h"

namespace {

HWND Owner = nullptr; // stands in for the main window

// ---- A help viewer of the test's own: WinHelpA finds it by its class name ---------------------

struct HelpRequest {
    HWND From;
    UINT Command;
    LONG Data;
    std::string File;
};
std::vector<HelpRequest> helpRequests;

#pragma pack(push, 1)
struct WinHelpBlock { // what WinHelpA hands the viewer in WM_COPYDATA
    WORD Size, Command;
    LONG Data, Reserved;
    WORD OfsFilename, OfsData;
};
#pragma pack(pop)

LRESULT CALLBACK HelpViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) return DefWindowProcA(window, message, wParam, lParam);
    auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    auto* block = static_cast<const WinHelpBlock*>(data->lpData);
    std::string file;
    if (block->OfsFilename && block->OfsFilename < data->cbData)
        file = reinterpret_cast<const char*>(block) + block->OfsFilename;
    helpRequests.push_back({reinterpret_cast<HWND>(wParam), block->Command, block->Data, file});
    return 1;
}

// ---- Every window as it is asked for ---------------------------------------------------------

struct Created {
    std::string Class, Text;
    RECT Box; // x, y, width, height
    UINT_PTR Id;
    HWND Parent;
};
std::vector<Created> created;

LRESULT CALLBACK RecordCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA* cs = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
        char cls[64] = {};
        GetClassNameA(reinterpret_cast<HWND>(wParam), cls, sizeof cls);
        created.push_back({cls, cs->lpszName ? cs->lpszName : "",
                           RECT{cs->x, cs->y, cs->cx, cs->cy},
                           reinterpret_cast<UINT_PTR>(cs->hMenu), cs->hwndParent});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// ---- Finding and reading the window -------------------------------------------------------------

struct Controls {
    HWND Window = nullptr, List = nullptr, UserName = nullptr, Password = nullptr;
    HWND Checks[4] = {};
    HWND Ok = nullptr, Cancel = nullptr, Help = nullptr;
};

Controls Find(HWND window) {
    Controls c;
    c.Window = window;
    std::vector<HWND> standard; // id 0, in creation order
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgCtrlID(child) == 0) standard.push_back(child);
    if (standard.size() == 7) {
        c.List = standard[0];
        c.UserName = standard[1];
        c.Password = standard[2];
        std::copy(standard.begin() + 3, standard.end(), c.Checks);
    }
    c.Ok = GetDlgItem(window, 1);
    c.Cancel = GetDlgItem(window, 2);
    c.Help = GetDlgItem(window, 9);
    return c;
}

std::vector<std::string> ListItems(HWND list) {
    std::vector<std::string> items;
    for (LRESULT i = 0, n = SendMessageA(list, CB_GETCOUNT, 0, 0); i < n; ++i) {
        char text[300] = {};
        SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

bool IsTopmost(HWND window) {
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

std::vector<std::string> problemBoxes;
int CaptureProblem(const char* text, const char*, UINT) {
    problemBoxes.push_back(text);
    return IDOK;
}

Controls running; // the window a test has open

// One owner for the whole suite: destroying focused windows is slow under Wine.
class SettingsWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitShared();
        folder = new TempFolder;
        SettingsFile = folder->File("Tovane.dat");
        HelpFile = folder->File("Tovane.hlp");
        RegisterImageButton();
        SetupSettingsWindow();
        Owner = TestWindow(TestClass("TestSettingsOwner"), 100, 80, 420, 300);
        // The controller reports to the owner as it would to the main window.
        AttachMainView({[](const char* title) { SetWindowTextA(Owner, title); }, [](bool) {},
                        [](bool) {}, [] {}, [](TTrayNews, const char*) {}, [](const char*) {},
                        [] { return false; }, [](UINT, WPARAM, LPARAM) {}});
    }
    static void TearDownTestSuite() {
        DestroyWindow(Owner);
        Owner = nullptr;
        delete folder;
    }
    void SetUp() override {
        UseFakeDialup(); // a phone book of the test's own, no lines up
        Dialup.PhoneBook = {"Office", "Home ISP", "Backup"};
        Settings.SimpleStatus = 1;
        Settings.AutoReconnect = 0;
        Settings.ShrinkWhenConnected = 1;
        Settings.AlwaysOnTop = 0;
        Settings.WindowRect = {10, 20, 282, 165};
        ReplaceString(Settings.ConnectionName, NewString("Home ISP"));
        ReplaceString(Settings.UserName, NewString("alice"));
        ReplaceString(Settings.Password, NewString("secret"));
        SetWindowTextA(Owner, "untouched");
        SetWindowPos(Owner, HWND_NOTOPMOST, 100, 80, 420, 300, SWP_NOACTIVATE);
        ForgetSecondaryMoves();
        DeleteFileA(SettingsFile.c_str());
        EnableWindow(Owner, TRUE);
    }
    void TearDown() override {
        if (IsWindow(running.Window)) DestroyWindow(running.Window);
        running = Controls();
    }

  public:
    static Controls Open() {
        return running = Find(CreateSettingsWindow(Owner, RefreshConnection));
    }
    // Creates the window and runs it modally; the script runs from inside the modal loop.
    static int Run(std::function<void(const Controls&)> inside) {
        HWND window = CreateSettingsWindow(Owner, RefreshConnection);
        running = Find(window);
        return DriveModal(window, Owner, {[inside] { inside(running); }});
    }

  protected:
    static TempFolder* folder;
};
TempFolder* SettingsWindow::folder = nullptr;

// ---- Building the window ------------------------------------------------------------------------

TEST_F(SettingsWindow, ClassHasNoBackgroundIconOrMenu) {
    WNDCLASSA wc = {};
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "TovaneSettingsWndClass", &wc));
    EXPECT_EQ(0u, wc.style);
    EXPECT_EQ(nullptr, wc.hbrBackground);
    EXPECT_EQ(nullptr, wc.hIcon);
    EXPECT_EQ(nullptr, wc.lpszMenuName);
    EXPECT_EQ(0, wc.cbClsExtra + wc.cbWndExtra);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), wc.hCursor);
}

TEST_F(SettingsWindow, ControlsAreMadeWithTheirClassesTextsIdsAndPlacesNoneFocused) {
    created.clear();
    HHOOK hook = SetWindowsHookExA(WH_CBT, RecordCreation, nullptr, GetCurrentThreadId());
    Controls c = Open();
    UnhookWindowsHookEx(hook);
    ASSERT_NE(nullptr, c.List) << "expected seven standard controls with id 0";

    std::vector<Created> mine; // the window and its children, in creation order
    for (const Created& w : created)
        if (w.Parent == c.Window || w.Class == "TovaneSettingsWndClass") mine.push_back(w);
    ASSERT_EQ(11u, mine.size());
    EXPECT_EQ("TovaneSettingsWndClass", mine[0].Class);
    EXPECT_EQ("Tovane - Settings", mine[0].Text);
    EXPECT_EQ(Owner, mine[0].Parent);

    // The styles are pinned where they are defined; here what each control is and where, the
    // list as tall as when dropped down.
    const struct {
        const char* Class; // null: an image button
        const char* Text;
        UINT_PTR Id;
    } want[] = {
        {"ComboBox", "Connection:", 0},
        {"Edit", "alice", 0},
        {"Edit", "secret", 0},
        {"Button", "Simple status messages.", 0},
        {"Button", "Auto reconnect.", 0},
        {"Button", "Shrink when connected.", 0},
        {"Button", "Tovane always on top.", 0},
        {nullptr, "OK", 1},
        {nullptr, "Cancel", 2},
        {nullptr, "Help", 9},
    };
    for (int i = 0; i < 10; ++i) {
        const Created& w = mine[1 + i];
        if (want[i].Class) {
            EXPECT_STRCASEEQ(want[i].Class, w.Class.c_str());
        }
        EXPECT_EQ(want[i].Text, w.Text);
        EXPECT_EQ(want[i].Id, w.Id) << w.Text;
    }
    EXPECT_EQ(SettingsBoxes[0], mine[1].Box);
    CheckDesign(c.Window, SettingsSize, SettingsBoxes, At96);
    HWND focus = GetFocus(); // no control has the focus at creation
    EXPECT_TRUE(focus == nullptr || GetParent(focus) != c.Window);
    for (HWND control : {c.List, c.UserName, c.Password, c.Checks[0], c.Checks[1], c.Checks[2],
                         c.Checks[3], c.Ok, c.Cancel, c.Help})
        EXPECT_EQ(GuiFont, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    EXPECT_EQ("Home ISP", TextOf(c.List)); // the selection, never the creation text
    EXPECT_EQ(nullptr, GetDlgItem(c.Window, 3));
}

TEST_F(SettingsWindow, ShowsTheStoredCredentialsAndOptionsAndTakesAHundredCharacters) {
    Settings.SimpleStatus = 0;
    Settings.AutoReconnect = 1;
    Settings.ShrinkWhenConnected = 0;
    Settings.AlwaysOnTop = 2; // any non-zero byte reads as set
    Controls c = Open();
    EXPECT_EQ("alice", TextOf(c.UserName));
    EXPECT_EQ("secret", TextOf(c.Password));
    EXPECT_NE(0, SendMessageA(c.Password, EM_GETPASSWORDCHAR, 0, 0));
    const LRESULT want[4] = {BST_UNCHECKED, BST_CHECKED, BST_UNCHECKED, BST_CHECKED};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(want[i], SendMessageA(c.Checks[i], BM_GETCHECK, 0, 0)) << i;
    DestroyWindow(c.Window);

    FreeString(Settings.UserName);
    FreeString(Settings.Password);
    c = Open();
    for (HWND edit : {c.UserName, c.Password}) { // empty, and no more than 100 can be typed
        EXPECT_EQ("", TextOf(edit));
        for (int i = 0; i < 130; ++i)
            SendMessageA(edit, WM_CHAR, 'a' + i % 26, 1);
        EXPECT_EQ(100, GetWindowTextLengthA(edit));
        EXPECT_EQ(100, SendMessageA(edit, EM_GETLIMITTEXT, 0, 0));
    }
}

// ---- The entry list --------------------------------------------------------------------------

// The phone book in the service's order, the stored entry selected: the last of equal names,
// compared case-sensitively, else the first. A failing or empty book leaves the list empty,
// silently (603: more than 100 entries).
TEST_F(SettingsWindow, ListsEntriesInTheServicesOrderAndSelectsTheStoredOneOrElseTheFirst) {
    const struct {
        std::vector<std::string> Book;
        DWORD Failure;
        const char* Stored;
        int Selected; // CB_ERR: none
    } cases[] = {{{"Zeta", "Alpha", "Home ISP", "Mid"}, 0, "Home ISP", 2},
                 {{"Home ISP", "Office", "Home ISP"}, 0, "Home ISP", 2},
                 {{"Office", "home isp", "Backup"}, 0, "Home ISP", 0},
                 {{"Office", "Backup"}, 0, nullptr, 0},
                 {{"Office", "Home ISP"}, 603, "Home ISP", CB_ERR},
                 {{}, 0, "Home ISP", CB_ERR}};
    for (const auto& c : cases) {
        Dialup.PhoneBook = c.Book;
        Dialup.EnumResult = c.Failure;
        SetString(Settings.ConnectionName, c.Stored);
        Controls shown = Open();
        const std::vector<std::string> listed = c.Failure ? std::vector<std::string>() : c.Book;
        EXPECT_EQ(listed, ListItems(shown.List)); // not sorted
        EXPECT_EQ(c.Selected, SendMessageA(shown.List, CB_GETCURSEL, 0, 0)) << Text(c.Stored);
        EXPECT_EQ(c.Selected == CB_ERR ? "" : listed[c.Selected], TextOf(shown.List));
        DestroyWindow(shown.Window);
    }
}

TEST_F(SettingsWindow, AServiceReportingTooMuchIsNotReadPastTheArray) {
    Dialup.Overfull = true; // a full list of unterminated names, and a far larger count
    EXPECT_EQ(std::vector<std::string>(100, std::string(257, 'x')), ListItems(Open().List));
}

// ---- OK --------------------------------------------------------------------------------------

TEST_F(SettingsWindow, OkStoresEverythingTakesUpTheNewEntryAndSavesAtOnce) {
    CloseWatch watch(Owner);
    int result = Run([](const Controls& c) {
        SendMessageA(c.List, CB_SETCURSEL, 2, 0);
        SetWindowTextA(c.UserName, "bob");
        SetWindowTextA(c.Password, "pw2");
        for (HWND check : c.Checks)
            Click(check); // 1 0 1 0 -> 0 1 0 1
        Click(c.Ok);
    });
    EXPECT_EQ(ModalOk, result);
    EXPECT_FALSE(IsWindow(running.Window));
    EXPECT_EQ("", watch.Problem());
    EXPECT_STREQ("Backup", Settings.ConnectionName);
    EXPECT_STREQ("bob", Settings.UserName);
    EXPECT_STREQ("pw2", Settings.Password);
    EXPECT_EQ(0, Settings.SimpleStatus);
    EXPECT_EQ(1, Settings.AutoReconnect);
    EXPECT_EQ(0, Settings.ShrinkWhenConnected);
    EXPECT_EQ(1, Settings.AlwaysOnTop);
    EXPECT_TRUE(IsTopmost(Owner));
    EXPECT_EQ("Tovane - Backup", TextOf(Owner)); // taken up by the controller
    EXPECT_EQ(CurrentSettingsBytes(), ReadWholeFile(SettingsFile));
}

// A stored entry the phone book lacks becomes the first; an empty or failing book makes it
// absent, and the title is taken up even when it was absent before.
TEST_F(SettingsWindow, OkTakesTheFirstEntryOrNoneWhenTheStoredOneIsNotInThePhoneBook) {
    ReplaceString(Settings.ConnectionName, NewString("Gone"));
    const struct {
        bool Empty;
        DWORD EnumResult;
        const char* Entry;
        const char* Title;
    } cases[] = {{false, 0, "Office", "Tovane - Office"},
                 {true, 0, "(null)", "Tovane"},
                 {true, 1, "(null)", "Tovane"}}; // absent before and after
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Entry + std::to_string(c.EnumResult));
        if (c.Empty) Dialup.PhoneBook.clear();
        Dialup.EnumResult = c.EnumResult;
        SetWindowTextA(Owner, "untouched");
        EXPECT_EQ(ModalOk, Run([](const Controls& c) { Click(c.Ok); }));
        EXPECT_EQ(c.Entry, Text(Settings.ConnectionName));
        EXPECT_EQ(c.Title, TextOf(Owner));
        EXPECT_EQ(CurrentSettingsBytes(), ReadWholeFile(SettingsFile));
    }
}

TEST_F(SettingsWindow, UnchangedEntryIsNotRefreshedButEverythingElseIsStoredAndSaved) {
    int result = Run([](const Controls& c) {
        SetWindowTextA(c.UserName, "carol");
        SetWindowTextA(c.Password, "");
        Click(c.Checks[0]);
        Click(c.Ok);
    });
    EXPECT_EQ(ModalOk, result);
    EXPECT_EQ("untouched", TextOf(Owner));
    EXPECT_STREQ("Home ISP", Settings.ConnectionName);
    EXPECT_STREQ("carol", Settings.UserName);
    EXPECT_EQ(nullptr, Settings.Password); // an empty field is stored as absent
    EXPECT_EQ(0, Settings.SimpleStatus);
    std::string bytes = ReadWholeFile(SettingsFile);
    EXPECT_EQ(CurrentSettingsBytes(), bytes);
    EXPECT_EQ(20u + 4 + 8 + 4 + 5 + 4, bytes.size());
}

TEST_F(SettingsWindow, EnterFromAnEditOrTheDroppedDownListAppliesLikeOk) {
    EXPECT_EQ(ModalOk, Run([](const Controls& c) {
                  SetFocus(c.Password);
                  SetWindowTextA(c.Password, "typed");
                  Click(c.Checks[3]);
                  PostKey(c.Password, VK_RETURN);
              }));
    EXPECT_STREQ("typed", Settings.Password);
    EXPECT_TRUE(IsTopmost(Owner));

    EXPECT_EQ(ModalOk, Run([](const Controls& c) {
                  SetFocus(c.List);
                  SendMessageA(c.List, CB_SETCURSEL, 0, 0);
                  SendMessageA(c.List, CB_SHOWDROPDOWN, TRUE, 0);
                  PostKey(GetFocus(), VK_RETURN);
              }));
    EXPECT_STREQ("Office", Settings.ConnectionName);
    EXPECT_EQ("Tovane - Office", TextOf(Owner));

    // Unticking on-top takes the main window out of the topmost band.
    ASSERT_EQ(1, Settings.AlwaysOnTop);
    EXPECT_EQ(ModalOk, Run([](const Controls& c) {
                  Click(c.Checks[3]);
                  Click(c.Ok);
              }));
    EXPECT_EQ(0, Settings.AlwaysOnTop);
    EXPECT_FALSE(IsTopmost(Owner));
}

TEST_F(SettingsWindow, AFailedSaveIsReportedAndTheWindowStillClosesWithTheNewValues) {
    const std::string saved = SettingsFile;
    SettingsFile = folder->File("no such folder\\Tovane.dat");
    problemBoxes.clear();
    ShowProblemBox = CaptureProblem;
    int result = Run([](const Controls& c) {
        SetWindowTextA(c.UserName, "dave");
        Click(c.Ok);
    });
    ShowProblemBox = MessageBoxProblem;
    SettingsFile = saved;
    EXPECT_EQ(ModalOk, result);
    EXPECT_FALSE(IsWindow(running.Window));
    EXPECT_STREQ("dave", Settings.UserName);
    ASSERT_EQ(1u, problemBoxes.size());
    EXPECT_EQ(0u, problemBoxes[0].find("Tovane was unable to save your settings."));
}

// ---- Cancel, Escape and the close box change nothing ---------------------------------------

class CancelPath : public SettingsWindow, public ::testing::WithParamInterface<int> {};

TEST_P(CancelPath, AfterChangingEveryControlNothingChanges) {
    const std::string before = "keep these bytes";
    WriteWholeFile(SettingsFile, before);
    const SettingsRecord record = Settings;
    int way = GetParam();
    CloseWatch watch(Owner);
    int result = Run([way](const Controls& c) {
        SendMessageA(c.List, CB_SETCURSEL, 2, 0);
        SetWindowTextA(c.UserName, "mallory");
        SetWindowTextA(c.Password, "other");
        for (HWND check : c.Checks)
            Click(check);
        if (way == 0) Click(c.Cancel);
        if (way == 1) SetFocus(c.UserName), PostKey(c.UserName, VK_ESCAPE);
        if (way == 2) PostMessageA(c.Window, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(ModalCancel, result);
    EXPECT_FALSE(IsWindow(running.Window));
    EXPECT_EQ("", watch.Problem());
    EXPECT_EQ(0, std::memcmp(&record, static_cast<SettingsRecord*>(&Settings), sizeof record));
    EXPECT_STREQ("Home ISP", Settings.ConnectionName);
    EXPECT_STREQ("alice", Settings.UserName);
    EXPECT_STREQ("secret", Settings.Password);
    EXPECT_EQ(before, ReadWholeFile(SettingsFile));
    EXPECT_FALSE(IsTopmost(Owner));
    EXPECT_EQ("untouched", TextOf(Owner));
}
INSTANTIATE_TEST_SUITE_P(CancelButtonEscapeAndCloseBox, CancelPath, ::testing::Values(0, 1, 2));

// ---- Help ---------------------------------------------------------------------------------------

// Help leaves the window open; a second opening meanwhile is refused, and once it is closed the
// window opens again.
TEST_F(SettingsWindow, HelpOpensTheHelpFileAtContext101AndASecondOpeningIsRefused) {
    HWND viewer = CreateWindowExA(0, TestClass("MS_WINHELP", HelpViewerProc), "viewer", WS_POPUP, 0,
                                  0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, viewer);
    helpRequests.clear();
    HWND second = viewer; // until the window answers
    int result = Run([&](const Controls& c) {
        Click(c.Help);
        second = CreateSettingsWindow(Owner, RefreshConnection);
        Click(c.Cancel);
    });
    DestroyWindow(viewer);
    EXPECT_EQ(ModalCancel, result);
    EXPECT_EQ(nullptr, second);
    ASSERT_EQ(1u, helpRequests.size());
    EXPECT_EQ(static_cast<UINT>(HELP_CONTEXT), helpRequests[0].Command);
    EXPECT_EQ(101, helpRequests[0].Data);
    EXPECT_STRCASEEQ(HelpFile.c_str(), helpRequests[0].File.c_str());
    EXPECT_EQ(running.Window, helpRequests[0].From);
    EXPECT_EQ(ModalCancel, Run([](const Controls& c) { Click(c.Cancel); }));
}

// ---- Painting --------------------------------------------------------------------------------

void PrintClient(HDC dc, void* window) {
    SendMessageA(static_cast<HWND>(window), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc),
                 PRF_CLIENT | PRF_ERASEBKGND);
}

// With the GUI font each caption fits its check box: drawn in a box twice as wide, its ink ends
// inside the real width. A wider face or a longer caption would be cut off on screen.
TEST_F(SettingsWindow, EveryCheckBoxCaptionFitsItsBox) {
    Controls c = Open();
    for (HWND check : c.Checks) {
        ASSERT_NE(nullptr, check);
        RECT r = {};
        GetClientRect(check, &r);
        const int width = r.right, height = r.bottom;
        SetWindowPos(check, nullptr, 0, 0, 2 * width, height, SWP_NOMOVE | SWP_NOZORDER);
        Capture shown = CaptureDrawing(2 * width, height, ColorBtnFace, PrintClient, check);
        SetWindowPos(check, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
        int right = -1;
        for (int y = 0; y < shown.Height; ++y)
            for (int x = 0; x < shown.Width; ++x)
                if (shown.At(x, y) != ColorBtnFace && x > right) right = x;
        EXPECT_GT(right, width / 2) << TextOf(check) << ": no caption drawn";
        EXPECT_LT(right, width) << TextOf(check) << " needs " << right + 1 << " pixels";
        RecordProperty(TextOf(check), right + 1); // the width needed, in the XML report
    }
}

TEST_F(SettingsWindow, PaintsTheLabelsAndTheEtchedSeparator) {
    COLORREF line[3] = {}, blank = 0; // x 50 at y 90, 91, 92; right of "Connection:"
    int ink[3] = {};                  // text-coloured pixels at each label
    Run([&](const Controls& c) {
        RedrawWindow(c.Window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        Capture shown = CaptureClient(c.Window);
        for (int i = 0; i < 3; ++i)
            line[i] = shown.At(50, 90 + i);
        const POINT at[3] = {{4, 4}, {4, 47}, {107, 47}};
        for (int i = 0; i < 3; ++i)
            ink[i] = shown.Count(ColorBtnText, at[i].x, at[i].y, at[i].x + 45, at[i].y + 13);
        blank = shown.At(60, 8);
        Click(c.Cancel);
    });
    EXPECT_EQ(ColorBtnFace, line[0]);
    EXPECT_EQ(ColorBtnShadow, line[1]);
    EXPECT_EQ(ColorBtnHighlight, line[2]);
    for (int n : ink)
        EXPECT_GT(n, 20);
    EXPECT_EQ(ColorBtnFace, blank);
}

} // namespace
