#include "Driver.h"

#include "TestSupport.h"

TovaneProcess::~TovaneProcess() {
    if (Running()) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
    }
    if (process_) CloseHandle(process_);
}

bool CopyBesideTests(const std::string& name, const std::string& folder,
                     const std::string& targetName) {
    std::string source = ExeFolder() + name;
    std::string target = folder + (targetName.empty() ? name : targetName);
    return CopyFileA(source.c_str(), target.c_str(), FALSE) != 0;
}

bool TovaneProcess::Start(const std::string& folder,
                          const std::vector<std::pair<std::string, std::string>>& env,
                          const std::string& arguments) {
    std::string exe = folder + "Tovane.exe";
    if (!FileExists(exe) && !CopyBesideTests("Tovane.exe", folder)) return false;

    std::vector<ScopedEnv*> scoped;
    for (const auto& [name, value] : env)
        scoped.push_back(new ScopedEnv(name.c_str(), value.c_str()));
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    BOOL ok = CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             folder.c_str(), &si, &pi);
    for (auto* s : scoped)
        delete s;
    if (!ok) return false;
    CloseHandle(pi.hThread);
    if (process_) CloseHandle(process_); // an earlier run's
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    WaitForInputIdle(process_, 5000);
    return true;
}

namespace {
struct FindState {
    DWORD Pid;
    const char* ClassName;
    const char* Title;
    HWND Found;
};
} // namespace

static BOOL CALLBACK FindTopLevel(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<FindState*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != state->Pid || ClassOf(window) != state->ClassName) return TRUE;
    if (state->Title && TextOf(window) != state->Title) return TRUE;
    state->Found = window;
    return FALSE;
}

HWND TovaneProcess::FindWindowOf(const char* className, const char* title) const {
    FindState state = {pid_, className, title, nullptr};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&state));
    return state.Found;
}

HWND TovaneProcess::WaitForWindow(const char* className, DWORD timeoutMs, const char* title) const {
    HWND found = nullptr;
    PumpUntil(
        [&] {
            found = FindWindowOf(className, title);
            return (found && IsWindowVisible(found)) || !Running();
        },
        timeoutMs);
    return found;
}

bool TovaneProcess::Running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool TovaneProcess::WaitForExit(DWORD timeoutMs) {
    return PumpUntil([&] { return !Running(); }, timeoutMs);
}

DWORD TovaneProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_) GetExitCodeProcess(process_, &code);
    return code;
}

bool TovaneProcess::CloseMain(DWORD timeoutMs) {
    HWND main = FindWindowOf("TovaneMainWndClass");
    if (!main) return false;
    PostMessageA(main, WM_CLOSE, 0, 0);
    return WaitForExit(timeoutMs);
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    // WM_GETTEXT, not GetWindowText: it also reads other processes' controls.
    LRESULT n = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(n) + 1, '\0');
    LRESULT got =
        SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(got));
    return text;
}

RECT RectOf(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

static BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> all, direct;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&all));
    for (HWND w : all)
        if (GetParent(w) == parent) direct.push_back(w);
    return direct;
}

HWND FindChild(HWND parent, const char* className, const char* text) {
    for (HWND child : ChildrenOf(parent)) {
        if (ClassOf(child) != className) continue;
        if (text && TextOf(child) != text) continue;
        return child;
    }
    return nullptr;
}

bool WaitForMessageBox(DWORD pid, MessageBoxInfo& info, DWORD timeoutMs) {
    return PumpUntil(
        [&] {
            FindState state = {pid, "#32770", nullptr, nullptr};
            EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&state));
            // Visible means initialised: the box sets its texts before it is shown.
            if (!state.Found || !IsWindowVisible(state.Found)) return false;
            info.Window = state.Found;
            info.Caption = TextOf(state.Found);
            info.Text.clear();
            for (HWND child : ChildrenOf(state.Found)) {
                std::string text = TextOf(child);
                if (ClassOf(child) == "Static" && text.size() > info.Text.size()) info.Text = text;
            }
            return true;
        },
        timeoutMs);
}

void AnswerMessageBox(HWND box) {
    if (HWND button = FindChild(box, "Button")) SendMessageA(button, BM_CLICK, 0, 0);
}

static constexpr char HelpViewerClass[] = "MS_WINHELP";

HWND FindHelpViewer() {
    HWND viewer = FindWindowA(HelpViewerClass, nullptr);
    return viewer && IsWindowVisible(viewer) ? viewer : nullptr;
}

HWND WaitForHelpViewer(DWORD timeoutMs) {
    HWND viewer = nullptr;
    PumpUntil([&] { return (viewer = FindHelpViewer()) != nullptr; }, timeoutMs);
    return viewer;
}

bool WaitForHelpViewerClosed(DWORD timeoutMs) {
    return PumpUntil([] { return FindWindowA(HelpViewerClass, nullptr) == nullptr; }, timeoutMs);
}

static HWND HelpTextWindow(HWND viewer) {
    for (HWND child : ChildrenOf(viewer))
        if (ClassOf(child).rfind("RichEdit", 0) == 0) return child;
    return nullptr;
}

std::string HelpTopicText(HWND viewer) {
    HWND edit = HelpTextWindow(viewer);
    if (!edit) return std::string();
    // Paragraphs may come back as "\r\n"; the control's own character positions count one.
    std::string text;
    char previous = 0;
    for (char c : TextOf(edit)) {
        if (c != '\n')
            text += c;
        else if (previous != '\r')
            text += '\r';
        previous = c;
    }
    return text;
}

std::string HelpTopicTitle(HWND viewer) {
    std::string text = HelpTopicText(viewer);
    return text.substr(0, text.find('\r'));
}

bool WaitForHelpTopic(HWND viewer, const std::string& title, DWORD timeoutMs) {
    return PumpUntil([&] { return HelpTopicTitle(viewer) == title; }, timeoutMs);
}

bool ClickHelpText(HWND viewer, const std::string& text) {
    HWND edit = HelpTextWindow(viewer);
    size_t at = HelpTopicText(viewer).rfind(text);
    if (!edit || text.empty() || at == std::string::npos) return false;
    WPARAM middle = at + text.size() / 2;
    SendMessageA(edit, EM_SETSEL, middle, middle);
    SendMessageA(edit, EM_SCROLLCARET, 0, 0);
    // The edit-control form of the message (index in, packed point out) also works across
    // processes, where the rich edit form's POINTL pointer would not.
    LRESULT packed = SendMessageA(edit, EM_POSFROMCHAR, middle, 0);
    POINT point = {static_cast<short>(LOWORD(packed)), static_cast<short>(HIWORD(packed)) + 4};
    RECT client;
    GetClientRect(edit, &client);
    if (!PtInRect(&client, point)) return false;
    LPARAM where = MAKELPARAM(point.x, point.y);
    PostMessageA(edit, WM_MOUSEMOVE, 0, where);
    PostMessageA(edit, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageA(edit, WM_LBUTTONUP, 0, where);
    return true;
}
