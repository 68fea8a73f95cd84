#include "system_library.h"
#include "path_text.h"
#include "payload.h"

typedef BOOL(WINAPI *SetDefaultDllDirectoriesCall)(DWORD);

// DLLs that the platform's own DLLs load by name into this program on
// systems whose DLL search cannot be restricted (Windows XP, Vista, and 7
// without update KB2533623): the theme, user profile, device setup,
// compatibility, property, desktop composition, cryptography base,
// accessibility, COM+ catalogue and version libraries. Loaded first, from
// the system directory, they are already in the process when asked for
// by name, and the program's folder is never searched for them. A name a
// system lacks (propsys and dwmapi before Vista, cryptbase before 7) just
// fails to load: a full path is never searched elsewhere.
static const char PRELOADED_LIBRARIES[] =
    "uxtheme\0userenv\0setupapi\0apphelp\0propsys\0dwmapi\0cryptbase\0oleacc\0clbcatq\0version\0";

static HMODULE LoadFromSystemDirectory(const char *name, DWORD flags)
{
    char path[SETUP_PATH_MAX];
    UINT length = GetSystemDirectoryA(path, SETUP_PATH_MAX);
    HMODULE module = NULL;
    if (length != 0 && length < SETUP_PATH_MAX && AppendPath(path, "\\") && AppendPath(path, name) &&
        AppendPath(path, ".dll"))
        module = LoadLibraryExA(path, NULL, flags);
    return module;
}

void RestrictDllSearch(void)
{
    SetDefaultDllDirectoriesCall restrictSearch = (SetDefaultDllDirectoriesCall)(void *)GetProcAddress(
        GetModuleHandleA("kernel32"), "SetDefaultDllDirectories");
    // Windows Vista (6.0) with the update has the call, but COM's
    // activation of in-process servers there fails once the search is
    // restricted (reported by other installers for the shell's own
    // classes), and this program needs COM for the component's
    // registration and for the readme. Vista takes the preloading instead.
    if (restrictSearch && (WORD)GetVersion() != 0x0006 && restrictSearch(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    // The altered search path looks for each DLL's own dependencies in the
    // system directory first, and not in the program's folder at all. They
    // stay loaded for the life of the process.
    for (const char *name = PRELOADED_LIBRARIES; *name; name += lstrlenA(name) + 1)
        LoadFromSystemDirectory(name, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadSystemLibrary(const char *name)
{
    return LoadFromSystemDirectory(name, 0);
}
