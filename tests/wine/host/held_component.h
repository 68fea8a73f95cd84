// What an extraction run leaves for registration: the component it wrote,
// held open sharing reading only. RegisterComponent loads nothing else, so
// the tests that call it alone hold the file the way the run does.
#pragma once
#include "payload.h"

inline void HoldComponent(HWND folderWindow)
{
    char path[SETUP_PATH_MAX];
    if (!ComponentPath(folderWindow, path))
        return;
    HANDLE held = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    g_hComponentFile = held == INVALID_HANDLE_VALUE ? nullptr : held;
}
