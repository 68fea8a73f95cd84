// The process entry point. There is no C runtime start-up: the loader calls
// SetupEntry directly, and the command line is never looked at.
#include "setup.h"

extern "C" void SetupEntry(void)
{
    ExitProcess((UINT)SetupMain(GetModuleHandleA(NULL)));
}
