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

// What follows the form's prefix; *share is 1 for a share: "\\?\UNC\..."
// and "\\server\...", against "\\?\C:\..." and "C:\...".
static const char *PathBody(const char *path, int *share)
{
    *share = 0;
    if (path[0] == '\\' && path[1] == '\\') {
        path += 2;
        *share = 1;
        if (path[0] == '?' && path[1] == '\\') {
            path += 2;
            // No drive, volume or device name begins so.
            *share = path[0] == 'U' && path[1] == 'N' && path[2] == 'C';
            if (*share)
                path += 4;
        }
    }
    return path;
}

int SameFinalPath(const char *a, const char *b, TextCompare compare)
{
    int shareA, shareB;
    const char *bodyA = PathBody(a, &shareA);
    const char *bodyB = PathBody(b, &shareB);
    return shareA == shareB && compare(bodyA, bodyB) == 0;
}
