#include "process_token.h"

int QueryProcessToken(TOKEN_INFORMATION_CLASS what, void *buffer, DWORD size)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    DWORD written;
    BOOL known = GetTokenInformation(token, what, buffer, size, &written);
    CloseHandle(token);
    return known != 0;
}
