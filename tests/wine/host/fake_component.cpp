// Stand-in components for RegisterComponent: each build returns a fixed
// HRESULT from DllRegisterServer (or has no such export) and leaves a trace
// of the call in the process environment, where the test program reads it.
#include <windows.h>

#ifndef FAKE_REGISTER_RESULT
#define FAKE_REGISTER_RESULT S_OK
#endif

// "STA" when the calling thread is already a single-threaded apartment,
// "MTA" when it is multithreaded, "none" when COM is not initialised on it.
static const char *ApartmentOfCaller()
{
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (result == RPC_E_CHANGED_MODE)
        return "MTA";
    CoUninitialize();
    return result == S_FALSE ? "STA" : "none";
}

static void RecordCall()
{
    char count[16] = "0";
    GetEnvironmentVariableA("FAKE_COMPONENT_CALLS", count, sizeof count);
    count[0] = static_cast<char>(count[0] + 1);
    count[1] = 0;
    SetEnvironmentVariableA("FAKE_COMPONENT_CALLS", count);
    SetEnvironmentVariableA("FAKE_COMPONENT_APARTMENT", ApartmentOfCaller());
}

#ifndef FAKE_NO_REGISTER_EXPORT
STDAPI DllRegisterServer()
{
    RecordCall();
    return FAKE_REGISTER_RESULT;
}
#endif

// Present in every build so that the export-less DLL is still a loadable
// component with some other entry point.
STDAPI DllUnregisterServer()
{
    return S_OK;
}
