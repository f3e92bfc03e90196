#include "app/WMain.h"

#include "common/NCommon.h"

HWND MainWindow = nullptr;

static constexpr char MainClassName[] = "TovaneMainWndClass";
static constexpr DWORD MainStyle = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;

void SetupMainWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = MainIcon;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = MainClassName;
    RegisterClassA(&wc);
}

void CreateMainWindow() {
    WindowBox& box = Settings.WindowRect;
    if (LoadFailed) CenterOnScreen(box, box);
    ClampToWorkArea(box);
    MainWindow = CreateWindowExA(WS_EX_CONTROLPARENT, MainClassName, "Tovane", MainStyle, box.Left,
                                 box.Top, box.Width, box.Height, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ShowWindow(MainWindow, SW_SHOWNORMAL);
}

static void StoreWindowRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    Settings.WindowRect = {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        StoreWindowRect(window);
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        FillRect(dc, &ps.rcPaint, BtnFaceBrush);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_KEYDOWN:
        // Enter and Escape go on to the focused control; Tab is handled here.
        return wParam == VK_RETURN || wParam == VK_ESCAPE ? 1 : 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
