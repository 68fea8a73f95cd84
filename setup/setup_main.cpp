// The main routine: remember the module, make the progress bar class
// available, run the setup dialog. The common controls are not a KnownDLL,
// so they are loaded from the system directory by their full path rather
// than imported, which would take them from the program's folder first.
#include "setup.h"
#include "payload.h"
#include "system_library.h"

HINSTANCE g_hInstance;

typedef void(WINAPI *InitCommonControlsCall)(void);

int SetupMain(HINSTANCE module)
{
    g_hInstance = module;
    HMODULE commonControls = LoadSystemLibrary(COMMON_CONTROLS_NAME);
    InitCommonControlsCall initCommonControls = NULL;
    if (commonControls != NULL)
        initCommonControls = (InitCommonControlsCall)(void *)GetProcAddress(
            commonControls, MAKEINTRESOURCEA(INIT_COMMON_CONTROLS_ORDINAL));
    if (initCommonControls == NULL) {
        TellUser(MSG_COMMON_CONTROLS_MISSING, MB_ICONERROR);
    } else {
        initCommonControls();
        DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_SETUP), NULL, SetupDlgProc, 0);
    }
    if (commonControls != NULL)
        FreeLibrary(commonControls);
    // The dialog's result says nothing the caller could act on.
    return 0;
}
