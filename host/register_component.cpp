// Registration of the installed add-in component through its own
// DllRegisterServer, inside a single-threaded COM apartment.
#include "host.h"
#include "payload.h"
#include "plain_item.h"
#include "setup.h"

typedef HRESULT(STDAPICALLTYPE *RegisterServerProc)(void);

// Loads the component, calls its DllRegisterServer and unloads it again.
// Only the file this run wrote is loaded: the run has held it since, and
// the file now at the path must be that one. A missing file or a missing
// export counts as not registered.
static int CallRegisterServer(const char *path)
{
    BY_HANDLE_FILE_INFORMATION written;
    if (!GetFileInformationByHandle(g_hComponentFile, &written))
        return 0;
    HANDLE check = OpenSameFile(path, &written);
    if (!check)
        return 0;
    // LoadLibraryExA with no flags is LoadLibraryA, which the program then
    // need not import as well.
    HMODULE module = LoadLibraryExA(path, NULL, 0);
    CloseHandle(check);
    if (!module)
        return 0;
    int registered = 0;
    RegisterServerProc registerServer =
        (RegisterServerProc)(void *)GetProcAddress(module, COMPONENT_REGISTER_EXPORT);
    if (registerServer)
        registered = registerServer() >= 0;
    FreeLibrary(module);
    return registered;
}

void RegisterComponent(HWND dialog)
{
    int registered = 0;
    if (CoInitializeEx(NULL, COINIT_APARTMENTTHREADED) >= 0) {
        char path[SETUP_PATH_MAX];
        if (ComponentPath(dialog, path))
            registered = CallRegisterServer(path);
        CoUninitialize();
    }
    ReleaseComponentFile();
    if (!registered)
        TellUser(REGISTER_FAILED_TEXT, MB_ICONERROR);
}
