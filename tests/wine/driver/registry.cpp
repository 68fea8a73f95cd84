#include "registry.h"

#include "check.h"

namespace driver {

bool KeyExists(const std::string &key, HKEY root)
{
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

std::string ReadStringValue(const std::string &key, const char *name, HKEY root)
{
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return "";
    char data[1024] = "";
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    LONG status = RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE *>(data), &size);
    RegCloseKey(opened);
    return status == ERROR_SUCCESS && type == REG_SZ ? data : "";
}

bool SetValue(const std::string &key, const char *name, DWORD type, const void *data, DWORD size, HKEY root)
{
    HKEY created;
    if (!CHECK(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                               nullptr) == ERROR_SUCCESS,
               "create the key " + key))
        return false;
    bool ok = !data || CHECK(RegSetValueExA(created, name, 0, type, static_cast<const BYTE *>(data), size) ==
                                 ERROR_SUCCESS,
                             "set a value of " + key);
    RegCloseKey(created);
    return ok;
}

bool SetText(const std::string &key, const char *name, const std::string &text, HKEY root)
{
    return SetValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1), root);
}

void DeleteTree(const std::string &key, HKEY root)
{
    RegDeleteTreeA(root, key.c_str());
}

}  // namespace driver
