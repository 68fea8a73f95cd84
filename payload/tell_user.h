// What the user is told: every message box the setup program shows, but for
// the finish box, which asks a question of the setup dialog.
#pragma once
#include <windows.h>

// Shows text in a message box with no owner, titled SETUP_TITLE, with the
// icon given (MB_ICONERROR or MB_ICONINFORMATION). Returns 0, for the callers
// that fail on the spot.
int TellUser(const char *text, UINT icon);
