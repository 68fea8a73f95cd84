// Normalisation of the folder box's text into the install folder.
// Platform-free, shared by the setup program and the native tests.
#pragma once

// text holds count characters (count <= 259) and a terminator. Removes
// trailing spaces from the back, never touching index 0, then at most one
// backslash at the position where that scan stopped.
void NormaliseFolderText(char *text, int count);
