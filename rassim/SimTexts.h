#pragma once
// The simulated service's own wording for the error codes it can produce.
#include <windows.h>

// Null for a code the service does not know.
const char* SimErrorText(DWORD code);
