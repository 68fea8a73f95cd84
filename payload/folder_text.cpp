#include "folder_text.h"

int LastBackslash(const char *text, int count, LeadByteTest isLead)
{
    // Only a walk from the start tells lead bytes from trail bytes. A lead
    // byte in the last place steps past the end, and the walk ends.
    int found = -1;
    for (int i = 0; i < count; ++i) {
        if (text[i] == '\\')
            found = i;
        else if (isLead((unsigned char)text[i]))
            ++i;
    }
    return found;
}

void NormaliseFolderText(char *text, int count, LeadByteTest isLead)
{
    if (count <= 0) {
        text[0] = 0;
        return;
    }
    text[count] = 0;
    int stop = count - 1;
    // Index 0 is never treated as a trailing space: "   " becomes " ".
    // A space is never the second byte of a character.
    while (stop >= 1 && text[stop] == ' ') {
        text[stop] = 0;
        --stop;
    }
    if (LastBackslash(text, stop + 1, isLead) == stop)
        text[stop] = 0;
}
