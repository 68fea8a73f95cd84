// DLLs taken from the system directory only. The program is started from
// wherever it was saved, often a downloads folder shared with other files,
// and the platform looks in the program's own folder first for every DLL
// that is not one of its KnownDLLs.
#pragma once
#include <windows.h>

// Makes the system directory the only place searched for DLLs loaded from
// now on, the platform's own later loads included. Where the system cannot
// (no SetDefaultDllDirectories, or Windows Vista), loads the DLLs that the
// platform would load by name from the system directory instead. Called
// before any window exists.
void RestrictDllSearch(void);

// Loads a DLL by its full path in the system directory; name is its file
// name without ".dll". Returns the module, or NULL.
HMODULE LoadSystemLibrary(const char *name);
