#include "payload_cursor.h"
#include "szdd_format.h"

int ReadPayloadEntry(const unsigned char *cursor, const unsigned char *end, PayloadEntry *entry)
{
    const unsigned char *p = cursor;
    while (p < end && *p != 0)
        ++p;
    if (p == cursor) {
        entry->fault = ENTRY_EMPTY_NAME;
        return 0;
    }
    if (p == end) {
        entry->fault = ENTRY_NAME_UNTERMINATED;
        return 0;
    }

    entry->name = (const char *)cursor;
    entry->nameLength = (unsigned long)(p - cursor);
    entry->isDirectory = p[-1] == '\\';
    entry->data = 0;
    entry->dataLength = 0;
    entry->next = p + 1;
    entry->fault = ENTRY_SOUND;
    if (entry->isDirectory)
        return 1;

    // Compare lengths, not pointers past end: the length field is untrusted.
    const unsigned char *field = p + 1;
    if ((unsigned long)(end - field) < 4) {
        entry->fault = ENTRY_LENGTH_CUT;
        return 0;
    }
    unsigned long n = (unsigned long)field[0] | ((unsigned long)field[1] << 8) |
                      ((unsigned long)field[2] << 16) | ((unsigned long)field[3] << 24);
    const unsigned char *data = field + 4;
    entry->data = data;
    entry->dataLength = n;
    if ((unsigned long)(end - data) < n) {
        entry->fault = ENTRY_DATA_CUT;
        return 0;
    }
    entry->next = data + n;
    return 1;
}

void CopyTopFolder(const unsigned char *start, const unsigned char *end, char *top, int maxChars)
{
    int i = 0;
    while (i < maxChars && start + i < end && start[i] != 0 && start[i] != '\\') {
        top[i] = (char)start[i];
        ++i;
    }
    top[i] = 0;
}

unsigned long ExpectedExpandedLength(const unsigned char *data, unsigned long n)
{
    static const unsigned char magic[SZDD_MAGIC_SIZE] = {SZDD_MAGIC_BYTES};
    if (n < SZDD_HEADER_SIZE)
        return n;
    for (unsigned i = 0; i < sizeof magic; ++i) {
        if (data[i] != magic[i])
            return n;
    }
    const unsigned char *length = data + SZDD_LENGTH_OFFSET;
    return (unsigned long)length[0] | ((unsigned long)length[1] << 8) | ((unsigned long)length[2] << 16) |
           ((unsigned long)length[3] << 24);
}
