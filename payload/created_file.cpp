#include "created_file.h"
#include "payload.h"
#include "setup.h"

// NtSetInformationFile's class for FILE_DISPOSITION_INFORMATION.
#define FILE_DISPOSITION_CLASS 13
// ... and for FILE_RENAME_INFORMATION.
#define FILE_RENAME_CLASS 10

typedef LONG(WINAPI *SetInformationCall)(HANDLE, ULONG_PTR *, void *, ULONG, int);

HANDLE CreateOwnFile(char *path, int first, int count, DWORD access, DWORD attributes)
{
    // Not a secret, only hard to guess ahead: the clock and where the stack
    // lies in this run.
    DWORD seed = GetTickCount() ^ (DWORD)(UINT_PTR)path;
    for (int attempt = 0; attempt <= TEMP_NAME_ATTEMPTS; ++attempt) {
        HANDLE file = CreateFileA(path, access, FILE_SHARE_READ, NULL, CREATE_NEW, attributes, NULL);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        for (int i = 0; i < count; ++i) {
            seed = seed * 69069 + 1;
            path[first + i] = (char)('a' + (seed >> 28));
        }
    }
    return INVALID_HANDLE_VALUE;
}

// Every Windows has the native call; looked up rather than imported, to
// keep NTDLL off the import list.
static LONG SetFileInformation(HANDLE file, void *information, ULONG size, int kind)
{
    SetInformationCall set =
        (SetInformationCall)(void *)GetProcAddress(GetModuleHandleA("ntdll"), "NtSetInformationFile");
    ULONG_PTR status[2];
    return set ? set(file, status, information, size, kind) : -1;
}

void DiscardCreatedFile(HANDLE file)
{
    // FILE_DISPOSITION_INFORMATION: one BOOLEAN, DeleteFile.
    BOOLEAN remove = TRUE;
    SetFileInformation(file, &remove, sizeof remove, FILE_DISPOSITION_CLASS);
}

int RenameCreatedFile(HANDLE file, const char *folder, const char *name)
{
    // FILE_RENAME_INFORMATION, its name relative to the folder's handle
    // (Windows also takes a bare name with no folder; Wine does not). The
    // folder is opened by the path the file was created by, and is still
    // the file's own: while a file below it is open, Windows refuses to
    // rename or remove any folder on that path.
    struct {
        BOOLEAN replace;
        HANDLE folder;
        ULONG bytes;
        WCHAR name[SETUP_PATH_MAX];
    } renaming;
    int characters = MultiByteToWideChar(CP_ACP, 0, name, -1, renaming.name, SETUP_PATH_MAX);
    renaming.folder = CreateFileA(folder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (renaming.folder == INVALID_HANDLE_VALUE)
        return 0;
    renaming.replace = TRUE;
    // A name that could not be converted (0 characters) gives a length
    // past the structure, which the call refuses.
    renaming.bytes = (ULONG)(characters - 1) * sizeof(WCHAR);
    int renamed = SetFileInformation(file, &renaming, sizeof renaming, FILE_RENAME_CLASS) >= 0;
    CloseHandle(renaming.folder);
    return renamed;
}
