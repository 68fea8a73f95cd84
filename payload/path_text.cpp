#include "path_text.h"

int PathTextLength(const char *text)
{
    int length = 0;
    while (text[length] != 0)
        ++length;
    return length;
}

int AppendPath(char *buffer, const char *text)
{
    int used = PathTextLength(buffer);
    // Measure the tail only as far as it could still fit, so an over-long
    // tail costs no more than the buffer's size to reject.
    int added = 0;
    while (text[added] != 0) {
        if (used + added >= PATH_TEXT_MAX_CHARS)
            return 0;
        ++added;
    }
    for (int i = 0; i < added; ++i)
        buffer[used + i] = text[i];
    buffer[used + added] = 0;
    return 1;
}
