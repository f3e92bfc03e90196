// Appends many lines to the real status strip of a real main window and reports what an
// append (with its synchronous repaint) costs early and late in a long log, how much it grew, and
// what a line costs in memory; then what copying the whole log to the clipboard costs in time and
// memory; then the log's storage alone, filled and read without the strip.
//
//   bench_status [--lines N] [--hold MS] [--size WIDTHxHEIGHT] [--wide] [--client]
//
// --hold keeps the window on screen afterwards (for screenshots); --size resizes it first;
// --wide mixes in lines wider than the strip; --client hooks the value events and reads the
// newest line on each, as a screen reader would.
#include <windows.h>

#include <oleacc.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/NLogCopy.h"
#include "app/NStatusLog.h"
#include "app/WMain.h"
#include "app/WStatus.h"
#include "common/NCommon.h"
#include "common/NGdi.h"
#include "controls/NIBtn.h"

namespace {

constexpr int Window = 100; // appends averaged at each checkpoint
constexpr int PumpEvery = 1000;

struct Options {
    int Lines = 1000000;
    DWORD HoldMs = 0;
    int Width = 0, Height = 0;
    bool Wide = false;
    bool Client = false;
};

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--lines" && i + 1 < argc)
            o.Lines = std::atoi(argv[++i]);
        else if (a == "--hold" && i + 1 < argc)
            o.HoldMs = static_cast<DWORD>(std::atoi(argv[++i]));
        else if (a == "--size" && i + 1 < argc)
            std::sscanf(argv[++i], "%dx%d", &o.Width, &o.Height);
        else if (a == "--wide")
            o.Wide = true;
        else if (a == "--client")
            o.Client = true;
    }
    return o;
}

void Pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (ms) Sleep(5);
    } while (GetTickCount() - start < ms);
}

// What a long auto-redial night writes, more or less.
int MakeLine(int i, bool wide, char* text, size_t size) {
    static const char* const states[] = {"Opening port...",
                                         "Port opened.",
                                         "Connecting device...",
                                         "Device connected.",
                                         "Authenticating user...",
                                         "Authenticated.",
                                         "Connected.",
                                         "Line dropped. Redialling.",
                                         "Error 678: The remote computer did not respond."};
    if (i % 10 == 0) return std::snprintf(text, size, " ");
    if (i % 10 == 1) return std::snprintf(text, size, "Connecting  (#%d Provider)", i / 10);
    if (wide && i % 10 == 5)
        return std::snprintf(text, size,
                             "%s  The modem reported a carrier loss after %d seconds; the "
                             "next attempt follows at once.",
                             states[i % 9], i);
    return std::snprintf(text, size, "%s", states[i % 9]);
}

std::string Label(int checkpoint) {
    return "  lines " + std::to_string(IntMax(1, checkpoint - Window + 1)) + ".." +
           std::to_string(checkpoint);
}

double Microseconds(LONGLONG ticks, LONGLONG frequency) {
    return 1e6 * static_cast<double>(ticks) / static_cast<double>(frequency);
}

struct Samples {
    std::vector<LONGLONG> Append, Idle;
};

// The 5th percentile: other processes on the machine only ever add time, so the fastest appends
// show what an append itself costs.
LONGLONG Fastest(std::vector<LONGLONG> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 20];
}

void Report(const char* what, std::vector<LONGLONG> samples, LONGLONG frequency) {
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    LONGLONG sum = 0;
    for (LONGLONG s : samples)
        sum += s;
    std::printf("%-24s mean %8.1f us   median %8.1f us   fastest 5%% %8.1f us   (%zu lines)\n",
                what, Microseconds(sum, frequency) / static_cast<double>(samples.size()),
                Microseconds(samples[samples.size() / 2], frequency),
                Microseconds(Fastest(samples), frequency), samples.size());
}

// How much dearer an append is late in the log than at its start: a cost that grew with the log
// would be hundreds of times the first one at a million lines.
void ReportGrowth(const std::vector<int>& checkpoints, const std::vector<Samples>& samples) {
    size_t last = samples.size();
    while (last > 1 && samples[last - 1].Append.empty())
        --last;
    if (last < 2 || samples[0].Append.empty()) return;
    std::printf("Growth of an append, %s over lines 1..%d (fastest 5%%): %.2f times\n",
                Label(checkpoints[last - 1]).substr(2).c_str(), checkpoints[0],
                static_cast<double>(Fastest(samples[last - 1].Append)) /
                    static_cast<double>(Fastest(samples[0].Append)));
}

// Bytes in use in every heap of the process, the heaps' own bookkeeping included.
size_t HeapBytes() {
    HANDLE heaps[64];
    DWORD n = GetProcessHeaps(64, heaps);
    size_t used = 0;
    for (DWORD h = 0; h < n && h < 64; ++h) {
        if (!HeapLock(heaps[h])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[h], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) used += entry.cbData + entry.cbOverhead;
        HeapUnlock(heaps[h]);
    }
    return used;
}

// Average cost of redrawing the strip with the view at the given top line.
double PaintCost(int32_t top, LONGLONG frequency) {
    TopLine = top;
    WindowDC dc(StatusStrip);
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < Window; ++i)
        PaintStatusStrip(dc.Get());
    QueryPerformanceCounter(&t1);
    return Microseconds(t1.QuadPart - t0.QuadPart, frequency) / Window;
}

// One append, timed, then the queue emptied (as when lines come one at a time) and timed too.
void TimedAppend(const char* text, Samples& into) {
    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    AddStatusLine(text);
    QueryPerformanceCounter(&t1);
    Pump(0);
    QueryPerformanceCounter(&t2);
    into.Append.push_back(t1.QuadPart - t0.QuadPart);
    into.Idle.push_back(t2.QuadPart - t1.QuadPart);
}

// A screen reader's part: the strip's object, and a read of its value for every value event.
IAccessible* Reader = nullptr;
int Announced = 0;

void CALLBACK OnValueChange(HWINEVENTHOOK, DWORD, HWND window, LONG, LONG, DWORD, DWORD) {
    if (window != StatusStrip || !Reader) return;
    VARIANT self;
    VariantInit(&self);
    V_VT(&self) = VT_I4;
    V_I4(&self) = CHILDID_SELF;
    BSTR value = nullptr;
    if (Reader->get_accValue(self, &value) == S_OK) ++Announced;
    SysFreeString(value);
}

HWINEVENTHOOK StartReader() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    AccessibleObjectFromWindow(StatusStrip, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                               reinterpret_cast<void**>(&Reader));
    return SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
                           OnValueChange, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
}

// The process's resident memory, sampled by a thread of its own while something runs: the
// counters' own peak is not kept under Wine, which reads them from the system each time.
class MemoryWatch {
  public:
    MemoryWatch() : before_(Resident()), peak_(before_) {
        thread_ = CreateThread(nullptr, 0, Sample, this, 0, nullptr);
    }
    ~MemoryWatch() { Stop(); }
    MemoryWatch(const MemoryWatch&) = delete;
    MemoryWatch& operator=(const MemoryWatch&) = delete;
    // The most held beyond the start, in bytes.
    size_t Stop() {
        if (thread_) {
            InterlockedExchange(&stop_, 1);
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
            thread_ = nullptr;
        }
        return peak_ > before_ ? peak_ - before_ : 0;
    }

  private:
    static size_t Resident() {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
        return counters.WorkingSetSize;
    }
    static DWORD WINAPI Sample(LPVOID self) {
        auto* watch = static_cast<MemoryWatch*>(self);
        while (!InterlockedCompareExchange(&watch->stop_, 0, 0)) {
            watch->peak_ = std::max(watch->peak_, Resident());
            Sleep(1);
        }
        watch->peak_ = std::max(watch->peak_, Resident());
        return 0;
    }
    size_t before_, peak_;
    volatile LONG stop_ = 0;
    HANDLE thread_ = nullptr;
};

// Copies the whole log as the strip's menu does and reports its time and memory.
void ReportCopy(LONGLONG frequency) {
    const int32_t count = StatusLineCount();
    size_t textBytes = 1;
    for (int32_t i = 0; i < count; ++i)
        textBytes += std::strlen(StatusLineText(i)) + (i > 0 ? 2 : 0);
    MemoryWatch watch;
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    const bool copied = CopyStatusLines(MainWindow, 0, count);
    QueryPerformanceCounter(&t1);
    const size_t peak = watch.Stop();
    std::printf("Copy log: %d lines, %.2f MB of text, %s in %.1f ms; memory peak %.2f MB above "
                "the start (%.2f times the text)\n",
                count, static_cast<double>(textBytes) / 1e6, copied ? "copied" : "NOT copied",
                Microseconds(t1.QuadPart - t0.QuadPart, frequency) / 1000.0,
                static_cast<double>(peak) / 1e6,
                static_cast<double>(peak) / static_cast<double>(textBytes));
}

// The same lines stored straight into the log, without measuring, scrolling or painting: the
// storage's share of an append. Each window of appends is timed as a whole, a single store
// being shorter than the counter's step. Then every line read back, as the copy reads them.
void ReportLogAlone(const Options& options, const std::vector<int>& checkpoints,
                    LONGLONG frequency) {
    FreeStatusLog();
    std::vector<double> perLine(checkpoints.size());
    char text[256];
    LARGE_INTEGER start, t0, t1;
    QueryPerformanceCounter(&start);
    for (int i = 1; i <= options.Lines; ++i) {
        const int length = MakeLine(i, options.Wide, text, sizeof text); // stands in for a width
        const auto c = std::find(checkpoints.begin(), checkpoints.end(), i + Window - 1);
        if (c != checkpoints.end()) QueryPerformanceCounter(&t0);
        AppendLogLine(text, length);
        const auto end = std::find(checkpoints.begin(), checkpoints.end(), i);
        if (end == checkpoints.end()) continue;
        QueryPerformanceCounter(&t1);
        perLine[static_cast<size_t>(end - checkpoints.begin())] =
            Microseconds(t1.QuadPart - t0.QuadPart, frequency) / Window;
    }
    QueryPerformanceCounter(&t1);
    const double fill = Microseconds(t1.QuadPart - start.QuadPart, frequency);
    const int32_t count = StatusLineCount();
    size_t bytes = 0;
    QueryPerformanceCounter(&t0);
    for (int32_t i = 0; i < count; ++i)
        bytes += std::strlen(StatusLineText(i));
    QueryPerformanceCounter(&t1);
    std::printf("The log alone (app/NStatusLog): %d lines stored in %.1f ms, %.3f us per line\n",
                count, fill / 1000.0, count > 0 ? fill / count : 0.0);
    for (size_t c = 0; c < checkpoints.size(); ++c)
        if (checkpoints[c] <= options.Lines)
            std::printf("%-24s %8.3f us per line\n", Label(checkpoints[c]).c_str(), perLine[c]);
    std::printf("  every line read back     %.1f ms (%.2f MB); log holds %.2f bytes/line\n",
                Microseconds(t1.QuadPart - t0.QuadPart, frequency) / 1000.0,
                static_cast<double>(bytes) / 1e6,
                count > 0 ? static_cast<double>(StatusLogBytes()) / count : 0.0);
}

} // namespace

int main(int argc, char** argv) {
    Options options = Parse(argc, argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0); // each figure as soon as it is known
    InitShared();
    LoadSettings();
    SetupMainWindow();
    RegisterImageButton();
    CreateMainWindow();
    KillTimer(MainWindow, PollTimerId); // nothing but appends is measured
    if (options.Width > 0 && options.Height > 0) {
        WindowBox box = {0, 0, options.Width, options.Height};
        CenterOnScreen(box, box);
        SetWindowPos(MainWindow, nullptr, box.Left, box.Top, box.Width, box.Height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Pump(200);
    HWINEVENTHOOK hook = options.Client ? StartReader() : nullptr;
    if (options.Client && (!hook || !Reader)) std::printf("no accessibility client could hook\n");

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const std::vector<int> checkpoints = {100, 10000, 1000000};
    std::vector<Samples> samples(checkpoints.size());
    const size_t heapBefore = HeapBytes();
    size_t textBytes = 0;

    char text[256];
    for (int i = 1; i <= options.Lines; ++i) {
        textBytes += static_cast<size_t>(MakeLine(i, options.Wide, text, sizeof text));
        auto window = std::find_if(checkpoints.begin(), checkpoints.end(),
                                   [i](int c) { return i > c - Window && i <= c; });
        if (window != checkpoints.end()) {
            TimedAppend(text, samples[static_cast<size_t>(window - checkpoints.begin())]);
            continue;
        }
        AddStatusLine(text);
        if (i % PumpEvery == 0) Pump(0);
    }
    const size_t heapAfter = HeapBytes();

    RECT client = {};
    GetClientRect(StatusStrip, &client);
    std::printf("Status strip benchmark: %d lines appended to a %ldx%ld strip, %d lines visible\n",
                StatusLineCount(), static_cast<long>(client.right),
                static_cast<long>(client.bottom), VisibleLines);
    if (hook) {
        Pump(0);
        std::printf("With a client hooked: %d value events read for %d lines\n", Announced,
                    StatusLineCount());
    }
    std::printf("Append (copy, measure, scroll ranges, off-screen paint, one BitBlt), per line:\n");
    for (size_t c = 0; c < checkpoints.size(); ++c)
        Report(Label(checkpoints[c]).c_str(), samples[c].Append, frequency.QuadPart);
    ReportGrowth(checkpoints, samples);
    std::printf("Then the idle queue (scroll bar repaint), per line:\n");
    for (size_t c = 0; c < checkpoints.size(); ++c)
        Report(Label(checkpoints[c]).c_str(), samples[c].Idle, frequency.QuadPart);
    if (StatusLineCount() > 0) {
        const int32_t count = StatusLineCount();
        const int32_t end = TopLine;
        const double top = PaintCost(0, frequency.QuadPart);
        const double middle = PaintCost(count / 2, frequency.QuadPart);
        const double last = PaintCost(end, frequency.QuadPart); // leaves the view as it was
        std::printf("Repaint alone: top %.1f us, middle %.1f us, end %.1f us\n", top, middle, last);
        const double lines = static_cast<double>(count);
        std::printf("Memory: text %.2f bytes/line; log holds %.2f bytes/line (overhead %.2f); "
                    "the process heaps grew %.2f bytes/line\n",
                    static_cast<double>(textBytes) / lines,
                    static_cast<double>(StatusLogBytes()) / lines,
                    static_cast<double>(StatusLogBytes() - textBytes) / lines,
                    static_cast<double>(heapAfter - heapBefore) / lines);
        ReportCopy(frequency.QuadPart);
    }

    if (options.HoldMs == 0) ReportLogAlone(options, checkpoints, frequency.QuadPart);

    // The same first lines once more, now, in a process that has done everything above: what
    // differs from the first figures is the machine and the display, not the log.
    if (options.Lines >= Window && options.HoldMs == 0) {
        SetupStatusStrip();
        UpdateStatusScrollBars(false);
        Samples again;
        for (int i = 1; i <= Window; ++i) {
            MakeLine(i, options.Wide, text, sizeof text);
            TimedAppend(text, again);
        }
        std::printf("Control, log emptied and refilled:\n");
        Report("  append, lines 1..100", again.Append, frequency.QuadPart);
        Report("  idle, lines 1..100", again.Idle, frequency.QuadPart);
    }
    std::fflush(stdout);

    Pump(options.HoldMs);
    return 0;
}
