// Registration of the installed add-in component through its own
// DllRegisterServer, inside a single-threaded COM apartment.
#include "host.h"
#include "path_text.h"
#include "payload.h"
#include "setup.h"

#define COMPONENT_TAIL "\\Quenbrik.dll"

typedef HRESULT(STDAPICALLTYPE *RegisterServerProc)(void);

// The component folder and the DLL's name; 0 when the path would not fit
// in the buffer, which leaves nothing to load.
static int BuildComponentPath(HWND dialog, char *path)
{
    return ComponentFolderPath(dialog, path) && AppendPath(path, COMPONENT_TAIL);
}

// Loads the component, calls its DllRegisterServer and unloads it again.
// A missing file or a missing export counts as not registered.
static int CallRegisterServer(const char *path)
{
    HMODULE module = LoadLibraryA(path);
    if (!module)
        return 0;
    int registered = 0;
    RegisterServerProc registerServer =
        (RegisterServerProc)(void *)GetProcAddress(module, "DllRegisterServer");
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
        if (BuildComponentPath(dialog, path))
            registered = CallRegisterServer(path);
        CoUninitialize();
    }
    if (!registered)
        MessageBoxA(NULL, REGISTER_FAILED_TEXT, SETUP_TITLE, MB_ICONERROR);
}
