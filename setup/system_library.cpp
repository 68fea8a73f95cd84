#include "system_library.h"
#include "path_text.h"
#include "payload.h"

typedef BOOL(WINAPI *SetDefaultDllDirectoriesCall)(DWORD);

void RestrictDllSearch(void)
{
    SetDefaultDllDirectoriesCall restrict = (SetDefaultDllDirectoriesCall)(void *)GetProcAddress(
        GetModuleHandleA("kernel32"), "SetDefaultDllDirectories");
    if (restrict)
        restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemLibrary(const char *name)
{
    char path[SETUP_PATH_MAX];
    UINT length = GetSystemDirectoryA(path, SETUP_PATH_MAX);
    HMODULE module = NULL;
    if (length != 0 && length < SETUP_PATH_MAX && AppendPath(path, name))
        module = LoadLibraryA(path);
    return module;
}
