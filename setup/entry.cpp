// The process entry point. There is no C runtime start-up: the loader calls
// SetupEntry directly, and the command line is never looked at. Before
// anything can load a DLL, the search for DLLs is kept to the system
// directory.
#include "setup.h"
#include "system_library.h"

extern "C" void SetupEntry(void)
{
    RestrictDllSearch();
    ExitProcess((UINT)SetupMain(GetModuleHandleA(NULL)));
}
