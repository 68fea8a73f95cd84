// The main routine: remember the module, make the progress bar class
// available, run the setup dialog.
#include "setup.h"
#include <commctrl.h>

HINSTANCE g_hInstance;

int SetupMain(HINSTANCE module)
{
    g_hInstance = module;
    InitCommonControls();
    DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_SETUP), NULL, SetupDlgProc, 0);
    // The dialog's result says nothing the caller could act on.
    return 0;
}
