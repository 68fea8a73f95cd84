// The LZ expansion functions, declared as imports. The platform's header
// declares them as plain functions, so calls to them go through thunks from
// the import library, and in the setup program's layout (setup/setup.ld)
// those thunks' jumps get no base relocation: at any base but the preferred
// one, which Windows picks at random, they would jump through the old
// address. Declared dllimport, each call reads the import slot itself, with
// a fixup like every other import.
#pragma once
// First, so that its plain declarations cannot follow these and drop the
// attribute.
#include <windows.h>

extern "C" {
__declspec(dllimport) INT WINAPI LZOpenFileA(LPSTR, LPOFSTRUCT, WORD);
__declspec(dllimport) LONG WINAPI LZCopy(INT, INT);
__declspec(dllimport) VOID WINAPI LZClose(INT);
}
