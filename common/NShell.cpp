#include "common/NShell.h"

#include <windows.h>

#include <cstring>
#include <shellapi.h>

#include "common/NString.h"

static std::string BrowserCommand; // empty until the first successful lookup

void ForgetBrowser() {
    BrowserCommand.clear();
}

std::string FolderOfPath(const char* path) {
    std::string text = path ? path : "";
    // Last "\" or ":" that is not the trail byte of a double-byte character.
    size_t cut = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsDBCSLeadByte(c) && i + 1 < text.size()) {
            ++i;
            continue;
        }
        if (c == '\\' || c == ':') cut = i;
    }
    std::string folder = cut == std::string::npos ? std::string() : text.substr(0, cut + 1);
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder;
}

static bool EqualsNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string BrowserFromCommand(const char* command) {
    std::string text = command ? command : "";
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return std::string();
    if (text[start] == '"') {
        size_t end = text.find('"', start + 1);
        return text.substr(start + 1,
                           end == std::string::npos ? std::string::npos : end - start - 1);
    }
    // Unquoted: up to the first ".exe" that ends a path component, so dotted folders
    // (C:\Users\first.last\...) stay whole.
    for (size_t i = start; i + 4 <= text.size(); ++i) {
        if (!EqualsNoCase(text.c_str() + i, ".exe", 4)) continue;
        size_t after = i + 4;
        if (after == text.size() || text[after] == ' ' || text[after] == '\t' || text[after] == '"')
            return text.substr(start, after - start);
    }
    size_t end = text.find_first_of(" \t", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Reads the default value of a key under HKEY_CLASSES_ROOT into buffer; false on any failure.
static bool ReadClassesValue(const char* key, char* buffer, DWORD size) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    DWORD type = 0, bytes = size - 1;
    LONG r =
        RegQueryValueExA(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(handle);
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    buffer[bytes < size ? bytes : size - 1] = 0;
    return true;
}

void OpenWebPage(const char* url) {
    if (BrowserCommand.empty()) {
        char fileClass[TextBufferSize] = {};
        if (!ReadClassesValue(".html", fileClass, sizeof fileClass)) return;
        std::string key = std::string(fileClass) + "\\shell\\open\\command";
        std::memset(TextBuffer, 0, sizeof TextBuffer);
        if (!ReadClassesValue(key.c_str(), TextBuffer, sizeof TextBuffer)) return;
        BrowserCommand = BrowserFromCommand(TextBuffer);
        if (BrowserCommand.empty()) return;
    }
    ShellExecuteA(nullptr, nullptr, BrowserCommand.c_str(), url, nullptr, SW_SHOWNORMAL);
}
