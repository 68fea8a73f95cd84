// Bounded composition of path strings in SETUP_PATH_MAX-byte buffers.
// Platform-free: no C runtime, no Win32 calls, so the native tests and the
// fuzz target run the same code as the setup program.
#pragma once
#include "payload_format.h"

// The calling convention of the platform's own functions, so that they can
// be passed where these pieces take a function (32-bit Windows: stdcall).
#if defined(_WIN32) && !defined(_WIN64)
#define PLATFORM_CALL __stdcall
#else
#define PLATFORM_CALL
#endif

// Length of a zero-terminated string.
int PathTextLength(const char *text);

// Appends text to the zero-terminated path in buffer (a SETUP_PATH_MAX-byte
// buffer). Returns 1, or 0 with buffer unchanged when the result would pass
// PATH_TEXT_MAX_CHARS characters.
int AppendPath(char *buffer, const char *text);

// Compares two texts as lstrcmpiA does: 0 when they are the same.
typedef int(PLATFORM_CALL *TextCompare)(const char *a, const char *b);

// 1 when a and b name the same place, each in any of the forms the file
// system gives final paths in ("\\?\C:\..."; a share as
// "\\?\UNC\server\share\...") or a plain one ("C:\...",
// "\\server\share\..."): the forms must agree on a drive or a share, and
// compare (which may ignore case) on the rest.
int SameFinalPath(const char *a, const char *b, TextCompare compare);
