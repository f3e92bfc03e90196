#pragma once
// Drives a real Tovane.exe from outside, the way a user or another program would: starts it in
// a folder of its own, finds its windows, reads them, sends commands and answers message boxes.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

class TovaneProcess {
  public:
    TovaneProcess() = default;
    ~TovaneProcess(); // a process still running is ended
    TovaneProcess(const TovaneProcess&) = delete;
    TovaneProcess& operator=(const TovaneProcess&) = delete;

    // Copies Tovane.exe (from beside the test program) into folder, unless already there, and
    // starts it with the extra environment variables and the arguments given.
    bool Start(const std::string& folder,
               const std::vector<std::pair<std::string, std::string>>& env = {},
               const std::string& arguments = std::string());
    // First visible top-level window of this process with the class (and, unless null, the
    // title). FindWindowOf also finds hidden ones.
    HWND WaitForWindow(const char* className, DWORD timeoutMs = 10000,
                       const char* title = nullptr) const;
    HWND FindWindowOf(const char* className, const char* title = nullptr) const;
    bool WaitForExit(DWORD timeoutMs = 10000);
    DWORD ExitCode() const;
    bool Running() const;
    DWORD Pid() const { return pid_; }
    // Posts WM_CLOSE to the main window and waits for the process to end.
    bool CloseMain(DWORD timeoutMs = 10000);

  private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

std::string ClassOf(HWND window);
std::string TextOf(HWND window);
RECT RectOf(HWND window);
std::vector<HWND> ChildrenOf(HWND parent);
// First direct child with the class and, unless null, the text.
HWND FindChild(HWND parent, const char* className, const char* text = nullptr);

struct MessageBoxInfo {
    HWND Window = nullptr;
    std::string Caption;
    std::string Text;
};
// Waits for a message box ("#32770") of the process and reads its caption and text.
bool WaitForMessageBox(DWORD pid, MessageBoxInfo& info, DWORD timeoutMs = 10000);
// Presses the box's first button (BM_CLICK: posting IDOK does not close it under Wine).
void AnswerMessageBox(HWND box);

// Copies a file from beside the test program into folder; false when it is missing.
bool CopyBesideTests(const std::string& name, const std::string& folder,
                     const std::string& targetName = std::string());

// The help viewer that WinHelpA starts: a top-level window of class "MS_WINHELP" that shows
// the topic in a rich edit child.
HWND FindHelpViewer(); // the visible viewer, or null
HWND WaitForHelpViewer(DWORD timeoutMs = 15000);
bool WaitForHelpViewerClosed(DWORD timeoutMs = 15000);
// The text of the topic shown, paragraphs ended by "\r"; the first paragraph is the title.
std::string HelpTopicText(HWND viewer);
std::string HelpTopicTitle(HWND viewer);
bool WaitForHelpTopic(HWND viewer, const std::string& title, DWORD timeoutMs = 15000);
// Clicks, as a user would, on the last place where text appears in the topic, after
// scrolling it into view; false when the text is not there or cannot be brought into view.
bool ClickHelpText(HWND viewer, const std::string& text);
