#pragma once
// Heap strings (null when absent, else a heap copy of zero-terminated text) and the shared
// scratch buffer for transient texts.
#include <windows.h>

char* NewString(const char* text);             // heap copy; null for null or empty text
void FreeString(char*& text);                  // frees and nulls
void WipeString(char*& text);                  // zeroes the characters first (passwords)
void ReplaceString(char*& field, char* value); // frees the old value, takes ownership of value
char* ControlText(HWND control);               // heap copy of a control's text; null when empty

constexpr int TextBufferSize = 4098;
// Scratch text for one user at a time; copy out before anything else can run.
extern char TextBuffer[TextBufferSize];
