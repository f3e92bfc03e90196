#pragma once
// Helpers for in-process tests: temporary folders, message pumping, waiting with a deadline.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A fresh folder under the temporary path, removed with everything in it on destruction.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; } // with a trailing backslash
    std::string File(const std::string& name) const { return path_ + name; }

  private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& path, bool* exists = nullptr);
void WriteWholeFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Open handles of this process. GetProcessHandleCount where it answers; Wine's reports 0, so
// there the valid handle values below 0x4000 are counted (it hands out the lowest free ones).
DWORD OpenHandleCount();

// The folder of the running test program, with a trailing backslash.
std::string ExeFolder();

// Dispatches this thread's messages for the given time.
void PumpMessages(DWORD milliseconds);
// Pumps until the predicate holds or the time is up; returns the predicate's last value.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Sets or removes (null value) an environment variable of this process for the scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();

  private:
    std::string name_;
    std::string old_;
    bool had_;
};

// Runs the steps one per timer tick (every periodMs) on this thread, from inside whatever loop
// is pumping at the time, modal loops included: the way a user acts on an open window.
void RunStepsOnTimer(std::vector<std::function<void()>> steps, UINT periodMs = 30);
// Forgets steps not yet run.
void ClearTimerSteps();

// The ".html" association of the tests' own prefix (a class "TovaneTest.Page"), set for the
// scope and put back afterwards.
class HtmlAssociation {
  public:
    HtmlAssociation();
    ~HtmlAssociation();
    HtmlAssociation(const HtmlAssociation&) = delete;
    HtmlAssociation& operator=(const HtmlAssociation&) = delete;
    // ".html" names the class; its open command is the given text, or absent (null).
    void Set(const char* command);
    // The open command's default value as a number, which is no command at all.
    void SetNumber();

  private:
    bool had_ = false;
    std::string old_;
};

// Points this program's import of a system function (dll, name) at replacement, the way the
// program's own calls reach it, and returns the function it pointed at (null when the program
// does not import it). Calling it again with the returned function puts it back.
void* ReplaceImport(const char* dll, const char* name, void* replacement);

// GetTickCount64 as this program sees it, for the scope: Advance moves it on, so that a wait the
// program measures passes without being waited for.
class ClockShift {
  public:
    ClockShift();
    ~ClockShift();
    ClockShift(const ClockShift&) = delete;
    ClockShift& operator=(const ClockShift&) = delete;
    void Advance(ULONGLONG milliseconds);
};

// Watches secondary windows close over their owner. A decoy top-level window stands right behind
// the owner, as another program's window would: a window destroyed while its owner is still
// disabled hands activation to the decoy. Records whether the owner was enabled when a watched
// window got WM_DESTROY. One watch at a time, on the window thread.
class CloseWatch {
  public:
    explicit CloseWatch(HWND owner);
    ~CloseWatch();
    CloseWatch(const CloseWatch&) = delete;
    CloseWatch& operator=(const CloseWatch&) = delete;
    void Reset();          // forget what was seen
    int Destroyed() const; // WM_DESTROYs of top-level windows owned by the owner
    // Owner enabled and active, the decoy never activated, and the owner enabled at every
    // destroy; otherwise a description of what went wrong.
    std::string Problem() const;
};
