#include "driver.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdlib>

namespace driver {

bool Process::Start(const std::string &program, const std::string &arguments, std::string *error)
{
    Kill();
    std::string commandLine = "\"" + program + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        if (error)
            *error = "cannot start " + program + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    return true;
}

bool Process::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Process::Wait(DWORD timeoutMs, DWORD *exitCode)
{
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (exitCode)
        GetExitCodeProcess(process_, exitCode);
    return true;
}

void Process::Kill()
{
    if (!process_)
        return;
    if (Running()) {
        TerminateProcess(process_, 255);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
    process_ = nullptr;
    id_ = 0;
}

std::string WindowText(HWND window)
{
    // WM_GETTEXT rather than GetWindowText, which does not ask another
    // process's controls for their text.
    LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    LRESULT got = SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(got));
    return text;
}

std::string ClassName(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

namespace {

struct TopSearch {
    DWORD processId;
    const char *title;
    const char *className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND window, LPARAM context)
{
    auto *search = reinterpret_cast<TopSearch *>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window))
        return TRUE;
    if (search->className && ClassName(window) != search->className)
        return TRUE;
    if (search->title && WindowText(window) != search->title)
        return TRUE;
    search->found.push_back(window);
    return TRUE;
}

bool Contains(const std::vector<HWND> &windows, HWND window)
{
    for (HWND w : windows)
        if (w == window)
            return true;
    return false;
}

}  // namespace

std::vector<HWND> TopWindows(DWORD processId, const char *title, const char *className)
{
    TopSearch search{processId, title, className, {}};
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitWindow(DWORD processId, const std::string &title, DWORD timeoutMs, const std::vector<HWND> &exclude)
{
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND w : TopWindows(processId, title.c_str()))
            if (!Contains(exclude, w))
                return w;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(50);
    }
}

bool WaitGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

std::string ControlText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    return control ? WindowText(control) : std::string();
}

void SetControlText(HWND dialog, int id, const std::string &text)
{
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool ControlVisible(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    return control && IsWindowVisible(control);
}

HWND Owner(HWND window)
{
    return GetWindow(window, GW_OWNER);
}

void PressButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PressKey(HWND window, UINT virtualKey)
{
    UINT scan = MapVirtualKeyA(virtualKey, 0);
    PostMessageA(window, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    PostMessageA(window, WM_KEYUP, virtualKey, 1 | (scan << 16) | (3u << 30));
}

void PressCloseBox(HWND window)
{
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

int ProgressPosition(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageA(dialog, id, PBM_GETPOS, 0, 0));
}

int ProgressMaximum(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageA(dialog, id, PBM_GETRANGE, FALSE, 0));
}

const char *IconKindName(IconKind kind)
{
    switch (kind) {
    case IconKind::None:
        return "none";
    case IconKind::Information:
        return "information";
    case IconKind::Question:
        return "question";
    case IconKind::Warning:
        return "warning";
    case IconKind::Error:
        return "error";
    case IconKind::Unknown:
        return "unknown";
    }
    return "?";
}

std::ostream &operator<<(std::ostream &out, IconKind kind)
{
    return out << IconKindName(kind);
}

namespace {

// A 32-bit top-down bitmap with a memory DC selected into it.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void **>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;

    HDC Dc() const { return dc_; }
    uint32_t Pixel(int x, int y) const
    {
        GdiFlush();
        return bits_[y * width_ + x] & 0xFFFFFF;
    }
    void Fill(COLORREF colour)
    {
        HBRUSH brush = CreateSolidBrush(colour);
        RECT all = {0, 0, width_, height_};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    uint32_t *bits_ = nullptr;
};

int Difference(uint32_t a, uint32_t b)
{
    int d = 0;
    for (int shift = 0; shift < 24; shift += 8)
        d += std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255));
    return d;
}

// Mean colour difference between the captured picture and the icon, over
// the pixels the icon covers.
int IconDistance(const Canvas &shot, int size, LPCSTR iconName)
{
    HICON icon = LoadIconA(nullptr, iconName);
    if (!icon)
        return 1 << 30;
    Canvas onBlack(size, size), onWhite(size, size);
    onBlack.Fill(RGB(0, 0, 0));
    onWhite.Fill(RGB(255, 255, 255));
    DrawIconEx(onBlack.Dc(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    DrawIconEx(onWhite.Dc(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    long total = 0, count = 0;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            uint32_t p = onBlack.Pixel(x, y);
            if (p != onWhite.Pixel(x, y))
                continue;  // transparent or blended: depends on the background
            total += Difference(p, shot.Pixel(x, y));
            count++;
        }
    return count ? static_cast<int>(total / count) : 1 << 30;
}

BOOL CALLBACK FindIconControl(HWND child, LPARAM context)
{
    if (ClassName(child) == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        IsWindowVisible(child)) {
        *reinterpret_cast<HWND *>(context) = child;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectButtons(HWND child, LPARAM context)
{
    if (ClassName(child) == "Button")
        reinterpret_cast<std::vector<int> *>(context)->push_back(GetDlgCtrlID(child));
    return TRUE;
}

// The system's message-box icons, by the kind each stands for.
struct IconCandidate {
    IconKind kind;
    LPCSTR name;
};
const IconCandidate kIconCandidates[] = {
    {IconKind::Information, IDI_INFORMATION},
    {IconKind::Question, IDI_QUESTION},
    {IconKind::Warning, IDI_WARNING},
    {IconKind::Error, IDI_ERROR},
};

IconKind ReadIconKind(HWND box)
{
    HWND control = nullptr;
    EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&control));
    if (!control)
        return IconKind::None;
    SetWindowPos(box, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Settle(300);
    RECT client;
    GetClientRect(control, &client);
    int size = client.right < client.bottom ? client.right : client.bottom;
    if (size <= 0)
        return IconKind::Unknown;
    POINT origin = {0, 0};
    ClientToScreen(control, &origin);
    Canvas shot(size, size);
    HDC screen = GetDC(nullptr);
    BitBlt(shot.Dc(), 0, 0, size, size, screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);

    IconKind best = IconKind::Unknown;
    int bestDistance = 0;
    for (const IconCandidate &c : kIconCandidates) {
        int d = IconDistance(shot, size, c.name);
        if (best == IconKind::Unknown || d < bestDistance) {
            best = c.kind;
            bestDistance = d;
        }
    }
    // Far from every system icon: the screen did not show the box's icon.
    return bestDistance < 60 ? best : IconKind::Unknown;
}

}  // namespace

bool IsMessageBox(HWND window)
{
    return ClassName(window) == "#32770" && GetDlgItem(window, 0xFFFF) != nullptr;
}

namespace {

// Everything of a box but its icon, which is told apart differently on
// screen and before the box is shown.
MessageBoxInfo ReadBoxWithoutIcon(HWND box)
{
    MessageBoxInfo info;
    info.window = box;
    info.title = WindowText(box);
    info.text = ControlText(box, 0xFFFF);
    info.owner = Owner(box);
    EnumChildWindows(box, CollectButtons, reinterpret_cast<LPARAM>(&info.buttons));
    return info;
}

}  // namespace

MessageBoxInfo ReadMessageBox(HWND box)
{
    MessageBoxInfo info = ReadBoxWithoutIcon(box);
    info.icon = ReadIconKind(box);
    return info;
}

HWND WaitMessageBox(DWORD processId, const char *title, DWORD timeoutMs, const std::vector<HWND> &exclude)
{
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND w : TopWindows(processId, title, "#32770"))
            if (IsMessageBox(w) && !Contains(exclude, w))
                return w;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(50);
    }
}

namespace {

BoxRecorder *g_recorder = nullptr;

IconKind IconHandleKind(HWND box)
{
    // The box is not on screen yet: its icon control is found by its style.
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (lstrcmpiA(ClassName(child).c_str(), "Static") != 0 ||
            (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            continue;
        auto shown = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        for (const IconCandidate &c : kIconCandidates)
            if (shown == LoadIconA(nullptr, c.name))
                return c.kind;
        return IconKind::Unknown;
    }
    return IconKind::None;
}

LRESULT CALLBACK RecordBox(int code, WPARAM wParam, LPARAM lParam)
{
    auto box = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && g_recorder && IsMessageBox(box)) {
        MessageBoxInfo info = ReadBoxWithoutIcon(box);
        info.icon = IconHandleKind(box);
        g_recorder->boxes.push_back(info);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

BoxRecorder::BoxRecorder() : hook_(SetWindowsHookExA(WH_CBT, RecordBox, nullptr, GetCurrentThreadId()))
{
    g_recorder = this;
}

BoxRecorder::~BoxRecorder()
{
    UnhookWindowsHookEx(hook_);
    g_recorder = nullptr;
}

void Settle(DWORD ms)
{
    Sleep(ms);
}

}  // namespace driver
