#include "folder_text.h"

void NormaliseFolderText(char *text, int count)
{
    if (count <= 0) {
        text[0] = 0;
        return;
    }
    text[count] = 0;
    int stop = count - 1;
    // Index 0 is never treated as a trailing space: "   " becomes " ".
    while (stop >= 1 && text[stop] == ' ') {
        text[stop] = 0;
        --stop;
    }
    if (text[stop] == '\\')
        text[stop] = 0;
}
