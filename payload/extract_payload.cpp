// The extraction run behind the Install button: make sure the install
// folder exists, then walk the payload in place, creating its directories
// and expanding its files, with the progress bar in place of the folder box.
#include "payload.h"
#include <commctrl.h>
#include "extract_file.h"
#include "path_text.h"
#include "payload_cursor.h"
#include "payload_messages.h"
#include "setup.h"

// One name serves every file entry; an empty path means the platform gave
// no temporary directory that can take the name, and file entries fail.
static void BuildTempPath(char *tempPath)
{
    DWORD length = GetTempPathA(SETUP_PATH_MAX, tempPath);
    if (length == 0 || length >= SETUP_PATH_MAX) {
        tempPath[0] = 0;
        return;
    }
    if (!AppendPath(tempPath, TEMP_FILE_NAME))
        tempPath[0] = 0;
}

static int RefuseFolder(HWND dialog, const char *text)
{
    MessageBoxA(NULL, text, SETUP_TITLE, MB_ICONINFORMATION);
    SetFocus(GetDlgItem(dialog, IDC_FOLDER));
    return 0;
}

// A search for a name with '*' or '?' finds other items ("X:\Setup?" finds
// a file X:\Setup1), so such a name is never probed: no item can have it.
static int HasWildcard(const char *folder)
{
    for (int i = 0; folder[i] != 0; ++i) {
        if (folder[i] == '*' || folder[i] == '?')
            return 1;
    }
    return 0;
}

// Refuses a folder that cannot take the install root's backslash or that
// names a file; otherwise creates one missing level. A bare drive or an
// empty folder is taken as it is.
static int PrepareInstallFolder(HWND dialog, const char *folder)
{
    int length = lstrlenA(folder);
    if (length + 1 > PATH_TEXT_MAX_CHARS)
        return RefuseFolder(dialog, MSG_FOLDER_TOO_LONG);
    if (length == 0 || folder[length - 1] == ':')
        return 1;
    if (HasWildcard(folder)) {
        CreateDirectoryA(folder, NULL);
        return 1;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(folder, &found);
    if (search == INVALID_HANDLE_VALUE) {
        CreateDirectoryA(folder, NULL);
        return 1;
    }
    FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return 1;
    return RefuseFolder(dialog, MSG_EXISTS_AS_FILE);
}

static const unsigned char *LockPayload(DWORD *size)
{
    HRSRC info = FindResourceA(g_hInstance, PAYLOAD_RESOURCE_NAME, PAYLOAD_RESOURCE_TYPE);
    if (info == NULL)
        return 0;
    HGLOBAL loaded = LoadResource(g_hInstance, info);
    if (loaded == NULL)
        return 0;
    const unsigned char *start = (const unsigned char *)LockResource(loaded);
    if (start != 0)
        *size = SizeofResource(g_hInstance, info);
    return start;
}

// The range is counted in PROGRESS_UNIT bytes to fit the bar's 16 bits.
static HWND ShowProgressBar(HWND dialog, DWORD size)
{
    ShowWindow(GetDlgItem(dialog, IDC_FOLDER), SW_HIDE);
    HWND progress = GetDlgItem(dialog, IDC_PROGRESS);
    ShowWindow(progress, SW_SHOW);
    SendMessageA(progress, PBM_SETRANGE, 0, MAKELPARAM(0, (WORD)(size / PROGRESS_UNIT)));
    return progress;
}

// Directory names spell their whole path from the install root. Returns the
// new dirEnd, or NO_DIRECTORY when the path does not fit.
static int EnterDirectory(char *destination, int rootEnd, const char *name)
{
    destination[rootEnd] = 0;
    if (!AppendPath(destination, name))
        return NO_DIRECTORY;
    CreateDirectoryA(destination, NULL);
    return lstrlenA(destination);
}

static int WalkPayload(HWND progress, const unsigned char *start, const unsigned char *end, char *destination,
                       char *tempPath)
{
    int rootEnd = lstrlenA(destination);
    int dirEnd = rootEnd;
    int entriesWritten = 1;
    const unsigned char *cursor = start;
    while (entriesWritten && cursor < end) {
        PayloadEntry entry;
        if (!ReadPayloadEntry(cursor, end, &entry)) {
            MessageBoxA(NULL, MSG_PAYLOAD_DAMAGED, SETUP_TITLE, MB_ICONERROR);
            return 0;
        }
        const unsigned char *next = entry.next;
        if (entry.isDirectory)
            dirEnd = EnterDirectory(destination, rootEnd, entry.name);
        else
            entriesWritten = ExtractFileEntry(destination, dirEnd, tempPath, &entry, &next);
        SendMessageA(progress, PBM_SETPOS, (WPARAM)((next - start) / PROGRESS_UNIT), 0);
        cursor = next;
    }
    return entriesWritten;
}

int ExtractPayload(HWND dialog)
{
    char tempPath[SETUP_PATH_MAX];
    char destination[SETUP_PATH_MAX];
    BuildTempPath(tempPath);
    ReadInstallFolder(dialog, destination);
    if (!PrepareInstallFolder(dialog, destination))
        return 0;
    // PrepareInstallFolder made sure the backslash fits.
    AppendPath(destination, "\\");

    DWORD size = 0;
    const unsigned char *start = LockPayload(&size);
    if (start == 0)
        return 0;
    const unsigned char *end = start + size;
    CopyTopFolder(start, end, g_szTopFolder, TOP_FOLDER_MAX);
    HWND progress = ShowProgressBar(dialog, size);
    if (start >= end)
        return 1;
    return WalkPayload(progress, start, end, destination, tempPath);
}
