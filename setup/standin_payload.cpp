// Temporary stand-in for the extraction engine, used only while the payload
// library is not part of the build: it swaps the folder box for a full
// progress bar and writes nothing.
#include "setup.h"
#include "payload.h"
#include <commctrl.h>

char g_szTopFolder[TOP_FOLDER_MAX + 1] = "Addins";

int ExtractPayload(HWND dialog)
{
    ShowWindow(GetDlgItem(dialog, IDC_FOLDER), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_PROGRESS), SW_SHOW);
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, 100, 0);
    return 1;
}

int ComponentFolderPath(HWND dialog, char *buffer)
{
    GetDlgItemTextA(dialog, IDC_FOLDER, buffer, 200);
    lstrcatA(buffer, "\\");
    lstrcatA(buffer, g_szTopFolder);
    return 1;
}
