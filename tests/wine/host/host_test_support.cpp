#include "host_test_support.h"
#include <cstdio>

namespace {

int g_failures;
int g_checks;
const char *g_case = "";
HHOOK g_hook;
std::vector<SeenBox> g_boxes;

bool ShowsErrorIcon(HWND box)
{
    HICON error = LoadIconA(nullptr, IDI_HAND);
    bool found = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[32] = "";
        GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Static") != 0)
            continue;
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            continue;
        HICON shown = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        found = found || shown == error;
    }
    return found;
}

LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        char className[32] = "";
        GetClassNameA(box, className, sizeof className);
        if (lstrcmpA(className, "#32770") == 0) {
            SeenBox seen;
            char text[2048] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            seen.text = text;
            GetWindowTextA(box, text, sizeof text);
            seen.title = text;
            seen.owner = GetWindow(box, GW_OWNER);
            seen.errorIcon = ShowsErrorIcon(box);
            g_boxes.push_back(seen);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

} // namespace

void CheckAt(bool ok, const char *what, const char *file, int line)
{
    g_checks++;
    if (ok)
        return;
    g_failures++;
    std::printf("FAIL [%s] %s:%d: %s\n", g_case, file, line, what);
}

void CheckTextAt(const std::string &actual, const std::string &expected,
                 const char *what, const char *file, int line)
{
    g_checks++;
    if (actual == expected)
        return;
    g_failures++;
    std::printf("FAIL [%s] %s:%d: %s is \"%s\", expected \"%s\"\n", g_case, file, line,
                what, actual.c_str(), expected.c_str());
}

void BeginCase(const char *name)
{
    g_case = name;
    std::printf("case %s\n", name);
}

int FinishChecks()
{
    std::printf("%d checks, %d failed\n", g_checks, g_failures);
    std::fflush(stdout);
    return g_failures == 0 && g_checks > 0 ? 0 : 1;
}

BoxRecorder::BoxRecorder()
{
    g_boxes.clear();
    g_hook = SetWindowsHookExA(WH_CBT, BoxHook, nullptr, GetCurrentThreadId());
    CHECK(g_hook != nullptr);
}

BoxRecorder::~BoxRecorder()
{
    UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
}

const std::vector<SeenBox> &BoxRecorder::boxes() const
{
    return g_boxes;
}

ScratchFolder::ScratchFolder(const char *name)
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    path_ = std::string(temp) + name + "-" + std::to_string(GetCurrentProcessId());
    RemoveTree(path_);
    CHECK(CreateDirectoryA(path_.c_str(), nullptr) != 0);
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(path_);
}

FolderWindow::FolderWindow()
{
    window_ = CreateWindowExA(0, "STATIC", "host test", WS_OVERLAPPED, 0, 0, 200, 100,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    CHECK(window_ != nullptr);
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 200, 20, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(1000)),
                                GetModuleHandleA(nullptr), nullptr);
    CHECK(edit != nullptr);
}

FolderWindow::~FolderWindow()
{
    DestroyWindow(window_);
}

void FolderWindow::SetFolder(const std::string &text)
{
    CHECK(SetDlgItemTextA(window_, 1000, text.c_str()) != 0);
}

std::string ProgramFolder()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of("\\/"));
}

bool FileExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeFolders(const std::string &path)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool KeyExists(const std::string &key)
{
    HKEY opened;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

std::string ReadStringValue(const std::string &key, const char *name)
{
    HKEY opened;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return "<no key>";
    char data[1024] = "";
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    LONG status = RegQueryValueExA(opened, name, nullptr, &type,
                                   reinterpret_cast<BYTE *>(data), &size);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS)
        return "<no value>";
    if (type != REG_SZ)
        return "<not REG_SZ>";
    return data;
}

void SetValue(const std::string &key, const char *name, DWORD type, const void *data,
              DWORD size)
{
    HKEY created;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &created, nullptr);
    CHECK(status == ERROR_SUCCESS);
    if (status != ERROR_SUCCESS)
        return;
    if (name)
        CHECK(RegSetValueExA(created, name, 0, type, static_cast<const BYTE *>(data), size) ==
              ERROR_SUCCESS);
    RegCloseKey(created);
}

void DeleteTree(const std::string &key)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
}
