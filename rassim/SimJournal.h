#pragma once
// The journal: when RASSIM_JOURNAL names a file, every call into the service (and every report
// to a dial notifier) appends one line to it: milliseconds since the system started, the process
// id, then the text given here. Passwords are never written.
#include <string>

void SimJournal(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A text as it appears in the journal: quoted, with quotes and control characters escaped.
std::string JournalQuote(const char* text);
