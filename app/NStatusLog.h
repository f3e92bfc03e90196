#pragma once
// The status log's lines: append-only and unbounded, read by index in constant time. Kept apart
// from the strip that shows them, so that the copy, screen readers and the benchmark reach the
// lines without a window. Window thread only.
#include <cstddef>
#include <cstdint>

// Stores a copy of the line, which is width pixels wide as drawn. False when memory ran out:
// the line is dropped and the log is left exactly as it was.
bool AppendLogLine(const char* text, int32_t width);
int32_t StatusLineCount();
const char* StatusLineText(int32_t index); // null outside the log
int32_t StatusLogWidest();                 // widest line stored, in pixels; never shrinks
size_t StatusLogBytes();                   // heap bytes the log holds, bookkeeping included
void FreeStatusLog();                      // empties the log
