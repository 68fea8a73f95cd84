// Bounded composition of path strings in SETUP_PATH_MAX-byte buffers.
// Platform-free: no C runtime, no Win32 calls, so the native tests and the
// fuzz target run the same code as the setup program.
#pragma once
#include "payload_format.h"

// Length of a zero-terminated string.
int PathTextLength(const char *text);

// Appends text to the zero-terminated path in buffer (a SETUP_PATH_MAX-byte
// buffer). Returns 1, or 0 with buffer unchanged when the result would pass
// PATH_TEXT_MAX_CHARS characters.
int AppendPath(char *buffer, const char *text);
