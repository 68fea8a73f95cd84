// The extraction run behind the Install button: make sure the install
// folder exists, then walk the payload in place, creating its directories
// and expanding its files, with the progress bar in place of the folder box.
#include "payload.h"
#include <commctrl.h>
#include "extract_file.h"
#include "install_folder_security.h"
#include "path_text.h"
#include "payload_cursor.h"
#include "payload_messages.h"
#include "plain_item.h"
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
    TellUser(text, MB_ICONINFORMATION);
    SetFocus(GetDlgItem(dialog, IDC_FOLDER));
    return 0;
}

// Refuses a folder that cannot take the install root's backslash or that
// names a file; otherwise creates one missing level, with its own security
// (install_folder_security.h). A bare drive or an empty folder is taken as
// it is. A name with wildcards cannot exist, and its creation fails.
static int PrepareInstallFolder(HWND dialog, const char *folder)
{
    int length = lstrlenA(folder);
    if (length + 1 > PATH_TEXT_MAX_CHARS)
        return RefuseFolder(dialog, MSG_FOLDER_TOO_LONG);
    if (length == 0 || folder[length - 1] == ':')
        return 1;
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        CreateInstallFolder(folder);
        return 1;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
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

// Directory names spell their whole path from the install root. A path
// that does not fit leaves no current directory, and the files that follow
// fail. A folder that already exists is used only when it is plain;
// otherwise the run stops here (0).
static int EnterDirectory(InstallRun *run, const char *name)
{
    char *destination = run->destination;
    destination[run->rootEnd] = 0;
    run->dirEnd = NO_DIRECTORY;
    if (!AppendPath(destination, name))
        return 1;
    // Looked at without its final backslash: through one, a link to a
    // folder is looked up to the folder it leads to, and shows as that.
    int end = lstrlenA(destination);
    destination[end - 1] = 0;
    CreateDirectoryA(destination, NULL);
    int plain = IsPlainFolder(destination);
    // The message names a folder with its backslash.
    destination[end - 1] = '\\';
    if (!plain)
        return ReportNotPlain(destination, MSG_NOT_PLAIN_FOLDER);
    run->dirEnd = end;
    return 1;
}

static int WalkPayload(HWND progress, const unsigned char *start, const unsigned char *end, InstallRun *run)
{
    run->rootEnd = lstrlenA(run->destination);
    run->dirEnd = run->rootEnd;
    int ok = 1;
    const unsigned char *cursor = start;
    while (ok && cursor < end) {
        PayloadEntry entry;
        if (!ReadPayloadEntry(cursor, end, &entry))
            return TellUser(MSG_PAYLOAD_DAMAGED, MB_ICONERROR);
        const unsigned char *next = entry.next;
        if (entry.isDirectory)
            ok = EnterDirectory(run, entry.name);
        else
            ok = ExtractFileEntry(run, &entry, &next);
        SendMessageA(progress, PBM_SETPOS, (WPARAM)((next - start) / PROGRESS_UNIT), 0);
        cursor = next;
    }
    return ok;
}

int ExtractPayload(HWND dialog)
{
    char tempPath[SETUP_PATH_MAX];
    char destination[SETUP_PATH_MAX];
    char componentPath[SETUP_PATH_MAX];
    // A component held by an earlier run that failed is written again.
    ReleaseComponentFile();
    BuildTempPath(tempPath);
    ReadInstallFolder(dialog, destination);
    if (!PrepareInstallFolder(dialog, destination))
        return 0;
    // PrepareInstallFolder made sure the backslash fits.
    AppendPath(destination, "\\");
    LearnInstallRoot(destination);

    DWORD size = 0;
    const unsigned char *start = LockPayload(&size);
    if (start == 0)
        return 0;
    const unsigned char *end = start + size;
    CopyTopFolder(start, end, g_szTopFolder, TOP_FOLDER_MAX);
    // When the component's path does not fit, whatever part of it does is
    // held if written, and registration, which needs the whole path, loads
    // nothing.
    ComponentPath(dialog, componentPath);
    HWND progress = ShowProgressBar(dialog, size);
    if (start >= end)
        return 1;
    InstallRun run = {destination, 0, 0, tempPath, componentPath};
    return WalkPayload(progress, start, end, &run);
}
