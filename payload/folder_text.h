// Normalisation of the folder box's text into the install folder, and the
// walk back to a backslash that it shares with the folder suggestion.
// Platform-free, shared by the setup program and the native tests.
#pragma once

#include "path_text.h"

// Nonzero when byte opens a two-byte character of the ANSI code page in
// force: on Windows IsDBCSLeadByte itself. In the two-byte code pages (932,
// 936, 950) a character's second byte may be 0x5C, which is then no
// backslash.
typedef int(PLATFORM_CALL *LeadByteTest)(unsigned char byte);

// Index of the last backslash among the count bytes of text read as
// characters, or -1 when there is none. A lead byte in the last place
// stands alone.
int LastBackslash(const char *text, int count, LeadByteTest isLead);

// text holds count characters (count <= 259) and a terminator. Removes
// trailing spaces from the back, never touching index 0, then at most one
// backslash character at the position where that scan stopped.
void NormaliseFolderText(char *text, int count, LeadByteTest isLead);
