// One file entry of the extraction run.
#pragma once
#include "payload_cursor.h"

// dirEnd value for a current directory whose path did not fit the buffer:
// the files that follow it cannot be placed and fail.
#define NO_DIRECTORY (-1)

// Where one extraction run writes.
struct InstallRun {
    // The path being composed: the install root, then a directory and a
    // file name; rootEnd is where the root ends in it, dirEnd where the
    // current directory does.
    char *destination;
    int rootEnd;
    int dirEnd;
    // The temporary file; empty when the platform gave no usable
    // temporary directory.
    char *tempPath;
    // The add-in component's path, which the run holds once written.
    const char *componentPath;
};

// Writes the entry's data to the temporary file and expands it to the
// entry's name in the current directory. Sets *next to the end of what the
// entry consumed, where the progress bar goes: entry->next once the data
// has been written out, but the data's start when the entry failed before
// that (no current directory, a name that does not fit, no temporary file).
// Returns 1, or 0 after telling the user why.
int ExtractFileEntry(InstallRun *run, const PayloadEntry *entry, const unsigned char **next);
