// The settings window of the real program, driven from outside with the simulated dial-up
// service beside it: open it with the Settings command, read the phone book and the stored
// settings, change them, OK, and check what reached Tovane.dat and the main window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Harness.h"

namespace {

constexpr UINT CmdSettings = 3073;

struct SettingsWindowView {
    HWND Window = nullptr, List = nullptr, UserName = nullptr, Password = nullptr;
    std::vector<HWND> Checks;
};

SettingsWindowView View(HWND window) {
    SettingsWindowView v;
    v.Window = window;
    for (HWND child : ChildrenOf(window)) {
        std::string cls = ClassOf(child);
        if (cls == "ComboBox") v.List = child;
        if (cls == "Edit") (v.UserName ? v.Password : v.UserName) = child;
        if (cls == "Button") v.Checks.push_back(child);
    }
    return v;
}

// Through the wide message: Wine hands another process's CB_GETLBTEXT back in UTF-16 even to
// an ANSI caller.
std::vector<std::string> ListItems(HWND list) {
    std::vector<std::string> items;
    LRESULT n = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        wchar_t wide[300] = {};
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide));
        char text[600] = {};
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        items.push_back(text);
    }
    return items;
}

TEST(SettingsWindow, ShowsThePhoneBookAndSettingsAndOkAppliesAndSavesAtOnce) {
    TovaneRun tovane;
    ASSERT_TRUE(tovane.WithSimulator("[Office]\n[Home ISP]\n[Backup]\n"));
    // Simple status and shrink on, no auto reconnect (nothing dials by itself), not topmost.
    tovane.WriteDat(DatFile{1, 0, 1, 0, 120, 90, 282, 165, "Home ISP", "alice", ""}.Bytes());
    ASSERT_TRUE(tovane.Start());
    HWND main = tovane.Main;
    EXPECT_EQ("Tovane - Home ISP", TextOf(main));
    EXPECT_FALSE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOPMOST);
    SettingsWindowView v = View(tovane.Command(CmdSettings, "TovaneSettingsWndClass"));
    ASSERT_NE(nullptr, v.Window);
    EXPECT_EQ("Tovane - Settings", TextOf(v.Window));
    EXPECT_EQ(main, GetWindow(v.Window, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(main)); // modal
    ASSERT_NE(nullptr, v.List);
    ASSERT_EQ(4u, v.Checks.size());
    EXPECT_EQ((std::vector<std::string>{"Office", "Home ISP", "Backup"}), ListItems(v.List));
    EXPECT_EQ(1, SendMessageA(v.List, CB_GETCURSEL, 0, 0));
    EXPECT_EQ("alice", TextOf(v.UserName));
    EXPECT_EQ("", TextOf(v.Password));
    const LRESULT states[4] = {BST_CHECKED, BST_UNCHECKED, BST_CHECKED, BST_UNCHECKED};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(states[i], SendMessageA(v.Checks[i], BM_GETCHECK, 0, 0)) << i;

    SendMessageA(v.List, CB_SETCURSEL, 2, 0);
    SendMessageA(v.UserName, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("bob"));
    SendMessageA(v.Password, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("pw"));
    SendMessageA(v.Checks[0], BM_CLICK, 0, 0);
    SendMessageA(v.Checks[3], BM_CLICK, 0, 0);
    PostMessageA(GetDlgItem(v.Window, 1), BM_CLICK, 0, 0);
    // Gone, and the program back in its loop: the closing handler has run to its end.
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(v.Window); }, 10000));
    DWORD_PTR ignored = 0;
    ASSERT_NE(0, SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored));

    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_TRUE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ("Tovane - Backup", TextOf(main));
    EXPECT_EQ((DatFile{0, 0, 1, 1, 120, 90, 282, 165, "Backup", "bob", "pw"}.Bytes()),
              tovane.Dat());
}

} // namespace
