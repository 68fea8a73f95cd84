#include "plain_item.h"
#include "path_text.h"
#include "payload.h"
#include "payload_messages.h"
#include "setup.h"

typedef DWORD(WINAPI *FinalPathCall)(HANDLE, LPSTR, DWORD, DWORD);

// Both stay empty where the platform has no final paths.
static FinalPathCall s_finalPath;
// The install root's final path, ending in a backslash.
static char s_rootFinal[SETUP_PATH_MAX];

// Fills buffer with the path the file system itself gives the open item,
// every link resolved; 0 when it has none that fits.
static int ReadFinalPath(HANDLE item, char *buffer)
{
    DWORD length = s_finalPath(item, buffer, SETUP_PATH_MAX, 0);
    return length != 0 && length < SETUP_PATH_MAX;
}

void LearnInstallRoot(const char *installRoot)
{
    s_rootFinal[0] = 0;
    s_finalPath =
        (FinalPathCall)(void *)GetProcAddress(GetModuleHandleA("kernel32"), "GetFinalPathNameByHandleA");
    if (!s_finalPath)
        return;
    HANDLE root = CreateFileA(installRoot, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (root == INVALID_HANDLE_VALUE)
        return;
    // A drive's root already ends in a backslash. A root whose final path
    // leaves no room for one has no room for the files either: the
    // composed paths then match nothing and every file is refused.
    if (!ReadFinalPath(root, s_rootFinal))
        s_rootFinal[0] = 0;
    else if (s_rootFinal[lstrlenA(s_rootFinal) - 1] != '\\')
        AppendPath(s_rootFinal, "\\");
    CloseHandle(root);
}

int IsPlainFolder(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

int IsPlainFile(HANDLE file, const char *relative, BY_HANDLE_FILE_INFORMATION *info)
{
    if (!GetFileInformationByHandle(file, info))
        return 0;
    // A hard link shares the file with another name, which writing the
    // file would change as well; a link to a file shows only in its
    // final path.
    if ((info->dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        info->nNumberOfLinks != 1)
        return 0;
    if (s_rootFinal[0] == 0)
        return 1;
    char actual[SETUP_PATH_MAX];
    char expected[SETUP_PATH_MAX];
    lstrcpyA(expected, s_rootFinal);
    // The file system keeps the case it was given when the file was made.
    return ReadFinalPath(file, actual) && AppendPath(expected, relative) && lstrcmpiA(actual, expected) == 0;
}

HANDLE OpenSameFile(const char *path, const BY_HANDLE_FILE_INFORMATION *was)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    BY_HANDLE_FILE_INFORMATION now;
    if (file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &now) &&
        now.dwVolumeSerialNumber == was->dwVolumeSerialNumber && now.nFileIndexHigh == was->nFileIndexHigh &&
        now.nFileIndexLow == was->nFileIndexLow)
        return file;
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return NULL;
}

int ReportNotPlain(const char *path, const char *reason)
{
    char text[MESSAGE_MAX];
    lstrcpyA(text, path);
    lstrcatA(text, reason);
    lstrcatA(text, MSG_NOTHING_WRITTEN);
    return TellUser(text, MB_ICONERROR);
}
