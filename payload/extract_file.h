// One file entry of the extraction run.
#pragma once
#include "payload_cursor.h"

// dirEnd value for a current directory whose path did not fit the buffer:
// the files that follow it cannot be placed and fail.
#define NO_DIRECTORY (-1)

// Writes the entry's data to the temporary file at tempPath (empty when the
// platform gave no usable temporary directory) and expands it to the entry's
// name appended to destination at dirEnd. Sets *next to the end of what the
// entry consumed. Returns 1, or 0 after the entry-failure message.
int ExtractFileEntry(char *destination, int dirEnd, char *tempPath, const PayloadEntry *entry,
                     const unsigned char **next);
