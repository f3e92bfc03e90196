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
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/Driver.h"
#include "support/TestSupport.h"

static constexpr char MainClass[] = "TovaneMainWndClass";

static HWND WaitVisible(const char* className, DWORD timeoutMs) {
    HWND found = nullptr;
    PumpUntil(
        [&] {
            found = FindWindowA(className, nullptr);
            return found && IsWindowVisible(found);
        },
        timeoutMs);
    return found && IsWindowVisible(found) ? found : nullptr;
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
    if (verb == "wait" && argc >= 3) {
        DWORD seconds = argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) : 10;
        HWND w = WaitVisible(argv[2], seconds * 1000);
        std::printf("%s %s\n", argv[2], w ? "visible" : "not found");
        return w ? 0 : 3;
    }
    if (verb == "command" && argc == 3) {
        HWND main = FindWindowA(MainClass, nullptr);
        if (!main) return 3;
        PostMessageA(main, WM_COMMAND, static_cast<WPARAM>(std::atoi(argv[2])), 0);
        return 0;
    }
    if (verb == "set-text" && argc == 5) {
        HWND window = WaitVisible(argv[2], 5000);
        HWND edit = window ? NthChild(window, "Edit", std::atoi(argv[3])) : nullptr;
        if (!edit) return 3;
        SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        return 0;
    }
    if (verb == "click" && argc == 4) {
        HWND window = WaitVisible(argv[2], 5000);
        if (!window) return 3;
        for (HWND child : ChildrenOf(window)) {
            if (TextOf(child) == argv[3]) {
                PostMessageA(child, BM_CLICK, 0, 0);
                return 0;
            }
        }
        return 3;
    }
    if (verb == "rect" && argc == 3) {
        HWND w = WaitVisible(argv[2], 5000);
        if (!w) return 3;
        RECT r = RectOf(w);
        std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        return 0;
    }
    if (verb == "close") {
        HWND w = FindWindowA(argc > 2 ? argv[2] : MainClass, nullptr);
        if (!w) return 3;
        PostMessageA(w, WM_CLOSE, 0, 0);
        return 0;
    }
    std::printf("unknown command\n");
    return 1;
}
