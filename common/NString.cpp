#include "common/NString.h"

#include <cstring>

char TextBuffer[TextBufferSize];

char* NewString(const char* text) {
    if (!text || !*text) return nullptr;
    size_t n = std::strlen(text) + 1;
    char* copy = new char[n];
    std::memcpy(copy, text, n);
    return copy;
}

void FreeString(char*& text) {
    delete[] text;
    text = nullptr;
}

void WipeString(char*& text) {
    if (text) SecureZeroMemory(text, std::strlen(text));
    FreeString(text);
}

void ReplaceString(char*& field, char* value) {
    if (field == value) return;
    FreeString(field);
    field = value;
}

char* ControlText(HWND control) {
    // WM_GETTEXT rather than GetWindowText: it also reads a combo box's current text.
    LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return nullptr;
    char* text = new char[static_cast<size_t>(length) + 1];
    LRESULT got = SendMessageA(control, WM_GETTEXT, static_cast<WPARAM>(length) + 1,
                               reinterpret_cast<LPARAM>(text));
    text[got >= 0 && got <= length ? got : 0] = 0;
    if (!*text) FreeString(text);
    return text;
}
