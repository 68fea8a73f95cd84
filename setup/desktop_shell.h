// Documents opened as the user who is logged on. ShellExecuteA from an
// elevated program starts the document's program elevated: a browser
// opened on the readme would then run every page the user visits with
// administrator rights. The desktop shell runs as the user, so a document
// it opens runs as them.
#pragma once
#include <windows.h>

// When the program runs fully elevated, has the desktop shell's own
// process open path through the shell's automation (the desktop's
// IShellWindows view and IShellDispatch2::ShellExecute, verb "open").
// Returns 1 when the shell took it; 0 when the program is not elevated
// (Windows XP included) or that route is not available, and the caller
// opens the document itself.
int OpenAsDesktopUser(const char *path);
