// The settings window in-process: layout, entry list, OK and cancel paths, Tab cycle, placing.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/NConnection.h"
#include "app/WMain.h"
#include "common/NCommon.h"
#include "ras/NRas.h"
#include "support/TestSupport.h"
#include "windows/WSettings.h"

namespace {

// ---- A phone book of the test's own -----------------------------------------------------------

std::vector<std::string> phoneBook;
DWORD enumResult = 0;
DWORD claimedCount = 0; // when not 0, reported instead of the real number of entries
int enumCalls = 0;
struct EnumArgs {
    LPCSTR Reserved;
    LPCSTR Book;
    DWORD FirstSize;
    DWORD Bytes;
} enumArgs;

DWORD WINAPI FakeEnumEntries(LPCSTR reserved, LPCSTR book, RASENTRYNAMEA* entries, DWORD* bytes,
                             DWORD* count) {
    ++enumCalls;
    enumArgs = {reserved, book, entries[0].dwSize, *bytes};
    *count = 0;
    if (enumResult) return enumResult;
    DWORD room = *bytes / sizeof(RASENTRYNAMEA);
    for (DWORD i = 0; i < phoneBook.size() && i < room; ++i)
        std::strncpy(entries[i].szEntryName, phoneBook[i].c_str(), sizeof entries[i].szEntryName);
    *count = claimedCount ? claimedCount : static_cast<DWORD>(phoneBook.size());
    return 0;
}

// The controller asks for active connections when an entry is taken up: there are none.
DWORD WINAPI FakeEnumConnections(RASCONNA*, DWORD*, DWORD* count) {
    *count = 0;
    return 0;
}
DWORD WINAPI FakeConnectStatus(HRASCONN, RASCONNSTATUSA*) {
    return RasErrorInvalidHandle;
}
DWORD WINAPI FakeErrorString(UINT, LPSTR, DWORD) {
    return 1;
}

// ---- The owner: clears the moved flag when it moves, as the main window does ---------------

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_MOVE) SettingsMoved = false;
    return DefWindowProcA(window, message, wParam, lParam);
}

// ---- A help viewer of the test's own, found by WinHelpA by its class name ------------------

struct HelpRequest {
    HWND From;
    UINT Command;
    ULONG_PTR Data;
    std::string File;
};
std::vector<HelpRequest> helpRequests;

#pragma pack(push, 1)
struct WinHelpBlock { // what WinHelpA hands the viewer in WM_COPYDATA
    WORD Size;
    WORD Command;
    LONG Data;
    LONG Reserved;
    WORD OfsFilename;
    WORD OfsData;
};
#pragma pack(pop)

LRESULT CALLBACK HelpViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        auto* block = static_cast<const WinHelpBlock*>(data->lpData);
        HelpRequest request = {reinterpret_cast<HWND>(wParam), block->Command,
                               static_cast<ULONG_PTR>(block->Data), std::string()};
        if (block->OfsFilename && block->OfsFilename < data->cbData)
            request.File = reinterpret_cast<const char*>(block) + block->OfsFilename;
        helpRequests.push_back(request);
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// ---- Running the window ----------------------------------------------------------------------

struct Controls {
    HWND Window = nullptr;
    HWND List = nullptr;
    HWND UserName = nullptr;
    HWND Password = nullptr;
    HWND Checks[4] = {};
    HWND Ok = nullptr;
    HWND Cancel = nullptr;
    HWND Help = nullptr;
};

Controls Find(HWND window) {
    Controls c;
    c.Window = window;
    std::vector<HWND> standard;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgCtrlID(child) == 0) standard.push_back(child);
    if (standard.size() == 7) {
        c.List = standard[0];
        c.UserName = standard[1];
        c.Password = standard[2];
        for (int i = 0; i < 4; ++i)
            c.Checks[i] = standard[3 + i];
    }
    c.Ok = GetDlgItem(window, 1);
    c.Cancel = GetDlgItem(window, 2);
    c.Help = GetDlgItem(window, 9);
    return c;
}

std::string Text(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::vector<std::string> ListItems(HWND list) {
    std::vector<std::string> items;
    LRESULT n = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        char text[300] = {};
        SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

RECT ClientBox(HWND control) { // left, top, width, height in the parent's client area
    RECT r = {};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::function<void(const Controls&)> script;
Controls running;
bool timedOut = false;

void CALLBACK RunScript(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (script) script(running);
}

void CALLBACK GiveUp(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    timedOut = true;
    EndModal(99, MainWindow);
    if (IsWindow(running.Window)) DestroyWindow(running.Window);
}

std::string SettingsBytes() { // Tovane.dat as it should hold the current Settings
    std::string bytes(reinterpret_cast<const char*>(static_cast<SettingsRecord*>(&Settings)),
                      sizeof(SettingsRecord));
    for (const char* s : {Settings.ConnectionName, Settings.UserName, Settings.Password}) {
        int32_t n = s ? static_cast<int32_t>(std::strlen(s)) : 0;
        bytes.append(reinterpret_cast<const char*>(&n), 4);
        if (s) bytes.append(s);
    }
    return bytes;
}

bool IsTopmost(HWND window) {
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

// One owner for the whole suite: destroying focused windows is slow under Wine.
class SettingsWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitShared();
        folder = new TempFolder;
        SettingsFile = folder->File("Tovane.dat");
        HelpFile = folder->File("Tovane.hlp");
        SetupSettingsWindow();
        WNDCLASSA wc = {};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TestSettingsOwner";
        RegisterClassA(&wc);
        MainWindow = CreateWindowExA(0, "TestSettingsOwner", "owner", WS_OVERLAPPEDWINDOW, 100, 80,
                                     420, 300, nullptr, nullptr, nullptr, nullptr);
        ShowWindow(MainWindow, SW_SHOWNORMAL);
        RasApi.RasEnumEntriesA = FakeEnumEntries;
        RasApi.RasEnumConnectionsA = FakeEnumConnections;
        RasApi.RasGetConnectStatusA = FakeConnectStatus;
        RasApi.RasGetErrorStringA = FakeErrorString;
    }
    static void TearDownTestSuite() {
        DestroyWindow(MainWindow);
        MainWindow = nullptr;
        delete folder;
    }
    void SetUp() override {
        phoneBook = {"Office", "Home ISP", "Backup"};
        enumResult = 0;
        claimedCount = 0;
        enumCalls = 0;
        script = nullptr;
        timedOut = false;
        helpRequests.clear();
        Settings.SimpleStatus = 1;
        Settings.AutoReconnect = 0;
        Settings.ShrinkWhenConnected = 1;
        Settings.AlwaysOnTop = 0;
        Settings.WindowRect = {10, 20, 282, 165};
        ReplaceString(Settings.ConnectionName, NewString("Home ISP"));
        ReplaceString(Settings.UserName, NewString("alice"));
        ReplaceString(Settings.Password, NewString("secret"));
        SetWindowTextA(MainWindow, "untouched");
        DialAttempt = 7;
        SetWindowPos(MainWindow, HWND_NOTOPMOST, 100, 80, 420, 300, SWP_NOACTIVATE);
        SettingsMoved = false;
        DeleteFileA(SettingsFile.c_str());
        EnableWindow(MainWindow, TRUE);
    }
    void TearDown() override {
        if (IsWindow(running.Window)) DestroyWindow(running.Window);
        running = Controls();
    }
    // Creates the window and runs it modally; the script runs from inside the modal loop.
    static int Run(std::function<void(const Controls&)> inside) {
        HWND window = CreateSettingsWindow();
        if (!window) return -1;
        running = Find(window);
        script = std::move(inside);
        SetTimer(nullptr, 0, 10, RunScript);
        UINT_PTR guard = SetTimer(nullptr, 0, 8000, GiveUp);
        int result = RunModal(window, MainWindow);
        KillTimer(nullptr, guard);
        return result;
    }
    static void Click(HWND button) { SendMessageA(button, BM_CLICK, 0, 0); }
    static void PostKey(HWND target, WPARAM key) { PostMessageA(target, WM_KEYDOWN, key, 1); }
    static TempFolder* folder;
};
TempFolder* SettingsWindow::folder = nullptr;

// ---- Building the window ------------------------------------------------------------------------

TEST_F(SettingsWindow, ClassIsRegisteredWithoutBackgroundOrIcon) {
    WNDCLASSA wc = {};
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "TovaneSettingsWndClass", &wc));
    EXPECT_EQ(0u, wc.style);
    EXPECT_EQ(nullptr, wc.hbrBackground);
    EXPECT_EQ(nullptr, wc.hIcon);
    EXPECT_EQ(nullptr, wc.lpszMenuName);
    EXPECT_EQ(0, wc.cbClsExtra);
    EXPECT_EQ(0, wc.cbWndExtra);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), wc.hCursor);
}

TEST_F(SettingsWindow, BuiltHiddenWithItsStylesAndATrimmedSystemMenu) {
    HWND window = CreateSettingsWindow();
    ASSERT_NE(nullptr, window);
    running = Find(window);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ("Tovane - Settings", Text(window));
    EXPECT_EQ(MainWindow, GetWindow(window, GW_OWNER));
    // The system adds WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ(0x00C80000u,
              static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)) & ~DWORD(WS_CLIPSIBLINGS));
    // The system adds WS_EX_WINDOWEDGE to any window with a modal frame.
    EXPECT_EQ(0x00010001u,
              static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)) & ~DWORD(WS_EX_WINDOWEDGE));
    EXPECT_EQ(nullptr, GetMenu(window));
    HMENU menu = GetSystemMenu(window, FALSE);
    for (UINT gone : {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE})
        EXPECT_EQ(static_cast<UINT>(-1), GetMenuState(menu, gone, MF_BYCOMMAND)) << gone;
    for (UINT kept : {SC_MOVE, SC_CLOSE})
        EXPECT_NE(static_cast<UINT>(-1), GetMenuState(menu, kept, MF_BYCOMMAND)) << kept;
    RECT r = {};
    GetWindowRect(window, &r);
    EXPECT_EQ(359, r.right - r.left);
    EXPECT_EQ(153, r.bottom - r.top);
    // No control has the focus at creation.
    HWND focus = GetFocus();
    EXPECT_TRUE(focus == nullptr || GetParent(focus) != window);
}

// Every window as it is asked for, before the system adjusts any style.
struct Created {
    std::string Class, Text;
    DWORD Style, ExStyle;
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
        created.push_back({cls, cs->lpszName ? cs->lpszName : "", static_cast<DWORD>(cs->style),
                           cs->dwExStyle, RECT{cs->x, cs->y, cs->cx, cs->cy},
                           reinterpret_cast<UINT_PTR>(cs->hMenu), cs->hwndParent});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(SettingsWindow, ControlsAreMadeWithTheirClassesStylesIdsAndPlaces) {
    created.clear();
    HHOOK hook = SetWindowsHookExA(WH_CBT, RecordCreation, nullptr, GetCurrentThreadId());
    HWND window = CreateSettingsWindow();
    UnhookWindowsHookEx(hook);
    ASSERT_NE(nullptr, window);
    running = Find(window);

    std::vector<Created> mine; // the window and its direct children, in creation order
    for (const Created& c : created)
        if (c.Parent == window || c.Class == "TovaneSettingsWndClass") mine.push_back(c);
    ASSERT_EQ(11u, mine.size());
    const Created& top = mine[0];
    EXPECT_EQ("TovaneSettingsWndClass", top.Class);
    EXPECT_EQ("Tovane - Settings", top.Text);
    EXPECT_EQ(0x00C80000u, top.Style);
    EXPECT_EQ(0x00010001u, top.ExStyle & ~DWORD(WS_EX_WINDOWEDGE)); // added by the system
    EXPECT_EQ(MainWindow, top.Parent);
    EXPECT_EQ(0u, top.Id);

    const struct {
        const char* Class;
        const char* Text;
        DWORD Style, ExStyle;
        RECT Box;
    } standard[] = {
        {"ComboBox", "Connection:", 0x50210043, 0, {4, 19, 200, 80}},
        {"Edit", "alice", 0x50010080, 0x204, {4, 62, 96, 21}},
        {"Edit", "secret", 0x500100A0, 0x204, {107, 62, 96, 21}},
        {"Button", "Simple status messages.", 0x50000003, 0, {213, 11, 140, 17}},
        {"Button", "Auto reconnect.", 0x50000003, 0, {213, 30, 140, 17}},
        {"Button", "Shrink when connected.", 0x50000003, 0, {213, 49, 140, 17}},
        {"Button", "Tovane always on top.", 0x50000003, 0, {213, 68, 140, 17}},
    };
    for (int i = 0; i < 7; ++i) {
        const Created& c = mine[1 + i];
        EXPECT_STRCASEEQ(standard[i].Class, c.Class.c_str());
        EXPECT_EQ(standard[i].Text, c.Text);
        EXPECT_EQ(standard[i].Style, c.Style) << c.Class;
        EXPECT_EQ(standard[i].ExStyle, c.ExStyle) << c.Class;
        EXPECT_EQ(0u, c.Id) << c.Class;
        EXPECT_EQ(standard[i].Box.left, c.Box.left);
        EXPECT_EQ(standard[i].Box.top, c.Box.top);
        EXPECT_EQ(standard[i].Box.right, c.Box.right);
        EXPECT_EQ(standard[i].Box.bottom, c.Box.bottom);
    }
    const struct {
        UINT_PTR Id;
        const char* Caption;
        RECT Box;
    } buttons[] = {{1, "OK", {110, 99, 75, 25}},
                   {2, "Cancel", {192, 99, 75, 25}},
                   {9, "Help", {274, 99, 75, 25}}};
    for (int i = 0; i < 3; ++i) {
        const Created& c = mine[8 + i];
        EXPECT_EQ(buttons[i].Id, c.Id);
        EXPECT_EQ(buttons[i].Caption, c.Text);
        EXPECT_EQ(DWORD(WS_VISIBLE | WS_TABSTOP), c.Style & DWORD(WS_VISIBLE | WS_TABSTOP));
        EXPECT_EQ(buttons[i].Box.left, c.Box.left);
        EXPECT_EQ(buttons[i].Box.top, c.Box.top);
        EXPECT_EQ(buttons[i].Box.right, c.Box.right);
        EXPECT_EQ(buttons[i].Box.bottom, c.Box.bottom);
    }

    // As they stand: the shared font everywhere, the list showing its selection.
    Controls c = running;
    ASSERT_NE(nullptr, c.List) << "expected seven standard controls with id 0";
    for (HWND control : {c.List, c.UserName, c.Password, c.Checks[0], c.Checks[1], c.Checks[2],
                         c.Checks[3], c.Ok, c.Cancel, c.Help})
        EXPECT_EQ(GuiFont, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    EXPECT_EQ("Home ISP", Text(c.List)); // the selection, never the creation text
    RECT box = ClientBox(c.Help);
    EXPECT_EQ(274, box.left);
    EXPECT_EQ(99, box.top);
    EXPECT_EQ(nullptr, GetDlgItem(window, 3)); // nothing else has an id
}

TEST_F(SettingsWindow, ShowsTheStoredCredentialsAndOptions) {
    Settings.SimpleStatus = 0;
    Settings.AutoReconnect = 1;
    Settings.ShrinkWhenConnected = 0;
    Settings.AlwaysOnTop = 2; // any non-zero byte reads as set
    Controls c = running = Find(CreateSettingsWindow());
    ASSERT_NE(nullptr, c.List);
    EXPECT_EQ("alice", Text(c.UserName));
    EXPECT_EQ("secret", Text(c.Password));
    EXPECT_NE(0, SendMessageA(c.Password, EM_GETPASSWORDCHAR, 0, 0));
    EXPECT_EQ(100, SendMessageA(c.UserName, EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ(100, SendMessageA(c.Password, EM_GETLIMITTEXT, 0, 0));
    const LRESULT want[4] = {BST_UNCHECKED, BST_CHECKED, BST_UNCHECKED, BST_CHECKED};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(want[i], SendMessageA(c.Checks[i], BM_GETCHECK, 0, 0)) << i;
}

TEST_F(SettingsWindow, AbsentCredentialsShowEmptyEdits) {
    FreeString(Settings.UserName);
    FreeString(Settings.Password);
    Controls c = running = Find(CreateSettingsWindow());
    ASSERT_NE(nullptr, c.List);
    EXPECT_EQ("", Text(c.UserName));
    EXPECT_EQ("", Text(c.Password));
}

// ---- The entry list
// ------------------------------------------------------------------------------

TEST_F(SettingsWindow, ListsEntriesInTheServicesOrderAndSelectsTheStoredOne) {
    phoneBook = {"Zeta", "Alpha", "Home ISP", "Mid"};
    Controls c = running = Find(CreateSettingsWindow());
    EXPECT_EQ(phoneBook, ListItems(c.List)); // not sorted
    EXPECT_EQ(2, SendMessageA(c.List, CB_GETCURSEL, 0, 0));
    EXPECT_EQ(1, enumCalls);
    EXPECT_EQ(nullptr, enumArgs.Reserved);
    EXPECT_EQ(nullptr, enumArgs.Book);
    EXPECT_EQ(264u, enumArgs.FirstSize);
    EXPECT_EQ(26400u, enumArgs.Bytes);
}

TEST_F(SettingsWindow, SelectsTheFirstWhenTheStoredEntryIsMissingOrAbsent) {
    phoneBook = {"Office", "home isp", "Backup"}; // comparison is case-sensitive
    Controls c = running = Find(CreateSettingsWindow());
    EXPECT_EQ(0, SendMessageA(c.List, CB_GETCURSEL, 0, 0));
    DestroyWindow(c.Window);

    FreeString(Settings.ConnectionName);
    c = running = Find(CreateSettingsWindow());
    EXPECT_EQ(0, SendMessageA(c.List, CB_GETCURSEL, 0, 0));
    EXPECT_EQ("Office", Text(c.List));
}

TEST_F(SettingsWindow, TheLastOfTwoEqualEntriesWins) {
    phoneBook = {"Home ISP", "Office", "Home ISP"};
    Controls c = running = Find(CreateSettingsWindow());
    EXPECT_EQ(2, SendMessageA(c.List, CB_GETCURSEL, 0, 0));
}

TEST_F(SettingsWindow, FailingOrEmptyPhoneBookLeavesTheListEmptySilently) {
    enumResult = 603; // ERROR_BUFFER_TOO_SMALL: more than 100 entries
    Controls c = running = Find(CreateSettingsWindow());
    EXPECT_EQ(0, SendMessageA(c.List, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(CB_ERR, SendMessageA(c.List, CB_GETCURSEL, 0, 0));
    EXPECT_EQ("", Text(c.List));
    DestroyWindow(c.Window);

    enumResult = 0;
    phoneBook.clear();
    c = running = Find(CreateSettingsWindow());
    EXPECT_EQ(0, SendMessageA(c.List, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(CB_ERR, SendMessageA(c.List, CB_GETCURSEL, 0, 0));
}

TEST_F(SettingsWindow, ACountBeyondTheArrayIsNotReadPastIt) {
    phoneBook.clear();
    for (int i = 0; i < 100; ++i)
        phoneBook.push_back("Entry " + std::to_string(i));
    claimedCount = 5000;
    Controls c = running = Find(CreateSettingsWindow());
    std::vector<std::string> items = ListItems(c.List);
    ASSERT_EQ(100u, items.size());
    EXPECT_EQ("Entry 99", items.back());
}

TEST_F(SettingsWindow, AnEntryNameWithoutItsTerminatorIsCutAtTheField) {
    phoneBook = {std::string(300, 'x'), "Office"};
    Controls c = running = Find(CreateSettingsWindow());
    std::vector<std::string> items = ListItems(c.List);
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(std::string(257, 'x'), items[0]);
    EXPECT_EQ("Office", items[1]);
}

// ---- OK
// ------------------------------------------------------------------------------------------

TEST_F(SettingsWindow, OkStoresEverythingTakesUpTheNewEntryAndSavesAtOnce) {
    int result = Run([](const Controls& c) {
        SendMessageA(c.List, CB_SETCURSEL, 2, 0);
        SetWindowTextA(c.UserName, "bob");
        SetWindowTextA(c.Password, "pw2");
        for (HWND check : c.Checks)
            Click(check); // 1 0 1 0 -> 0 1 0 1
        Click(c.Ok);
    });
    EXPECT_EQ(ModalOk, result);
    EXPECT_FALSE(timedOut);
    EXPECT_FALSE(IsWindow(running.Window));
    EXPECT_TRUE(IsWindowEnabled(MainWindow));
    ASSERT_NE(nullptr, Settings.ConnectionName);
    EXPECT_STREQ("Backup", Settings.ConnectionName);
    EXPECT_STREQ("bob", Settings.UserName);
    EXPECT_STREQ("pw2", Settings.Password);
    EXPECT_EQ(0, Settings.SimpleStatus);
    EXPECT_EQ(1, Settings.AutoReconnect);
    EXPECT_EQ(0, Settings.ShrinkWhenConnected);
    EXPECT_EQ(1, Settings.AlwaysOnTop);
    EXPECT_TRUE(IsTopmost(MainWindow));
    EXPECT_EQ("Tovane - Backup", Text(MainWindow)); // taken up by the controller
    EXPECT_EQ(0, DialAttempt);
    EXPECT_EQ(SettingsBytes(), ReadWholeFile(SettingsFile));
}

TEST_F(SettingsWindow, StoredEntryNotInThePhoneBookBecomesTheFirstOnOk) {
    ReplaceString(Settings.ConnectionName, NewString("Gone"));
    EXPECT_EQ(ModalOk, Run([](const Controls& c) { Click(c.Ok); }));
    EXPECT_STREQ("Office", Settings.ConnectionName);
    EXPECT_EQ("Tovane - Office", Text(MainWindow));
    EXPECT_EQ(SettingsBytes(), ReadWholeFile(SettingsFile));
}

TEST_F(SettingsWindow, EmptyPhoneBookMakesTheEntryAbsentAndRefreshesEvenWhenItWasAbsent) {
    phoneBook.clear();
    EXPECT_EQ(ModalOk, Run([](const Controls& c) { Click(c.Ok); }));
    EXPECT_EQ(nullptr, Settings.ConnectionName);
    EXPECT_EQ("Tovane", Text(MainWindow));

    // Absent before and after: still taken up.
    SetWindowTextA(MainWindow, "untouched");
    DialAttempt = 3;
    enumResult = 1; // and a failing enumeration behaves the same
    EXPECT_EQ(ModalOk, Run([](const Controls& c) { Click(c.Ok); }));
    EXPECT_EQ(nullptr, Settings.ConnectionName);
    EXPECT_EQ("Tovane", Text(MainWindow));
    EXPECT_EQ(0, DialAttempt);
    EXPECT_EQ(SettingsBytes(), ReadWholeFile(SettingsFile));
}

TEST_F(SettingsWindow, UnchangedEntryIsNotRefreshedButEverythingElseIsStoredAndSaved) {
    int result = Run([](const Controls& c) {
        SetWindowTextA(c.UserName, "carol");
        SetWindowTextA(c.Password, "");
        Click(c.Checks[0]);
        Click(c.Ok);
    });
    EXPECT_EQ(ModalOk, result);
    EXPECT_EQ("untouched", Text(MainWindow));
    EXPECT_EQ(7, DialAttempt);
    EXPECT_STREQ("Home ISP", Settings.ConnectionName);
    EXPECT_STREQ("carol", Settings.UserName);
    EXPECT_EQ(nullptr, Settings.Password); // empty text is stored as absent
    EXPECT_EQ(0, Settings.SimpleStatus);
    bool exists = false;
    std::string bytes = ReadWholeFile(SettingsFile, &exists);
    ASSERT_TRUE(exists);
    EXPECT_EQ(SettingsBytes(), bytes);
    EXPECT_EQ(20u + 4 + 8 + 4 + 5 + 4, bytes.size());
}

TEST_F(SettingsWindow, EnterFromAnEditAppliesLikeOk) {
    int result = Run([](const Controls& c) {
        SetFocus(c.Password);
        SetWindowTextA(c.Password, "typed");
        Click(c.Checks[3]);
        PostKey(c.Password, VK_RETURN);
    });
    EXPECT_EQ(ModalOk, result);
    EXPECT_STREQ("typed", Settings.Password);
    EXPECT_EQ(1, Settings.AlwaysOnTop);
    EXPECT_TRUE(IsTopmost(MainWindow));
}

TEST_F(SettingsWindow, EnterWithTheListDroppedDownTakesTheCurrentEntry) {
    int result = Run([](const Controls& c) {
        SetFocus(c.List);
        SendMessageA(c.List, CB_SETCURSEL, 0, 0);
        SendMessageA(c.List, CB_SHOWDROPDOWN, TRUE, 0);
        PostKey(GetFocus(), VK_RETURN);
    });
    EXPECT_EQ(ModalOk, result);
    EXPECT_STREQ("Office", Settings.ConnectionName);
    EXPECT_EQ("Tovane - Office", Text(MainWindow));
}

TEST_F(SettingsWindow, UntickingOnTopTakesTheMainWindowOutOfTheTopmostBand) {
    Settings.AlwaysOnTop = 1;
    SetWindowPos(MainWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_TRUE(IsTopmost(MainWindow));
    EXPECT_EQ(ModalOk, Run([](const Controls& c) {
                  Click(c.Checks[3]);
                  Click(c.Ok);
              }));
    EXPECT_EQ(0, Settings.AlwaysOnTop);
    EXPECT_FALSE(IsTopmost(MainWindow));
}

// ---- Cancel, Escape and the close box change nothing ---------------------------------------

class CancelPath : public SettingsWindow, public ::testing::WithParamInterface<int> {};

TEST_P(CancelPath, AfterChangingEveryControlNothingChanges) {
    const std::string before = "keep these bytes";
    WriteWholeFile(SettingsFile, before);
    const SettingsRecord record = Settings;
    int way = GetParam();
    int result = Run([way](const Controls& c) {
        SendMessageA(c.List, CB_SETCURSEL, 2, 0);
        SetWindowTextA(c.UserName, "mallory");
        SetWindowTextA(c.Password, "other");
        for (HWND check : c.Checks)
            Click(check);
        switch (way) {
        case 0: Click(c.Cancel); break;
        case 1:
            SetFocus(c.UserName);
            PostKey(c.UserName, VK_ESCAPE);
            break;
        case 2: PostMessageA(c.Window, WM_SYSCOMMAND, SC_CLOSE, 0); break;
        }
    });
    EXPECT_EQ(ModalCancel, result);
    EXPECT_FALSE(timedOut);
    EXPECT_FALSE(IsWindow(running.Window));
    EXPECT_TRUE(IsWindowEnabled(MainWindow));
    EXPECT_EQ(0, std::memcmp(&record, static_cast<SettingsRecord*>(&Settings), sizeof record));
    EXPECT_STREQ("Home ISP", Settings.ConnectionName);
    EXPECT_STREQ("alice", Settings.UserName);
    EXPECT_STREQ("secret", Settings.Password);
    EXPECT_EQ(before, ReadWholeFile(SettingsFile));
    EXPECT_FALSE(IsTopmost(MainWindow));
    EXPECT_EQ("untouched", Text(MainWindow));
}
INSTANTIATE_TEST_SUITE_P(CancelButtonEscapeAndCloseBox, CancelPath, ::testing::Values(0, 1, 2));

// ---- Keyboard
// -------------------------------------------------------------------------------------

class Keyboard : public SettingsWindow {
  protected:
    void SetUp() override {
        SettingsWindow::SetUp();
        c = running = Find(CreateSettingsWindow());
        ShowWindow(c.Window, SW_SHOWNORMAL);
        SetForegroundWindow(c.Window);
        SetFocus(c.Window);
    }
    void TearDown() override {
        Shift(false);
        SendMessageA(c.Window, WM_COMMAND, 2, 0);
        SettingsWindow::TearDown();
    }
    static void Shift(bool down) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_SHIFT] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    void Tab() { SendMessageA(c.Window, WM_KEYDOWN, VK_TAB, 1); }
    std::vector<HWND> Cycle() const {
        return {c.List,      c.UserName,  c.Password, c.Checks[0], c.Checks[1],
                c.Checks[2], c.Checks[3], c.Ok,       c.Cancel,    c.Help};
    }
    Controls c;
};

TEST_F(Keyboard, TabRunsThroughEveryControlAndWrapsAround) {
    ASSERT_EQ(c.Window, GetFocus());
    std::vector<HWND> order;
    for (int i = 0; i < 11; ++i) {
        Tab();
        order.push_back(GetFocus());
    }
    std::vector<HWND> want = Cycle();
    want.push_back(c.List); // from Help back to the list
    EXPECT_EQ(want, order);
}

TEST_F(Keyboard, ShiftTabRunsBackwardsFromCancelAndWrapsAround) {
    Shift(true);
    std::vector<HWND> order;
    for (int i = 0; i < 11; ++i) {
        Tab();
        order.push_back(GetFocus());
    }
    // Nothing focused: Cancel first, then back to the list, and from the list to Help.
    std::vector<HWND> want = {c.Cancel,    c.Ok,        c.Checks[3], c.Checks[2],
                              c.Checks[1], c.Checks[0], c.Password,  c.UserName,
                              c.List,      c.Help,      c.Cancel};
    EXPECT_EQ(want, order);
}

TEST_F(Keyboard, TabFromAControlFocusedByMouseContinuesFromThere) {
    SetFocus(c.Checks[1]);
    Tab();
    EXPECT_EQ(c.Checks[2], GetFocus());
    Shift(true);
    Tab();
    Tab();
    EXPECT_EQ(c.Checks[0], GetFocus());
    SetFocus(c.Ok); // as a click would
    Tab();
    EXPECT_EQ(c.Checks[3], GetFocus());
}

TEST_F(Keyboard, OtherKeysDoNothing) {
    SetFocus(c.UserName);
    EXPECT_EQ(0, SendMessageA(c.Window, WM_KEYDOWN, 'A', 1));
    EXPECT_EQ(0, SendMessageA(c.Window, WM_KEYDOWN, VK_DOWN, 1));
    EXPECT_EQ(c.UserName, GetFocus());
    EXPECT_TRUE(IsWindow(c.Window));
}

TEST_F(Keyboard, NoMoreThanAHundredCharactersCanBeTyped) {
    for (HWND edit : {c.UserName, c.Password}) {
        SetWindowTextA(edit, "");
        SetFocus(edit);
        for (int i = 0; i < 130; ++i)
            SendMessageA(edit, WM_CHAR, 'a' + i % 26, 1);
        EXPECT_EQ(100, GetWindowTextLengthA(edit));
    }
}

// ---- Help ---------------------------------------------------------------------------------------

TEST_F(SettingsWindow, HelpOpensTheHelpFileAtContext101) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HelpViewerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "MS_WINHELP";
    RegisterClassA(&wc);
    HWND viewer = CreateWindowExA(0, "MS_WINHELP", "viewer", WS_POPUP, 0, 0, 10, 10, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, viewer);
    int result = Run([](const Controls& c) {
        Click(c.Help);
        Click(c.Cancel);
    });
    DestroyWindow(viewer);
    EXPECT_EQ(ModalCancel, result);
    ASSERT_EQ(1u, helpRequests.size());
    EXPECT_EQ(static_cast<UINT>(HELP_CONTEXT), helpRequests[0].Command);
    EXPECT_EQ(101u, helpRequests[0].Data);
    EXPECT_STRCASEEQ(HelpFile.c_str(), helpRequests[0].File.c_str());
    EXPECT_EQ(running.Window, helpRequests[0].From);
}

// ---- Where it opens -----------------------------------------------------------------------------

RECT WindowRectOf(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

TEST_F(SettingsWindow, OpensOverTheMainWindowThenWhereTheUserMovedIt) {
    RECT main = WindowRectOf(MainWindow);
    RECT first = {};
    Run([&first](const Controls& c) {
        first = WindowRectOf(c.Window);
        Click(c.Cancel);
    });
    EXPECT_EQ(main.left + (main.right - main.left) / 2 - 359 / 2, first.left);
    EXPECT_EQ(main.top + DoubleFrameHeight / 2 + CaptionHeight + MenuHeight, first.top);
    EXPECT_EQ(359, first.right - first.left);
    EXPECT_EQ(153, first.bottom - first.top);

    // The user drags it elsewhere.
    Run([](const Controls& c) {
        SetWindowPos(c.Window, nullptr, 37, 41, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        Click(c.Cancel);
    });
    EXPECT_TRUE(SettingsMoved);
    EXPECT_EQ(37, SettingsPlace.Left);
    EXPECT_EQ(41, SettingsPlace.Top);
    RECT again = {};
    Run([&again](const Controls& c) {
        again = WindowRectOf(c.Window);
        Click(c.Cancel);
    });
    EXPECT_EQ(37, again.left);
    EXPECT_EQ(41, again.top);

    // The main window moves: over it again.
    SetWindowPos(MainWindow, nullptr, 160, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    main = WindowRectOf(MainWindow);
    RECT over = {};
    Run([&over](const Controls& c) {
        over = WindowRectOf(c.Window);
        Click(c.Cancel);
    });
    EXPECT_EQ(main.left + (main.right - main.left) / 2 - 359 / 2, over.left);
    EXPECT_EQ(main.top + DoubleFrameHeight / 2 + CaptionHeight + MenuHeight, over.top);
}

TEST_F(SettingsWindow, AlwaysKeptInsideTheWorkArea) {
    SetWindowPos(MainWindow, nullptr, WorkArea.right - 150, WorkArea.bottom - 60, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT r = {};
    Run([&r](const Controls& c) {
        r = WindowRectOf(c.Window);
        Click(c.Cancel);
    });
    EXPECT_EQ(WorkArea.right - 359, r.left);
    EXPECT_EQ(WorkArea.bottom - 153, r.top);

    // Moved by the user beyond the top left corner: pulled back in at the next opening.
    Run([](const Controls& c) {
        SetWindowPos(c.Window, nullptr, WorkArea.left - 80, WorkArea.top - 50, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER);
        Click(c.Cancel);
    });
    Run([&r](const Controls& c) {
        r = WindowRectOf(c.Window);
        Click(c.Cancel);
    });
    EXPECT_EQ(WorkArea.left, r.left);
    EXPECT_EQ(WorkArea.top, r.top);
}

TEST_F(SettingsWindow, ASecondOpeningWhileOpenIsRefused) {
    HWND second = reinterpret_cast<HWND>(1);
    int result = Run([&second](const Controls& c) {
        second = CreateSettingsWindow();
        Click(c.Cancel);
    });
    EXPECT_EQ(ModalCancel, result);
    EXPECT_EQ(nullptr, second);
    // Closed again, it opens as usual.
    EXPECT_EQ(ModalCancel, Run([](const Controls& c) { Click(c.Cancel); }));
}

// ---- Painting --------------------------------------------------------------------------------

TEST_F(SettingsWindow, PaintsTheLabelsAndTheEtchedSeparator) {
    struct Probe {
        COLORREF Separator[3]; // y 90, 91, 92 at x 50
        int LabelInk[3];       // text-coloured pixels in each label's area
        COLORREF Blank;
    } probe = {};
    Run([&probe](const Controls& c) {
        RedrawWindow(c.Window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        HDC dc = GetDC(c.Window);
        for (int i = 0; i < 3; ++i)
            probe.Separator[i] = GetPixel(dc, 50, 90 + i);
        const POINT at[3] = {{4, 4}, {4, 47}, {107, 47}};
        for (int i = 0; i < 3; ++i)
            for (int y = at[i].y; y < at[i].y + 13; ++y)
                for (int x = at[i].x; x < at[i].x + 45; ++x)
                    if (GetPixel(dc, x, y) == ColorBtnText) ++probe.LabelInk[i];
        probe.Blank = GetPixel(dc, 60, 8); // right of "Connection:"
        ReleaseDC(c.Window, dc);
        Click(c.Cancel);
    });
    EXPECT_EQ(ColorBtnFace, probe.Separator[0]);
    EXPECT_EQ(ColorBtnShadow, probe.Separator[1]);
    EXPECT_EQ(ColorBtnHighlight, probe.Separator[2]);
    for (int ink : probe.LabelInk)
        EXPECT_GT(ink, 20);
    EXPECT_EQ(ColorBtnFace, probe.Blank);
}

} // namespace
