// The real add-in component: registration through RegisterComponent, object
// creation from a fresh process by CLSID and by ProgID, the COM rules of its
// objects, and unregistration.
//   component_test CASE <QUENBRIK.DLL>          one case
//   component_test create|absent <installed>    the fresh process's part
#include "held_component.h"
#include "setup_run.h"
#include "payload.h"
#include <oleauto.h>
#include <cstdio>
#include <string>

using namespace driver;
using setup_run::FolderWindow;
using setup_run::kClsidKey;
using setup_run::kProgIdKey;
using setup_run::kVersionlessKey;

HINSTANCE g_hInstance;

namespace {

typedef HRESULT(STDAPICALLTYPE *GetClassObjectProc)(REFCLSID, REFIID, void **);
typedef HRESULT(STDAPICALLTYPE *PlainProc)();

// Reads a string property through IDispatch, binding by name.
std::string ReadProperty(IDispatch *object, const wchar_t *name)
{
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
        return "<no such name>";
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    HRESULT status = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result,
                                    nullptr, nullptr);
    if (FAILED(status) || result.vt != VT_BSTR)
        return "<invoke failed>";
    char text[256] = "";
    WideCharToMultiByte(CP_ACP, 0, result.bstrVal, -1, text, sizeof text, nullptr, nullptr);
    VariantClear(&result);
    return text;
}

void CreateAndAsk(REFCLSID clsid, const std::string &installed)
{
    IDispatch *object = nullptr;
    HRESULT status = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                      reinterpret_cast<void **>(&object));
    CHECK(status == S_OK);
    if (FAILED(status))
        return;
    CHECK_EQ(ReadProperty(object, L"Name"), TORVIK_DESCRIPTION);
    CHECK_EQ(ReadProperty(object, L"version"), TORVIK_VERSION_TEXT);
    CHECK(GetModuleHandleA(installed.c_str()) != nullptr);
    object->Release();
}

// The child's part: a process that has never seen the DLL finds it through
// the registry alone.
int CreateInFreshProcess(const std::string &installed)
{
    check::Case("fresh process: CoCreateInstance by CLSID and by ProgID");
    CHECK(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) == S_OK);
    CHECK(GetModuleHandleA(installed.c_str()) == nullptr);
    CreateAndAsk(CLSID_TorvikAddIn, installed);
    for (const wchar_t *progId : {L"" TORVIK_PROGID, L"" TORVIK_VERSIONLESS_PROGID}) {
        CLSID found = CLSID_NULL;
        CHECK(CLSIDFromProgID(progId, &found) == S_OK);
        CHECK(IsEqualCLSID(found, CLSID_TorvikAddIn));
        CreateAndAsk(found, installed);
    }
    CoUninitialize();
    return check::Finish();
}

int ExpectAbsentInFreshProcess()
{
    check::Case("fresh process after unregistration: nothing to create");
    CHECK(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) == S_OK);
    IUnknown *object = nullptr;
    CHECK(CoCreateInstance(CLSID_TorvikAddIn, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                           reinterpret_cast<void **>(&object)) == REGDB_E_CLASSNOTREG);
    CHECK(object == nullptr);
    CLSID found;
    CHECK(FAILED(CLSIDFromProgID(L"" TORVIK_PROGID, &found)));
    CoUninitialize();
    return check::Finish();
}

DWORD RunChild(const char *mode, const std::string &installed)
{
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    Process child;
    DWORD code = 255;
    std::string error;
    std::fflush(stdout);
    if (CHECK(child.Start(self, std::string(mode) + " \"" + installed + "\"", &error), error))
        child.Wait(60000, &code);
    return code;
}

// Windows merges HKEY_CURRENT_USER\Software\Classes into HKEY_CLASSES_ROOT,
// where COM looks; Wine 8 shows only the machine's classes there. On such a
// platform the test copies the component's own keys, as written, into the
// private prefix's machine classes so that COM can still be asked.
const std::string kOwnKeys[] = {kClsidKey, kProgIdKey, kVersionlessKey};

bool MirrorUserClasses()
{
    if (KeyExists("CLSID\\" TORVIK_CLSID_TEXT, HKEY_CLASSES_ROOT))
        return false;
    std::printf("note: HKEY_CLASSES_ROOT does not show per-user classes here; "
                "copying the component's keys to the machine's classes\n");
    for (const std::string &name : kOwnKeys) {
        HKEY from;
        HKEY to;
        CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, name.c_str(), 0, KEY_READ, &from) == ERROR_SUCCESS);
        CHECK(RegCreateKeyExA(HKEY_LOCAL_MACHINE, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &to,
                              nullptr) == ERROR_SUCCESS);
        CHECK(RegCopyTreeA(from, nullptr, to) == ERROR_SUCCESS);
        RegCloseKey(from);
        RegCloseKey(to);
    }
    return true;
}

void RemoveMirror()
{
    for (const std::string &name : kOwnKeys)
        DeleteTree(name, HKEY_LOCAL_MACHINE);
}

void ExpectRegistered(const std::string &installed)
{
    CHECK_EQ(ReadStringValue(kClsidKey, nullptr), TORVIK_DESCRIPTION);
    std::string server = ReadStringValue(kClsidKey + "\\InprocServer32", nullptr);
    CHECK(SameTextIgnoringCase(server, installed));
    CHECK_EQ(ReadStringValue(kClsidKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
    CHECK_EQ(ReadStringValue(kClsidKey + "\\ProgID", nullptr), TORVIK_PROGID);
    CHECK_EQ(ReadStringValue(kClsidKey + "\\VersionIndependentProgID", nullptr), TORVIK_VERSIONLESS_PROGID);
    CHECK_EQ(ReadStringValue(kProgIdKey + "\\CLSID", nullptr), TORVIK_CLSID_TEXT);
    CHECK_EQ(ReadStringValue(kVersionlessKey + "\\CLSID", nullptr), TORVIK_CLSID_TEXT);
    CHECK_EQ(ReadStringValue(kVersionlessKey + "\\CurVer", nullptr), TORVIK_PROGID);
}

void ExpectNothingLeft()
{
    CHECK(!KeyExists(kClsidKey));
    CHECK(!KeyExists(kProgIdKey));
    CHECK(!KeyExists(kVersionlessKey));
    CHECK(KeyExists("Software\\Classes"));
}

// The message boxes that RegisterComponent showed.
std::vector<MessageBoxInfo> Register(FolderWindow &window)
{
    BoxRecorder recorder;
    HoldComponent(window.handle());
    RegisterComponent(window.handle());
    return recorder.boxes;
}

void TestObjectRules(HMODULE module)
{
    check::Case("class factory and object follow the COM rules");
    auto getClassObject = reinterpret_cast<GetClassObjectProc>(
        reinterpret_cast<void *>(GetProcAddress(module, "DllGetClassObject")));
    auto canUnloadNow =
        reinterpret_cast<PlainProc>(reinterpret_cast<void *>(GetProcAddress(module, "DllCanUnloadNow")));
    CHECK(getClassObject && canUnloadNow);
    if (!getClassObject || !canUnloadNow)
        return;
    CHECK(canUnloadNow() == S_OK);

    void *none = reinterpret_cast<void *>(1);
    CHECK(getClassObject(IID_IDispatch, IID_IClassFactory, &none) == CLASS_E_CLASSNOTAVAILABLE);
    CHECK(none == nullptr);
    IClassFactory *factory = nullptr;
    CHECK(getClassObject(CLSID_TorvikAddIn, IID_IClassFactory, reinterpret_cast<void **>(&factory)) == S_OK);
    if (!factory)
        return;
    CHECK(canUnloadNow() == S_FALSE);

    IUnknown *outer = factory;
    none = reinterpret_cast<void *>(1);
    CHECK(factory->CreateInstance(outer, IID_IUnknown, &none) == CLASS_E_NOAGGREGATION);
    CHECK(none == nullptr);
    CHECK(factory->CreateInstance(nullptr, IID_IClassFactory, &none) == E_NOINTERFACE);
    CHECK(none == nullptr);

    IDispatch *object = nullptr;
    CHECK(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void **>(&object)) == S_OK);
    CHECK(factory->LockServer(TRUE) == S_OK);
    factory->Release();
    CHECK(canUnloadNow() == S_FALSE);  // the object and the lock hold it
    CHECK(factory->LockServer(FALSE) == S_OK);
    if (!object)
        return;

    // One identity for IUnknown, whichever interface asks.
    IUnknown *first = nullptr;
    IUnknown *second = nullptr;
    IDispatch *again = nullptr;
    CHECK(object->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&first)) == S_OK);
    CHECK(object->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&again)) == S_OK);
    if (again) {
        CHECK(again->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&second)) == S_OK);
        again->Release();
    }
    CHECK(first != nullptr && first == second);
    if (first)
        first->Release();
    if (second)
        second->Release();
    none = reinterpret_cast<void *>(1);
    CHECK(object->QueryInterface(IID_IClassFactory, &none) == E_NOINTERFACE);
    CHECK(none == nullptr);
    CHECK(object->QueryInterface(IID_IUnknown, nullptr) == E_POINTER);

    CHECK(object->AddRef() == 2);
    CHECK(object->Release() == 1);

    LPOLESTR unknownName[1] = {const_cast<LPOLESTR>(L"Nothing")};
    DISPID id = 0;
    CHECK(object->GetIDsOfNames(IID_NULL, unknownName, 1, 0, &id) == DISP_E_UNKNOWNNAME);
    CHECK(id == DISPID_UNKNOWN);
    DISPPARAMS noArguments = {nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    CHECK(object->Invoke(77, IID_NULL, 0, DISPATCH_PROPERTYGET, &noArguments, &result, nullptr, nullptr) ==
          DISP_E_MEMBERNOTFOUND);
    CHECK(object->Invoke(TORVIK_DISPID_NAME, IID_NULL, 0, DISPATCH_PROPERTYPUT, &noArguments, &result,
                         nullptr, nullptr) == DISP_E_MEMBERNOTFOUND);
    VARIANT argument;
    VariantInit(&argument);
    DISPPARAMS oneArgument = {&argument, nullptr, 1, 0};
    CHECK(object->Invoke(TORVIK_DISPID_NAME, IID_NULL, 0, DISPATCH_PROPERTYGET, &oneArgument, &result,
                         nullptr, nullptr) == DISP_E_BADPARAMCOUNT);
    CHECK(result.vt == VT_EMPTY);
    CHECK_EQ(ReadProperty(object, L"NAME"), TORVIK_DESCRIPTION);

    CHECK(object->Release() == 0);
    CHECK(canUnloadNow() == S_OK);
}

void TestUnregister(HMODULE module)
{
    check::Case("DllUnregisterServer removes every key it wrote");
    auto unregister =
        reinterpret_cast<PlainProc>(reinterpret_cast<void *>(GetProcAddress(module, "DllUnregisterServer")));
    CHECK(unregister != nullptr);
    if (!unregister)
        return;
    // What others add below the component's keys goes with them, however deep.
    CHECK(SetText(kClsidKey + "\\Implemented Categories\\{00000000-0000-0000-0000-000000000001}\\Deeper",
                  "value", "data"));
    CHECK(SetText(kProgIdKey + "\\shell\\open\\command", nullptr, "data"));
    CHECK(unregister() == S_OK);
    ExpectNothingLeft();
    CHECK(unregister() == S_OK);  // nothing to remove is not an error
}

// The add-in copied to where a run installs it, in a scratch folder that
// the folder window names.
struct Installed {
    driver::ScratchFolder root{"hostcomp"};
    std::string path = root.path() + "\\Addins" COMPONENT_TAIL;
    FolderWindow window;
};

void ExpectRegisteredAndUnloaded(Installed &component)
{
    CHECK(Register(component.window).empty());
    CHECK(GetModuleHandleA(component.path.c_str()) == nullptr);
    ExpectRegistered(component.path);
}

void TestRegistration(Installed &component)
{
    check::Case("RegisterComponent registers the add-in for the current user");
    ExpectRegisteredAndUnloaded(component);

    check::Case("fresh process creates the object");
    bool mirrored = MirrorUserClasses();
    CHECK(RunChild("create", component.path) == 0);
    if (mirrored)
        RemoveMirror();
}

void TestObjects(Installed &component)
{
    HMODULE module = LoadLibraryA(component.path.c_str());
    CHECK(module != nullptr);
    if (module) {
        TestObjectRules(module);
        FreeLibrary(module);
    }
}

void TestUnregistration(Installed &component)
{
    ExpectRegisteredAndUnloaded(component);
    HMODULE module = LoadLibraryA(component.path.c_str());
    CHECK(module != nullptr);
    if (module) {
        TestUnregister(module);
        FreeLibrary(module);
    }
    check::Case("fresh process after unregistration");
    CHECK(RunChild("absent", component.path) == 0);
}

// A volatile key in the way makes a later write fail; what was written before
// it must go again, and the setup program must say so.
void TestFailedRegistration(Installed &component)
{
    check::Case("registration that fails half way leaves nothing behind");
    HKEY blocker;
    CHECK(RegCreateKeyExA(HKEY_CURRENT_USER, kVersionlessKey.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &blocker, nullptr) == ERROR_SUCCESS);
    RegCloseKey(blocker);
    CHECK(Register(component.window).size() == 1);
    ExpectNothingLeft();
    CHECK(GetModuleHandleA(component.path.c_str()) == nullptr);
    DeleteTree(kVersionlessKey);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "create")
        return CreateInFreshProcess(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "absent")
        return ExpectAbsentInFreshProcess();
    // ctest runs each case as host.component.<name>, and again against the
    // relocated copy; CMake reads the names from this table (wine_cases),
    // one {"name", Function} a line.
    const std::map<std::string, void (*)(Installed &)> cases = {
        {"registration", TestRegistration},
        {"object_rules", TestObjects},
        {"unregistration", TestUnregistration},
        {"failed_registration", TestFailedRegistration},
    };
    auto found = check::FindCase(argc, argv, cases, "CASE QUENBRIK.DLL", 1);
    if (!found)
        return 2;
    // Each case starts with nothing registered and leaves nothing behind.
    setup_run::RemoveComponentRegistration();
    {
        Installed component;
        CHECK(MakeDirectories(component.root.path() + "\\Addins"));
        CHECK(CopyFileA(WindowsPath(argv[2]).c_str(), component.path.c_str(), FALSE) != 0);
        lstrcpyA(g_szTopFolder, "Addins");
        component.window.SetFolder(component.root.path());
        (*found)(component);
    }
    setup_run::RemoveComponentRegistration();
    return check::Finish();
}
