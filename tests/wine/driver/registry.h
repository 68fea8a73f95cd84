// Registry access for the Win32 test programs. Keys are below
// HKEY_CURRENT_USER unless another root is given.
#pragma once
#include <windows.h>

#include <string>

namespace driver {

bool KeyExists(const std::string &key, HKEY root = HKEY_CURRENT_USER);
// A REG_SZ value (name null: the key's default value); empty when there is none.
std::string ReadStringValue(const std::string &key, const char *name, HKEY root = HKEY_CURRENT_USER);
// Creates the key and, unless data is null, sets the value; a failure is a
// failed check.
bool SetValue(const std::string &key, const char *name, DWORD type, const void *data, DWORD size,
              HKEY root = HKEY_CURRENT_USER);
bool SetText(const std::string &key, const char *name, const std::string &text,
             HKEY root = HKEY_CURRENT_USER);
void DeleteTree(const std::string &key, HKEY root = HKEY_CURRENT_USER);

}  // namespace driver
