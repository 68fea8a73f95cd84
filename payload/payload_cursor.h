// Bounded walk over the payload's entries. Platform-free: the setup program,
// the packer and the native tests share it.
//
// An entry is a zero-terminated name; a name ending in a backslash is a
// directory entry and nothing follows it, any other name is a file entry
// followed by a 4-byte little-endian length N and N bytes of data. Entries
// follow each other up to the end of the payload with no header or marker.
#pragma once

// Why an entry could not be read.
enum PayloadEntryFault {
    ENTRY_SOUND,
    ENTRY_EMPTY_NAME,
    ENTRY_NAME_UNTERMINATED,  // no terminator before the end
    ENTRY_LENGTH_CUT,         // the length field runs past the end
    ENTRY_DATA_CUT            // the data runs past the end
};

struct PayloadEntry {
    const char *name;           // points into the payload, zero-terminated
    unsigned long nameLength;   // L, without the terminator
    int isDirectory;            // the name's last character is a backslash
    const unsigned char *data;  // file entries: the N data bytes
    unsigned long dataLength;   // file entries: N
    const unsigned char *next;  // where the following entry starts
    // ENTRY_SOUND, or why the entry was refused. With ENTRY_DATA_CUT, data
    // and dataLength hold where the data would start and its length field.
    PayloadEntryFault fault;
};

// Reads the entry at cursor, never looking at end or beyond. Returns 1 with
// *entry filled, or 0 with entry->fault telling why the entry is malformed:
// an empty name, a name with no terminator before end, or a length field or
// data running past end. cursor must be before end.
int ReadPayloadEntry(const unsigned char *cursor, const unsigned char *end, PayloadEntry *entry);

// Copies the top folder, the first entry's name up to its first backslash or
// terminator and at most maxChars characters, into top (maxChars + 1 bytes),
// stopping at end as well. An empty payload gives an empty top folder.
void CopyTopFolder(const unsigned char *start, const unsigned char *end, char *top, int maxChars);

// The length LZCopy must produce for a file entry's data: the expanded
// length of the SZDD header when the data starts with one, otherwise n, as
// data without the header is copied unchanged.
unsigned long ExpectedExpandedLength(const unsigned char *data, unsigned long n);
