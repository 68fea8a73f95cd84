// Temporary stand-in for the host integration, used only while the host
// library is not part of the build.
#include "host.h"

int FindDefaultFolder(char *buffer, DWORD size)
{
    (void)size;
    lstrcpyA(buffer, "c:\\Corvane");
    return 1;
}

void RegisterComponent(HWND dialog)
{
    (void)dialog;
}
