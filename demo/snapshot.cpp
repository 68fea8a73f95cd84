#include "snapshot.h"

namespace {

// Writes the whole buffer or fails; a short write is a failure.
bool WriteAll(HANDLE file, const void *data, DWORD size)
{
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

}  // namespace

bool SaveSnapshot(HDC source, int x, int y, int width, int height, const char *path)
{
    if (width <= 0 || height <= 0)
        return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return false;
    HDC memory = CreateCompatibleDC(source);
    HGDIOBJ old = SelectObject(memory, bitmap);
    bool ok = BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY) != 0;
    GdiFlush();
    SelectObject(memory, old);
    DeleteDC(memory);

    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;

    if (ok) {
        HANDLE file =
            CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ok = file != INVALID_HANDLE_VALUE;
        if (ok) {
            ok = WriteAll(file, &header, sizeof header) &&
                 WriteAll(file, &info.bmiHeader, sizeof info.bmiHeader) && WriteAll(file, bits, imageSize);
            ok = CloseHandle(file) && ok;
            if (!ok)
                DeleteFileA(path);
        }
    }
    DeleteObject(bitmap);
    return ok;
}

bool SaveWindowSnapshot(HWND window, const char *path)
{
    RECT r;
    if (!GetWindowRect(window, &r))
        return false;
    HDC screen = GetDC(nullptr);
    bool ok = SaveSnapshot(screen, r.left, r.top, r.right - r.left, r.bottom - r.top, path);
    ReleaseDC(nullptr, screen);
    return ok;
}
