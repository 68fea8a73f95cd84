#include "plain_item.h"
#include "folder_text.h"
#include "path_text.h"
#include "payload.h"
#include "payload_messages.h"
#include "reparse_tag.h"
#include "setup.h"

// Final paths are longer than the paths they were opened by ("\\?\" or
// "\\?\UNC\" before them, and the install folder may be a link to a longer
// path), so they get buffers of their own size. The root's leaves room for
// any relative path behind it.
#define FINAL_PATH_MAX 1024
#define ROOT_FINAL_MAX (FINAL_PATH_MAX - SETUP_PATH_MAX)

typedef DWORD(WINAPI *FinalPathCall)(HANDLE, LPSTR, DWORD, DWORD);

// Stays empty where the platform has no final paths.
static FinalPathCall s_finalPath;
// The install root's final path, ending in a backslash; empty when it
// cannot be told, and then no file's final path matches.
static char s_rootFinal[FINAL_PATH_MAX];

// Fills buffer (FINAL_PATH_MAX bytes) with the path the file system itself
// gives the open item, every link resolved, and returns its length; 0 when
// it has none that fits.
static DWORD ReadFinalPath(HANDLE item, char *buffer)
{
    DWORD length = s_finalPath(item, buffer, FINAL_PATH_MAX, 0);
    return length < FINAL_PATH_MAX ? length : 0;
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
    // cannot be read, or leaves no room for one, has no room for the files
    // either: the composed paths then match nothing and every file is
    // refused. (A length of 0 wraps around to the largest.)
    DWORD length = ReadFinalPath(root, s_rootFinal);
    if (length - 1 >= ROOT_FINAL_MAX - 2)
        s_rootFinal[0] = 0;
    else if (LastBackslash(s_rootFinal, (int)length, IsDBCSLeadByte) != (int)length - 1) {
        s_rootFinal[length] = '\\';
        s_rootFinal[length + 1] = 0;
    }
    CloseHandle(root);
}

// 1 when the item at path is a link: a reparse point whose tag is a link's
// (reparse_tag.h). Others are plain items that the system keeps as reparse
// points (compressed, deduplicated, placeholders). The tag is the
// directory entry's: a file that is open and passes (found or not) is
// opened again through the system's handling of it and must still be the
// same file, so a name that another program points elsewhere for a moment
// gains nothing.
static int IsLink(const char *path)
{
    WIN32_FIND_DATAA found;
    // Where the platform leaves the tag unset (Wine does), it reads as no
    // tag, a link's.
    found.dwReserved0 = 0;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkReparseTag(found.dwReserved0, 1);
}

int IsPlainFolder(const char *path)
{
    return !IsLink(path);
}

int IsPlainFile(HANDLE file, const char *path, const char *relative, BY_HANDLE_FILE_INFORMATION *info)
{
    if (!GetFileInformationByHandle(file, info))
        return 0;
    // A hard link shares the file with another name, which writing the
    // file would change as well; a link to a file shows only in its
    // final path.
    if ((info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || info->nNumberOfLinks != 1 ||
        ((info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLink(path)))
        return 0;
    if (!s_finalPath)
        return 1;
    char actual[FINAL_PATH_MAX];
    char expected[FINAL_PATH_MAX];
    // With the root's final path unknown, expected is relative alone,
    // which no final path matches.
    if (!ReadFinalPath(file, actual))
        return 0;
    lstrcpyA(expected, s_rootFinal);
    lstrcatA(expected, relative);
    // The file system keeps the case it was given when the file was made.
    return SameFinalPath(actual, expected, lstrcmpiA);
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
