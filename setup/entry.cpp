// The process entry point. There is no C runtime start-up: the loader calls
// SetupEntry directly, and the command line is never looked at.
#include "setup.h"

// The linker's symbol for the image's own load address: the module handle,
// without a call to GetModuleHandleA.
extern "C" IMAGE_DOS_HEADER __ImageBase;

extern "C" void SetupEntry(void)
{
    ExitProcess((UINT)SetupMain((HINSTANCE)&__ImageBase));
}
