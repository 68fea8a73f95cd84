#include "process_token.h"

// What GetCurrentProcess returns, documented as a constant, so that the
// program need not import the call for it.
#define CURRENT_PROCESS ((HANDLE)(LONG_PTR)-1)

int QueryProcessToken(TOKEN_INFORMATION_CLASS what, void *buffer, DWORD size)
{
    HANDLE token;
    if (!OpenProcessToken(CURRENT_PROCESS, TOKEN_QUERY, &token))
        return 0;
    DWORD written;
    BOOL known = GetTokenInformation(token, what, buffer, size, &written);
    CloseHandle(token);
    return known != 0;
}
