// Developer Studio discovery and component registration.
#pragma once
#include <windows.h>

// Fills buffer with the folder to suggest. Returns 0 when Developer Studio's
// key is absent (buffer unchanged), 1 otherwise. size is the buffer's size.
int FindDefaultFolder(char *buffer, DWORD size);

// Loads the installed add-in component and calls its DllRegisterServer,
// telling the user when that fails.
void RegisterComponent(HWND dialog);
