// The DLL's entry points.
#include <windows.h>
#include "component.h"
#include "quenbrik.h"

HINSTANCE g_componentModule;
LONG g_liveObjects;
LONG g_serverLocks;

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_componentModule = module;
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID *object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_TorvikAddIn))
        return CLASS_E_CLASSNOTAVAILABLE;
    return TorvikClassFactory()->QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow()
{
    return (g_liveObjects == 0 && g_serverLocks == 0) ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer()
{
    return RegisterTorvikClass();
}

STDAPI DllUnregisterServer()
{
    return UnregisterTorvikClass();
}
