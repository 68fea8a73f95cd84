// State shared by the parts of the component.
#pragma once
#include <windows.h>

// This DLL's module handle, from DllMain.
extern HINSTANCE g_componentModule;

// Live add-in objects plus outstanding class factory references, and
// IClassFactory::LockServer locks; the DLL may unload only when both are 0.
extern LONG g_liveObjects;
extern LONG g_serverLocks;

// The class factory for the add-in object; static, counted in g_liveObjects.
IClassFactory *TorvikClassFactory();

HRESULT RegisterTorvikClass();
HRESULT UnregisterTorvikClass();
