#include "payload_cursor.h"

int ReadPayloadEntry(const unsigned char *cursor, const unsigned char *end,
                     PayloadEntry *entry)
{
    const unsigned char *p = cursor;
    while (p < end && *p != 0)
        ++p;
    if (p == end || p == cursor)
        return 0;

    entry->name = (const char *)cursor;
    entry->nameLength = (unsigned long)(p - cursor);
    entry->isDirectory = p[-1] == '\\';
    entry->data = 0;
    entry->dataLength = 0;
    entry->next = p + 1;
    if (entry->isDirectory)
        return 1;

    // Compare lengths, not pointers past end: the length field is untrusted.
    const unsigned char *field = p + 1;
    if ((unsigned long)(end - field) < 4)
        return 0;
    unsigned long n = (unsigned long)field[0] | ((unsigned long)field[1] << 8) |
                      ((unsigned long)field[2] << 16) | ((unsigned long)field[3] << 24);
    const unsigned char *data = field + 4;
    if ((unsigned long)(end - data) < n)
        return 0;
    entry->data = data;
    entry->dataLength = n;
    entry->next = data + n;
    return 1;
}

void CopyTopFolder(const unsigned char *start, const unsigned char *end,
                   char *top, int maxChars)
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
    static const unsigned char magic[8] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};
    if (n < 14)
        return n;
    for (int i = 0; i < 8; ++i) {
        if (data[i] != magic[i])
            return n;
    }
    return (unsigned long)data[10] | ((unsigned long)data[11] << 8) |
           ((unsigned long)data[12] << 16) | ((unsigned long)data[13] << 24);
}
