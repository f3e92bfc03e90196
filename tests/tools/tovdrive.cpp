// tovdrive: drives a running Tovane from the command line, for scripts (demo screenshots,
// package checks). Every command prints what it did and exits non-zero when it could not.
//
//   tovdrive run-close FOLDER        start FOLDER\Tovane.exe, wait for its window, close it
//   tovdrive wait CLASS [SECONDS]    wait until a visible window of the class exists
//   tovdrive command ID              post WM_COMMAND ID to the main window
//   tovdrive set-text CLASS N TEXT   set the text of the N-th (from 0) edit of the window
//   tovdrive click CLASS CAPTION     press the button with the caption in the window
//   tovdrive close [CLASS]           post WM_CLOSE (default: the main window)
//   tovdrive rect CLASS              print the window's box as an imagemagick geometry WxH+X+Y
//   tovdrive client-rect CLASS       the same for the window's client area (menu bar excluded)
//   tovdrive post CLASS MSG WP LP    post a message (numbers) to the window
//   tovdrive tab-to CLASS CAPTION    press Tab in the window until the captioned button has focus
//   tovdrive wait-hidden CLASS [S]   wait until no window of the class is visible
//   tovdrive cursor X Y              move the mouse pointer
//   tovdrive wait-still              wait until the screen has not changed for half a second
//   tovdrive record FOLDER [ID]      save the screen as FOLDER\NNN.bmp, post WM_COMMAND ID to the
//                                    main window, then save it each time the status strip
//                                    changes until the window is hidden; once the screen is
//                                    still, a last frame
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/Driver.h"
#include "support/Pixels.h"
#include "support/TestSupport.h"

static constexpr char MainClass[] = "TovaneMainWndClass";

static HWND WaitVisible(const char* className, DWORD timeoutMs) {
    HWND found = nullptr;
    auto visible = [&] {
        return (found = FindWindowA(className, nullptr)) && IsWindowVisible(found);
    };
    return PumpUntil(visible, timeoutMs) ? found : nullptr;
}

// Posts the message to the first window of the class: 0, or 3 when there is none.
static int Post(const char* className, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND w = FindWindowA(className, nullptr);
    return w && PostMessageA(w, message, wParam, lParam) ? 0 : 3;
}

static RECT ClientOnScreen(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// ---- The screen as pixels ------------------------------------------------------------------

static Capture Grab() {
    return CaptureScreen({0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
}

// The same pixels in the part of r that lies on the screen.
static bool SameIn(const Capture& a, const Capture& b, const RECT& r) {
    if (a.Width != b.Width || a.Height != b.Height) return false;
    for (LONG y = r.top < 0 ? 0 : r.top; y < r.bottom && y < a.Height; ++y)
        for (LONG x = r.left < 0 ? 0 : r.left; x < r.right && x < a.Width; ++x)
            if (a.At(x, y) != b.At(x, y)) return false;
    return true;
}

// Nothing on screen changes for this long: every window has painted what it had to.
static bool WaitStill(DWORD stillMs = 500, DWORD timeoutMs = 15000) {
    Capture last = Grab();
    DWORD start = GetTickCount(), since = start;
    while (GetTickCount() - start < timeoutMs) {
        Sleep(50);
        Capture now = Grab();
        if (now.Width != last.Width || now.Data != last.Data) {
            last = std::move(now);
            since = GetTickCount();
        } else if (GetTickCount() - since >= stillMs) {
            return true;
        }
    }
    return false;
}

static int Record(const std::string& folder, WPARAM command) {
    HWND main = WaitVisible(MainClass, 10000);
    HWND strip = main ? FindChild(main, "TovaneStatusWndClass") : nullptr;
    if (!strip) return 3;
    const RECT r = ClientOnScreen(strip);
    Capture kept = Grab(), now;
    int frames = 0;
    char name[32];
    auto save = [&](const Capture& shot) { // a 24-bit bottom-up BMP
        std::snprintf(name, sizeof name, "\\%03d.bmp", frames++);
        WriteWholeFile(folder + name, BmpFileBytes(shot));
        return FileExists(folder + name);
    };
    if (!save(kept)) return 4;
    if (command) PostMessageA(main, WM_COMMAND, command, 0);
    DWORD start = GetTickCount();
    while (IsWindowVisible(main) && GetTickCount() - start < 60000) {
        Sleep(20);
        now = Grab();
        // The strip's place changes too when the window goes: that is the last frame's business.
        if (SameIn(now, kept, r) || !IsWindowVisible(main)) continue;
        std::swap(kept, now);
        save(kept);
    }
    WaitStill();
    now = Grab();
    if (now.Width != kept.Width || now.Data != kept.Data) save(now);
    std::printf("%d frames\n", frames);
    return IsWindowVisible(main) ? 5 : 0;
}

static int RunClose(const std::string& folder) {
    std::string path = folder;
    if (path.empty() || path.back() != '\\') path += '\\';
    TovaneProcess tovane;
    if (!tovane.Start(path)) {
        std::printf("could not start %sTovane.exe\n", path.c_str());
        return 2;
    }
    if (!tovane.WaitForWindow(MainClass)) {
        std::printf("no main window\n");
        return 3;
    }
    if (!tovane.CloseMain()) {
        std::printf("did not exit after WM_CLOSE\n");
        return 4;
    }
    std::printf("exit %lu\n", tovane.ExitCode());
    return tovane.ExitCode() == 0 ? 0 : 5;
}

static HWND ChildWithText(HWND parent, const std::string& text) {
    for (HWND child : parent ? ChildrenOf(parent) : std::vector<HWND>())
        if (TextOf(child) == text) return child;
    return nullptr;
}

static HWND NthChild(HWND parent, const char* className, int index) {
    for (HWND child : ChildrenOf(parent))
        if (ClassOf(child) == className && index-- == 0) return child;
    return nullptr;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: tovdrive run-close|wait|command|set-text|click|close ...\n");
        return 1;
    }
    std::string verb = argv[1];
    if (verb == "run-close" && argc == 3) return RunClose(argv[2]);
    // The waits' [SECONDS].
    const DWORD waitMs = (argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) : 10) * 1000;
    if (verb == "wait" && argc >= 3) {
        HWND w = WaitVisible(argv[2], waitMs);
        std::printf("%s %s\n", argv[2], w ? "visible" : "not found");
        return w ? 0 : 3;
    }
    if (verb == "command" && argc == 3)
        return Post(MainClass, WM_COMMAND, static_cast<WPARAM>(std::atoi(argv[2])), 0);
    if (verb == "set-text" && argc == 5) {
        HWND window = WaitVisible(argv[2], 5000);
        HWND edit = window ? NthChild(window, "Edit", std::atoi(argv[3])) : nullptr;
        if (!edit) return 3;
        SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        return 0;
    }
    if (verb == "click" && argc == 4) {
        HWND button = ChildWithText(WaitVisible(argv[2], 5000), argv[3]);
        return button && PostMessageA(button, BM_CLICK, 0, 0) ? 0 : 3;
    }
    if ((verb == "rect" || verb == "client-rect") && argc == 3) {
        HWND w = WaitVisible(argv[2], 5000);
        if (!w) return 3;
        RECT r = verb == "rect" ? RectOf(w) : ClientOnScreen(w);
        std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        return 0;
    }
    if (verb == "close") return Post(argc > 2 ? argv[2] : MainClass, WM_CLOSE, 0, 0);
    if (verb == "post" && argc == 6)
        return Post(argv[2], static_cast<UINT>(std::strtoul(argv[3], nullptr, 0)),
                    std::strtoul(argv[4], nullptr, 0), std::strtoul(argv[5], nullptr, 0));
    if (verb == "tab-to" && argc == 4) {
        HWND window = WaitVisible(argv[2], 5000), target = ChildWithText(window, argv[3]);
        if (!target) return 3;
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        DWORD thread = GetWindowThreadProcessId(window, nullptr);
        auto focused = [&] { return GetGUIThreadInfo(thread, &info) && info.hwndFocus == target; };
        for (int presses = 0; presses < 12 && !focused(); ++presses) {
            PostMessageA(window, WM_KEYDOWN, VK_TAB, 1);
            PumpUntil(focused, 1000);
        }
        return focused() ? 0 : 3;
    }
    if (verb == "wait-hidden" && argc >= 3) {
        bool hidden = PumpUntil(
            [&] {
                HWND w = FindWindowA(argv[2], nullptr);
                return !w || !IsWindowVisible(w);
            },
            waitMs);
        return hidden ? 0 : 3;
    }
    if (verb == "cursor" && argc == 4)
        return SetCursorPos(std::atoi(argv[2]), std::atoi(argv[3])) ? 0 : 3;
    if (verb == "wait-still") return WaitStill() ? 0 : 3;
    if (verb == "record" && argc >= 3)
        return Record(argv[2], argc > 3 ? std::strtoul(argv[3], nullptr, 0) : 0);
    std::printf("unknown command\n");
    return 1;
}
