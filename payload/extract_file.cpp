// A file entry goes through a temporary file because the LZ library expands
// only from a file: the data is written there, expanded into place, and the
// temporary file is deleted again.
#include "extract_file.h"
#include "lz_imports.h"
#include "path_text.h"
#include "payload.h"
#include "payload_messages.h"
#include "setup.h"

static int ReportEntryFailure()
{
    MessageBoxA(NULL, MSG_ENTRY_FAILED, SETUP_TITLE, MB_ICONERROR);
    return 0;
}

static int WriteEntryData(HANDLE file, const PayloadEntry *entry)
{
    DWORD written = 0;
    if (!WriteFile(file, entry->data, entry->dataLength, &written, NULL))
        return 0;
    return written == entry->dataLength;
}

// When the destination cannot be created (held open without sharing, for
// one), the LZ library may retry under the name's compressed form, the last
// character replaced by '_', and succeed there: the real destination keeps
// its old content. The record names the file that was opened.
static int OpenedUnderOtherName(const OFSTRUCT *info, const char *destination)
{
    int openedLength = lstrlenA(info->szPathName);
    int length = lstrlenA(destination);
    return openedLength > 0 && length > 0 && info->szPathName[openedLength - 1] == '_' &&
           destination[length - 1] != '_';
}

// LZCopy decodes until its input ends whatever the header says, so the
// count it reports is checked against the length the data promises.
static int ExpandTempFile(char *tempPath, char *destination, unsigned long expected)
{
    OFSTRUCT sourceInfo;
    OFSTRUCT destinationInfo;
    INT source = LZOpenFileA(tempPath, &sourceInfo, OF_READ);
    if (source < 0)
        return 0;
    int ok = 0;
    INT target = LZOpenFileA(destination, &destinationInfo, OF_CREATE);
    if (target >= 0 && OpenedUnderOtherName(&destinationInfo, destination)) {
        // The stray file was made (or emptied) by this open and holds
        // nothing. The record's text is in the OEM code page, which for
        // the payload's ASCII names is the same as the ANSI path.
        LZClose(target);
        DeleteFileA(destinationInfo.szPathName);
        target = -1;
    }
    if (target >= 0) {
        LONG copied = LZCopy(source, target);
        ok = copied >= 0 && (unsigned long)copied == expected;
        LZClose(target);
        // A copy cut short (a full disk, damaged data) must not stay under
        // the file's real name looking like an installed file.
        if (!ok)
            DeleteFileA(destination);
    }
    LZClose(source);
    return ok;
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

int ExtractFileEntry(char *destination, int dirEnd, char *tempPath, const PayloadEntry *entry,
                     const unsigned char **next)
{
    *next = entry->data;
    if (dirEnd == NO_DIRECTORY || tempPath[0] == 0)
        return ReportEntryFailure();
    destination[dirEnd] = 0;
    if (!AppendPath(destination, entry->name))
        return ReportEntryFailure();

    HANDLE temp = CreateTempFile(tempPath);
    if (temp == INVALID_HANDLE_VALUE)
        return ReportEntryFailure();
    int ok = WriteEntryData(temp, entry);
    *next = entry->data + entry->dataLength;
    // The written handle stays open until the expansion has read the file.
    if (ok)
        ok = ExpandTempFile(tempPath, destination, ExpectedExpandedLength(entry->data, entry->dataLength));
    CloseHandle(temp);
    DeleteFileA(tempPath);
    if (!ok)
        return ReportEntryFailure();
    return 1;
}
