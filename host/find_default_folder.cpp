// Developer Studio discovery: is it there for this user, and which folder to
// suggest so that the payload's top folder lands in its add-ins folder.
#include "host.h"
#include "folder_text.h"

#define DEVSTUDIO_PREFIX DEVSTUDIO_KEY "\\"
// The version digit goes right after the prefix: "...\\DevStudio\\6.0\\...".
#define VERSION_SLOT (sizeof DEVSTUDIO_PREFIX - 1)
#define KEY_PATH_MAX 100

static int DevStudioPresent(void)
{
    HKEY key;
    if (RegOpenKeyA(HKEY_CURRENT_USER, DEVSTUDIO_PREFIX, &key) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(key);
    return 1;
}

// Opens the first of the 5.0 ... 9.0 "Directories" keys that exists; later
// versions are never looked at once one opens.
static int OpenDirectoriesKey(HKEY *key)
{
    char keyPath[KEY_PATH_MAX];
    lstrcpyA(keyPath, DEVSTUDIO_PREFIX);
    lstrcatA(keyPath, "x.0\\" DEVSTUDIO_DIRECTORIES_KEY);
    for (char digit = '5'; digit <= '9'; digit++) {
        keyPath[VERSION_SLOT] = digit;
        if (RegOpenKeyA(HKEY_CURRENT_USER, keyPath, key) == ERROR_SUCCESS)
            return 1;
    }
    return 0;
}

// Reads "Install Dirs" into buffer as a terminated string. The value's type
// is not checked, so the data may come without a terminator (binary data, a
// string stored without its zero): it is terminated at the returned count,
// and a value that fills the whole buffer with no terminator at its end
// counts as a failed read.
static int ReadInstallDirs(HKEY key, char *buffer, DWORD size, DWORD *count)
{
    *count = size;
    if (RegQueryValueExA(key, DEVSTUDIO_INSTALL_DIRS, NULL, NULL, (LPBYTE)buffer, count) != ERROR_SUCCESS)
        return 0;
    if (*count > size)
        return 0;
    if (*count < size) {
        buffer[*count] = 0;
        return 1;
    }
    return buffer[size - 1] == 0;
}

// Keeps everything up to and including the last backslash at index 1 or
// later; index 0 is never a cut point, so "\Bin" stays whole. The text is
// read by characters of the ANSI code page: a character's second byte may
// be 0x5C.
static void CutAfterLastBackslash(char *buffer, DWORD count)
{
    int cut = LastBackslash(buffer, (int)count, IsDBCSLeadByte);
    if (cut >= 1)
        buffer[cut + 1] = 0;
}

static void SetFallbackFolder(char *buffer, DWORD size)
{
    if (size >= sizeof FALLBACK_FOLDER)
        lstrcpyA(buffer, FALLBACK_FOLDER);
}

int FindDefaultFolder(char *buffer, DWORD size)
{
    if (!DevStudioPresent())
        return 0;
    HKEY key;
    int found = 0;
    if (OpenDirectoriesKey(&key)) {
        DWORD count;
        if (ReadInstallDirs(key, buffer, size, &count)) {
            CutAfterLastBackslash(buffer, count);
            found = 1;
        }
        RegCloseKey(key);
    }
    if (!found)
        SetFallbackFolder(buffer, size);
    return 1;
}
