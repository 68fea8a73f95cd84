// Window snapshots as 24-bit BMP files, shared by the demonstration driver
// and the progress hook that runs inside the setup process.
#pragma once
#include <windows.h>

// Copies the screen rectangle from a device context (the screen's, or a
// window's with the rectangle in window coordinates) into a BMP file.
// Returns false when a GDI call or the file write fails.
bool SaveSnapshot(HDC source, int x, int y, int width, int height, const char *path);

// The window as it is on screen, frame and caption included.
bool SaveWindowSnapshot(HWND window, const char *path);
