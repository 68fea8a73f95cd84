#include "process_token.h"

int QueryProcessToken(TOKEN_INFORMATION_CLASS what, void *buffer, DWORD size)
{
    HANDLE token;
    // The pseudo handle that GetCurrentProcess returns on every version.
    if (!OpenProcessToken((HANDLE)-1, TOKEN_QUERY, &token))
        return 0;
    DWORD written;
    BOOL known = GetTokenInformation(token, what, buffer, size, &written);
    CloseHandle(token);
    return known != 0;
}
