// Developer Studio discovery and component registration.
#pragma once
#include <windows.h>

// Fills buffer with the folder to suggest. Returns 0 when Developer Studio's
// key is absent (buffer unchanged), 1 otherwise. size is the buffer's size.
int FindDefaultFolder(char *buffer, DWORD size);

// Developer Studio's key under HKEY_CURRENT_USER: there at all means it is
// installed for the user. Each version keeps its folders under
// DEVSTUDIO_KEY "\\<n>.0\\" DEVSTUDIO_DIRECTORIES_KEY, its Bin folder in the
// value DEVSTUDIO_INSTALL_DIRS.
#define DEVSTUDIO_KEY             "Software\\Microsoft\\DevStudio"
#define DEVSTUDIO_DIRECTORIES_KEY "Directories"
#define DEVSTUDIO_INSTALL_DIRS    "Install Dirs"

// Suggested when Developer Studio records no install folder.
#define FALLBACK_FOLDER "c:\\Corvane"

// What the user is told when the component cannot be registered.
#define REGISTER_FAILED_TEXT                                                  \
    "Failed to register the Corvane Torvik Add-in. The component cannot "     \
    "function until it is registered, so this is a serious (and unexpected) " \
    "error. Suggest you try running the Setup program again, and if this "    \
    "error recurs, contact Corvane Software. Contact information is in the "  \
    "Readme.htm file."

// Loads the installed add-in component and calls its DllRegisterServer,
// telling the user when that fails.
void RegisterComponent(HWND dialog);
