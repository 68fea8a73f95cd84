// A file entry goes through a temporary file because the LZ library expands
// only from a file: the data is written there, expanded into place, and the
// temporary file is deleted again.
#include "extract_file.h"
#include "lz_imports.h"
#include "path_text.h"
#include "payload.h"
#include "payload_messages.h"
#include "plain_item.h"
#include "setup.h"

// What became of the destination.
#define DESTINATION_WRITTEN 1
#define DESTINATION_FAILED  0
// Not plain: the user has been told, and nothing was written through it.
#define DESTINATION_REFUSED (-1)

HANDLE g_hComponentFile;

void ReleaseComponentFile(void)
{
    if (g_hComponentFile)
        CloseHandle(g_hComponentFile);
    g_hComponentFile = NULL;
}

static int ReportEntryFailure()
{
    return TellUser(MSG_ENTRY_FAILED, MB_ICONERROR);
}

static int WriteEntryData(HANDLE file, const PayloadEntry *entry)
{
    DWORD written = 0;
    if (!WriteFile(file, entry->data, entry->dataLength, &written, NULL))
        return 0;
    return written == entry->dataLength;
}

// The destination is opened by the run itself, sharing reading only, so
// that nothing can change or replace it while it is written: a file the
// run creates, or one that exists and has been found plain. A name that
// exists but cannot be opened is a link to nothing, which an ordinary
// create would have made. A file the run created and then refuses or
// cannot write whole (a full disk, damaged data) must not stay under its
// name looking like an installed file: it goes through the run's own
// handle, which can reach nothing else. One that was there before is not
// the run's to delete.
static int WriteDestination(InstallRun *run, INT source, unsigned long expected)
{
    const char *destination = run->destination;
    HANDLE target;
    DWORD disposition = CREATE_NEW;
    // Only a file the run creates is opened with the right to delete it.
    DWORD access = GENERIC_READ | GENERIC_WRITE | DELETE;
    for (;;) {
        target = CreateFileA(destination, access, FILE_SHARE_READ, NULL, disposition,
                             FILE_FLAG_OPEN_REPARSE_POINT, NULL);
        if (target != INVALID_HANDLE_VALUE)
            break;
        DWORD error = GetLastError();
        if (disposition == CREATE_NEW && error == ERROR_FILE_EXISTS) {
            disposition = OPEN_EXISTING;
            access = GENERIC_READ | GENERIC_WRITE;
            continue;
        }
        if (disposition == OPEN_EXISTING && error == ERROR_FILE_NOT_FOUND) {
            ReportNotPlain(destination, MSG_NOT_PLAIN_FILE);
            return DESTINATION_REFUSED;
        }
        return DESTINATION_FAILED;
    }
    const char *relative = destination + run->rootEnd;
    BY_HANDLE_FILE_INFORMATION info;
    int plain = IsPlainFile(target, destination, relative, &info);
    // A plain file that the system keeps as a reparse point (compressed,
    // a placeholder) is written through the system's handling of it, as
    // any program writes it: opened again without
    // FILE_FLAG_OPEN_REPARSE_POINT, and only while it is the file checked.
    // It is never one the run created.
    if (plain && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(target);
        target = OpenSameFile(destination, GENERIC_READ | GENERIC_WRITE, &info);
        plain = target != NULL && IsPlainFile(target, destination, relative, &info);
    }
    int result = DESTINATION_REFUSED;
    if (plain) {
        // Emptied only now that it is known to be the file it seems.
        SetEndOfFile(target);
        // LZCopy writes its output through the plain file handle it is
        // given. It decodes until its input ends whatever the header says,
        // so the count is checked against the length the data promises (an
        // error, a negative count, never matches a length a payload holds).
        LONG copied = LZCopy(source, (INT)(INT_PTR)target);
        result = (unsigned long)copied == expected ? DESTINATION_WRITTEN : DESTINATION_FAILED;
    }
    if (result != DESTINATION_WRITTEN && disposition == CREATE_NEW)
        DiscardCreatedFile(target);
    CloseHandle(target);
    if (result == DESTINATION_REFUSED)
        ReportNotPlain(destination, MSG_NOT_PLAIN_FILE);
    if (result != DESTINATION_WRITTEN)
        return result;
    // The component is held from here until it has been registered. The
    // write handle cannot be kept (the loader refuses a file open for
    // writing), so the file is opened again and must be the same one.
    if (lstrcmpiA(destination, run->componentPath) == 0)
        g_hComponentFile = OpenSameFile(destination, GENERIC_READ, &info);
    return DESTINATION_WRITTEN;
}

static int ExpandTempFile(InstallRun *run, unsigned long expected)
{
    OFSTRUCT sourceInfo;
    INT source = LZOpenFileA(run->tempPath, &sourceInfo, OF_READ);
    if (source < 0)
        return DESTINATION_FAILED;
    int result = WriteDestination(run, source, expected);
    LZClose(source);
    return result;
}

// Gives the run a file that it has just created itself. The temporary
// folder is shared with other programs, and whatever already has the name
// (a stale file, a folder, a link planted to something else) is left
// alone: the file is made under another name of the same length in the
// same folder instead. tempPath holds the name that was created.
static HANDLE CreateTempFile(char *tempPath)
{
    int nameStart = lstrlenA(tempPath) - (int)(sizeof TEMP_FILE_NAME - 1);
    // Not a secret, only hard to guess ahead: the clock and where the stack
    // lies in this run.
    DWORD seed = GetTickCount() ^ (DWORD)(UINT_PTR)tempPath;
    for (int attempt = 0; attempt <= TEMP_NAME_ATTEMPTS; ++attempt) {
        if (attempt > 0) {
            // "xpk" and four letters before the same extension.
            seed = seed * 69069 + 1;
            for (int i = 0; i < 4; ++i)
                tempPath[nameStart + 3 + i] = (char)('a' + ((seed >> (16 + 4 * i)) & 15));
        }
        // Shares reading only: while the handle is open nobody can change,
        // replace or delete what was written.
        HANDLE file = CreateFileA(tempPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY, NULL);
        if (file != INVALID_HANDLE_VALUE)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

int ExtractFileEntry(InstallRun *run, const PayloadEntry *entry, const unsigned char **next)
{
    *next = entry->data;
    char *destination = run->destination;
    if (run->dirEnd == NO_DIRECTORY || run->tempPath[0] == 0)
        return ReportEntryFailure();
    destination[run->dirEnd] = 0;
    if (!AppendPath(destination, entry->name))
        return ReportEntryFailure();

    HANDLE temp = CreateTempFile(run->tempPath);
    if (temp == INVALID_HANDLE_VALUE)
        return ReportEntryFailure();
    int result = WriteEntryData(temp, entry);
    *next = entry->data + entry->dataLength;
    // The written handle stays open until the expansion has read the file.
    if (result)
        result = ExpandTempFile(run, ExpectedExpandedLength(entry->data, entry->dataLength));
    CloseHandle(temp);
    DeleteFileA(run->tempPath);
    if (result == DESTINATION_FAILED)
        return ReportEntryFailure();
    return result == DESTINATION_WRITTEN;
}
