// Self-registration under HKEY_CURRENT_USER\Software\Classes.
#include <windows.h>
#include <olectl.h>
#include "component.h"
#include "quenbrik.h"

namespace {

#define CLSID_KEY "CLSID\\" TORVIK_CLSID_TEXT

// Key trees that belong to this component alone; unregistering removes
// exactly these.
const char *const kOwnKeys[] = {
    CLSID_KEY,
    TORVIK_PROGID,
    TORVIK_VERSIONLESS_PROGID,
};

struct RegistryValue {
    const char *key;   // below the classes root
    const char *name;  // nullptr: the key's default value
    const char *data;  // nullptr: the module's own path
};

const RegistryValue kValues[] = {
    {CLSID_KEY, nullptr, TORVIK_DESCRIPTION},
    {CLSID_KEY "\\InprocServer32", nullptr, nullptr},
    {CLSID_KEY "\\InprocServer32", "ThreadingModel", "Apartment"},
    {CLSID_KEY "\\ProgID", nullptr, TORVIK_PROGID},
    {CLSID_KEY "\\VersionIndependentProgID", nullptr, TORVIK_VERSIONLESS_PROGID},
    {TORVIK_PROGID, nullptr, TORVIK_DESCRIPTION},
    {TORVIK_PROGID "\\CLSID", nullptr, TORVIK_CLSID_TEXT},
    {TORVIK_VERSIONLESS_PROGID, nullptr, TORVIK_DESCRIPTION},
    {TORVIK_VERSIONLESS_PROGID "\\CLSID", nullptr, TORVIK_CLSID_TEXT},
    {TORVIK_VERSIONLESS_PROGID "\\CurVer", nullptr, TORVIK_PROGID},
};

LONG WriteValue(HKEY classes, const RegistryValue &value, const char *modulePath)
{
    HKEY key;
    LONG status = RegCreateKeyExA(classes, value.key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                  nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    const char *data = value.data ? value.data : modulePath;
    status = RegSetValueExA(key, value.name, 0, REG_SZ, reinterpret_cast<const BYTE *>(data),
                            static_cast<DWORD>(lstrlenA(data) + 1));
    RegCloseKey(key);
    return status;
}

// A path cut short by the buffer would register a server that cannot load.
bool GetModulePath(char *path, DWORD size)
{
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetModuleFileNameA(g_componentModule, path, size);
    return length != 0 && length < size && GetLastError() != ERROR_INSUFFICIENT_BUFFER;
}

HRESULT OpenClassesRoot(HKEY *classes)
{
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, TORVIK_CLASSES_ROOT, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, classes, nullptr);
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

// Deletes the key name below parent with everything under it, as
// RegDeleteTreeA does from Windows Vista on; Windows XP has no such call. A
// key's values go with it; its subkeys must go first.
LONG DeleteKeyTree(HKEY parent, const char *name)
{
    HKEY key;
    LONG status = RegOpenKeyExA(parent, name, 0, KEY_ENUMERATE_SUB_KEYS, &key);
    if (status != ERROR_SUCCESS)
        return status;
    char child[256];  // the longest key name and its terminator
    do {
        DWORD length = sizeof child;
        // Always the first: each one deleted moves the rest up.
        status = RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS)
            status = DeleteKeyTree(key, child);
    } while (status == ERROR_SUCCESS);
    RegCloseKey(key);
    if (status != ERROR_NO_MORE_ITEMS)
        return status;
    return RegDeleteKeyA(parent, name);
}

}  // namespace

HRESULT RegisterTorvikClass()
{
    char modulePath[MAX_PATH];
    if (!GetModulePath(modulePath, sizeof modulePath))
        return SELFREG_E_CLASS;
    HKEY classes;
    HRESULT result = OpenClassesRoot(&classes);
    if (FAILED(result))
        return result;
    for (const RegistryValue &value : kValues) {
        LONG status = WriteValue(classes, value, modulePath);
        if (status != ERROR_SUCCESS) {
            result = HRESULT_FROM_WIN32(status);
            break;
        }
    }
    RegCloseKey(classes);
    if (FAILED(result))
        UnregisterTorvikClass();
    return result;
}

HRESULT UnregisterTorvikClass()
{
    HKEY classes;
    LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, TORVIK_CLASSES_ROOT, 0, KEY_ALL_ACCESS, &classes);
    if (status == ERROR_FILE_NOT_FOUND)
        return S_OK;
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    HRESULT result = S_OK;
    for (const char *key : kOwnKeys) {
        status = DeleteKeyTree(classes, key);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            result = HRESULT_FROM_WIN32(status);
    }
    RegCloseKey(classes);
    return result;
}
