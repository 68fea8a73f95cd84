// Help and About. Neither box has an owner, so the setup dialog keeps taking
// input while they are open.
#include "setup.h"
#include "payload.h"

void ShowHelp(void)
{
    char text[MESSAGE_MAX];
    text[0] = 0;
    LoadStringA(g_hInstance, IDS_HELP, text, MESSAGE_MAX);
    TellUser(text, MB_ICONINFORMATION);
}

void ShowAbout(void)
{
    DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_ABOUT), NULL, AboutDlgProc, 0);
}

// Only OK (its click, or Enter) closes the box; Esc and the close box
// deliberately do nothing.
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    if (message == WM_COMMAND && wParam == MAKEWPARAM(IDOK, BN_CLICKED)) {
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}
