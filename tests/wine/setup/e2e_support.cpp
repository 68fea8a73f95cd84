#include "e2e_support.h"

#include "quenbrik.h"
#include "setup.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <vector>

namespace e2e {

namespace {
int g_failures = 0;

std::string Lower(std::string text)
{
    if (!text.empty())
        CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

const char *const kDevStudioKey = "Software\\Microsoft\\DevStudio";
const char *const kServerKey =
    "Software\\Classes\\CLSID\\" TORVIK_CLSID_TEXT "\\InprocServer32";
const char *const kHandlerProgId = "CorvaneTest.readme";
std::string g_savedHtmClass;
bool g_handlerRegistered = false;

bool SetDefaultValue(HKEY root, const std::string &key, const std::string &value)
{
    HKEY handle;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExA(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1));
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

}  // namespace

void Check(bool ok, const std::string &what)
{
    if (ok)
        return;
    g_failures++;
    std::cerr << "FAILED: " << what << std::endl;
}

void CheckEqual(const std::string &actual, const std::string &expected, const std::string &what)
{
    Check(actual == expected, what + "\n  expected: \"" + expected + "\"\n  actual:   \"" + actual + "\"");
}

int Failures() { return g_failures; }

bool SameTextIgnoringCase(const std::string &a, const std::string &b) { return Lower(a) == Lower(b); }

bool MakeDirectories(const std::string &path)
{
    for (size_t i = 3; i <= path.size(); i++)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    return IsDirectory(path);
}

bool WriteFileText(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

std::string ReadFileText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TempFilePath()
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "xpktemp.$$$";
}

void SeedDevStudio(const std::string &installDirs)
{
    RemoveDevStudio();
    HKEY key;
    std::string path = std::string(kDevStudioKey) + "\\6.0\\Directories";
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        Check(false, "seed " + path);
        return;
    }
    RegSetValueExA(key, "Install Dirs", 0, REG_SZ, reinterpret_cast<const BYTE *>(installDirs.c_str()),
                   static_cast<DWORD>(installDirs.size() + 1));
    RegCloseKey(key);
}

void RemoveDevStudio() { RegDeleteTreeA(HKEY_CURRENT_USER, kDevStudioKey); }

void RemoveComponentRegistration()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\" TORVIK_CLSID_TEXT);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Classes\\" TORVIK_PROGID);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Classes\\" TORVIK_VERSIONLESS_PROGID);
}

std::string RegisteredServerPath()
{
    char value[MAX_PATH] = {};
    LONG size = sizeof value;
    if (RegQueryValueA(HKEY_CURRENT_USER, kServerKey, value, &size) != ERROR_SUCCESS)
        return std::string();
    return value;
}

bool RegisterReadmeHandler(const std::string &recorder, const std::string &recordFile)
{
    if (!g_handlerRegistered) {
        char saved[MAX_PATH] = {};
        LONG size = sizeof saved;
        if (RegQueryValueA(HKEY_CLASSES_ROOT, ".htm", saved, &size) == ERROR_SUCCESS)
            g_savedHtmClass = saved;
        g_handlerRegistered = true;
    }
    // Wine's shell looks up associations in HKEY_CLASSES_ROOT only.
    std::string command = "\"" + recorder + "\" \"" + recordFile + "\" \"%1\"";
    return SetDefaultValue(HKEY_CLASSES_ROOT, ".htm", kHandlerProgId) &&
           SetDefaultValue(HKEY_CLASSES_ROOT, std::string(kHandlerProgId) + "\\shell\\open\\command", command);
}

void RestoreReadmeHandler()
{
    if (!g_handlerRegistered)
        return;
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kHandlerProgId);
    if (g_savedHtmClass.empty())
        RegDeleteKeyValueA(HKEY_CLASSES_ROOT, ".htm", nullptr);
    else
        SetDefaultValue(HKEY_CLASSES_ROOT, ".htm", g_savedHtmClass);
    g_handlerRegistered = false;
}

std::string WaitRecord(const std::string &recordFile, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::string text = ReadFileText(recordFile);
        if (!text.empty() && text.back() == '\n')
            return text;
        if (GetTickCount() - start >= timeoutMs)
            return text;
        Sleep(100);
    }
}

namespace {
BOOL CALLBACK FirstLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR context)
{
    *reinterpret_cast<WORD *>(context) = language;
    return FALSE;
}
}  // namespace

bool ReplaceFinishText(const std::string &exe, const std::string &text, std::string *error)
{
    const WORD block = IDS_FINISHED / 16 + 1;
    const int index = IDS_FINISHED % 16;
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        *error = "cannot load " + exe + " as data";
        return false;
    }
    WORD language = 0xFFFF;
    EnumResourceLanguagesA(module, RT_STRING, MAKEINTRESOURCEA(block), FirstLanguage,
                           reinterpret_cast<LONG_PTR>(&language));
    HRSRC found = FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(block), language);
    std::vector<std::wstring> strings(16);
    if (found) {
        auto *p = static_cast<const WCHAR *>(LockResource(LoadResource(module, found)));
        for (auto &s : strings) {
            WORD length = *p++;
            s.assign(p, p + length);
            p += length;
        }
    }
    FreeLibrary(module);
    if (!found) {
        *error = "no string block " + std::to_string(block) + " in " + exe;
        return false;
    }
    int wide = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    strings[index].assign(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &strings[index][0], wide);
    std::vector<WCHAR> data;
    for (const auto &s : strings) {
        data.push_back(static_cast<WCHAR>(s.size()));
        data.insert(data.end(), s.begin(), s.end());
    }
    HANDLE update = BeginUpdateResourceA(exe.c_str(), FALSE);
    if (!update ||
        !UpdateResourceA(update, RT_STRING, MAKEINTRESOURCEA(block), language, data.data(),
                         static_cast<DWORD>(data.size() * sizeof(WCHAR))) ||
        !EndUpdateResourceA(update, FALSE)) {
        *error = "cannot update the strings of " + exe;
        return false;
    }
    return true;
}

}  // namespace e2e
