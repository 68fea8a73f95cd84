// gcc emits calls to memset and memcpy for large zeroed locals and struct
// copies even in freestanding code; without a C runtime they live here.
// This file is built with -fno-tree-loop-distribute-patterns so that these
// loops are not turned back into calls to themselves.
#include <stddef.h>

extern "C" void *memset(void *target, int value, size_t count)
{
    unsigned char *p = (unsigned char *)target;
    while (count--)
        *p++ = (unsigned char)value;
    return target;
}

extern "C" void *memcpy(void *target, const void *source, size_t count)
{
    unsigned char *p = (unsigned char *)target;
    const unsigned char *q = (const unsigned char *)source;
    while (count--)
        *p++ = *q++;
    return target;
}
