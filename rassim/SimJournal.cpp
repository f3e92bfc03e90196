#include "SimJournal.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

#include "SimConfig.h"

void SimJournal(const char* format, ...) {
    std::string path = SimEnvironment("RASSIM_JOURNAL");
    if (path.empty()) return;
    char body[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(body, sizeof body, format, args);
    va_end(args);
    char line[2200];
    int n = std::snprintf(line, sizeof line, "%llu %lu %s\r\n",
                          static_cast<unsigned long long>(GetTickCount64()),
                          static_cast<unsigned long>(GetCurrentProcessId()), body);
    if (n < 0) return;
    DWORD length = static_cast<DWORD>(n < static_cast<int>(sizeof line) ? n : sizeof line - 1);
    // Several processes append to the same file: one write per line, opened for appending only.
    for (int attempt = 0; attempt < 50; ++attempt) {
        HANDLE file =
            CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, line, length, &written, nullptr);
            CloseHandle(file);
            return;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION) return;
        Sleep(2);
    }
}

std::string JournalQuote(const char* text) {
    if (!text) return "(null)";
    std::string quoted = "\"";
    for (const char* p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 32) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            quoted += escaped;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}
