// What the process's own access token says about who runs it.
#pragma once
#include <windows.h>

// Fills buffer (size bytes) with one class of the process token's
// information. Returns 1, or 0 when the token cannot be opened or the
// system does not know the class (Windows XP knows no elevation).
int QueryProcessToken(TOKEN_INFORMATION_CLASS what, void *buffer, DWORD size);
