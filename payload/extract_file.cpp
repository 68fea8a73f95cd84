// A file entry goes through a temporary file because the LZ library expands
// only from a file: the data is written there, expanded into place, and the
// temporary file is deleted again.
#include "extract_file.h"
#include "created_file.h"
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

// A file the run creates below the install folder is opened with the right
// to delete or rename it through its handle.
#define CREATED_FILE_ACCESS (GENERIC_READ | GENERIC_WRITE | DELETE)

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

// The file that takes the place of one that exists is written beside it,
// under a name of the run's own as long as the destination's, so that any
// path that fits fits here too: tildes, then letters. A name begun with the
// destination's own characters could end in a dot or a space, which the
// file system drops, and none of the platform's device names begins with a
// tilde.
static HANDLE CreateReplacement(const InstallRun *run, char *sibling)
{
    int length = lstrlenA(run->destination + run->dirEnd);
    lstrcpyA(sibling, run->destination);
    for (int i = 0; i < length; ++i)
        sibling[run->dirEnd + i] = '~';
    return CreateOwnFile(sibling, run->dirEnd + 1, length - 1, CREATED_FILE_ACCESS, 0);
}

// The destination is written through the run's own handle, sharing reading
// only, on a file the run has just created: a new one under the
// destination's name, or, where a plain file is there already, one beside
// it that then takes its name (a rename, which writes nothing through
// whatever the name leads to by then). A name that exists but cannot be
// opened is a link to nothing, which an ordinary create would have made. A
// file the run created and then refuses or cannot write whole (a full disk,
// damaged data) goes through its own handle, so nothing empty or partial
// stays under a name, and a file that was there before stays as it was.
static int WriteDestination(InstallRun *run, INT source, unsigned long expected)
{
    char *destination = run->destination;
    char sibling[SETUP_PATH_MAX];
    const char *written = destination;
    BY_HANDLE_FILE_INFORMATION info;
    HANDLE target = CreateFileA(destination, CREATED_FILE_ACCESS, FILE_SHARE_READ, NULL, CREATE_NEW,
                                FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (target == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_FILE_EXISTS)
            return DESTINATION_FAILED;
        HANDLE existing = CreateFileA(destination, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, NULL);
        if (existing == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND)
            return DESTINATION_FAILED;
        int plain = existing != INVALID_HANDLE_VALUE &&
                    IsPlainFile(existing, destination, destination + run->rootEnd, &info);
        if (existing != INVALID_HANDLE_VALUE)
            CloseHandle(existing);
        if (!plain) {
            ReportNotPlain(destination, MSG_NOT_PLAIN_FILE);
            return DESTINATION_REFUSED;
        }
        target = CreateReplacement(run, sibling);
        if (target == INVALID_HANDLE_VALUE)
            return DESTINATION_FAILED;
        written = sibling;
    }
    int result = DESTINATION_REFUSED;
    if (IsPlainFile(target, written, written + run->rootEnd, &info)) {
        // LZCopy writes its output through the plain file handle it is
        // given. It decodes until its input ends whatever the header says,
        // so the count is checked against the length the data promises (an
        // error, a negative count, never matches a length a payload holds).
        LONG copied = LZCopy(source, (INT)(INT_PTR)target);
        result = (unsigned long)copied == expected ? DESTINATION_WRITTEN : DESTINATION_FAILED;
        if (result == DESTINATION_WRITTEN && written == sibling) {
            // The sibling's path, cut, names the folder both names are in.
            sibling[run->dirEnd] = 0;
            if (!RenameCreatedFile(target, sibling, destination + run->dirEnd))
                result = DESTINATION_FAILED;
        }
    }
    if (result != DESTINATION_WRITTEN)
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
        g_hComponentFile = OpenSameFile(destination, &info);
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

// Gives the run a file that it has just created itself in the temporary
// folder, which other programs share: "xpk" and four letters of its own
// before the same extension where TEMP_FILE_NAME is taken. tempPath holds
// the name that was created.
static HANDLE CreateTempFile(char *tempPath)
{
    int nameStart = lstrlenA(tempPath) - (int)(sizeof TEMP_FILE_NAME - 1);
    return CreateOwnFile(tempPath, nameStart + 3, 4, GENERIC_WRITE, FILE_ATTRIBUTE_TEMPORARY);
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
