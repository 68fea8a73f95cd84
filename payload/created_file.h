// Files the run creates itself, and what it does to them only through the
// handle it created them with: whatever their names lead to by then (a
// link, a file swapped in) is never written, renamed or deleted.
#pragma once
#include <windows.h>

// Creates a file of the run's own at path, sharing reading only, so that
// nobody can change, replace or delete what is written while the handle is
// open. Whatever already has the name (a stale file, a folder, a link
// planted to something else) is left alone: other letters are tried in
// path[first] to path[first + count - 1], so the name keeps its length.
// path holds the name that was created. Returns INVALID_HANDLE_VALUE when
// every attempt finds the name taken.
HANDLE CreateOwnFile(char *path, int first, int count, DWORD access, DWORD attributes);

// Marks file, which the run created and holds open with DELETE access, to
// be deleted when the handle closes.
void DiscardCreatedFile(HANDLE file);

// Gives file, which the run created and holds open with DELETE access, the
// name name in folder (its path, ending in a backslash), replacing what has
// that name: the name's old item is only unlinked, never written through.
// Returns 1, or 0 when the file keeps its name.
int RenameCreatedFile(HANDLE file, const char *folder, const char *name);
