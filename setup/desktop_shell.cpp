#include "desktop_shell.h"
#include "path_text.h"
#include "process_token.h"

#include <exdisp.h>
#include <shldisp.h>
#include <shobjidl.h>

// CLSID_ShellWindows and SID_STopLevelBrowser, which live in uuid.lib, a
// library this program does not link.
static const CLSID SHELL_WINDOWS_CLASS = {
    0x9ba05972, 0xf6a8, 0x11cf, {0xa4, 0x42, 0x00, 0xa0, 0xc9, 0x0a, 0x8f, 0x39}};
static const GUID TOP_LEVEL_BROWSER_SERVICE = {
    0x4c96be40, 0x915c, 0x11cf, {0x99, 0xd3, 0x00, 0xaa, 0x00, 0x4a, 0xe8, 0x37}};

// A BSTR is the byte count of its text, then the text and a terminator; it
// points at the text. An [in] string stays its caller's and is only read,
// so strings kept here serve without the allocator.
typedef struct ShellText {
    DWORD bytes;
    WCHAR text[SETUP_PATH_MAX];
} ShellText;
static const struct {
    DWORD bytes;
    WCHAR text[5];
} OPEN_VERB = {4 * sizeof(WCHAR), {'o', 'p', 'e', 'n', 0}};

static int RunsElevated(void)
{
    TOKEN_ELEVATION_TYPE type;
    return QueryProcessToken(TokenElevationType, &type, sizeof type) && type == TokenElevationTypeFull;
}

// From the shell's list of its windows to the automation object of the
// desktop's folder view: every object on the way belongs to the shell's
// process, and ShellExecute runs there. Each object is kept under its own
// interface and, through the union, in the list that releases them.
typedef union ShellObjects {
    IUnknown *held[9];
    struct {
        IShellWindows *windows;
        IDispatch *desktop;
        IServiceProvider *provider;
        IShellBrowser *browser;
        IShellView *view;
        IDispatch *background;
        IShellFolderViewDual *folderView;
        IDispatch *application;
        IShellDispatch2 *shell;
    };
} ShellObjects;

static int ShellExecuteOnDesktop(ShellText *file)
{
    ShellObjects o = {};
    VARIANT empty = {}, desktopFolder = {}, verb = {}, show = {};
    desktopFolder.vt = VT_I4;  // CSIDL_DESKTOP, 0
    verb.vt = VT_BSTR;
    verb.bstrVal = (BSTR)OPEN_VERB.text;
    show.vt = VT_I4;
    show.lVal = SW_SHOW;
    long window;
    int opened =
        SUCCEEDED(CoCreateInstance(SHELL_WINDOWS_CLASS, NULL, CLSCTX_LOCAL_SERVER, __uuidof(IShellWindows),
                                   (void **)&o.windows)) &&
        o.windows->FindWindowSW(&desktopFolder, &empty, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                &o.desktop) == S_OK &&
        SUCCEEDED(o.desktop->QueryInterface(__uuidof(IServiceProvider), (void **)&o.provider)) &&
        SUCCEEDED(o.provider->QueryService(TOP_LEVEL_BROWSER_SERVICE, __uuidof(IShellBrowser),
                                           (void **)&o.browser)) &&
        SUCCEEDED(o.browser->QueryActiveShellView(&o.view)) &&
        SUCCEEDED(o.view->GetItemObject(SVGIO_BACKGROUND, __uuidof(IDispatch), (void **)&o.background)) &&
        SUCCEEDED(o.background->QueryInterface(__uuidof(IShellFolderViewDual), (void **)&o.folderView)) &&
        SUCCEEDED(o.folderView->get_Application(&o.application)) &&
        SUCCEEDED(o.application->QueryInterface(__uuidof(IShellDispatch2), (void **)&o.shell)) &&
        SUCCEEDED(o.shell->ShellExecute(file->text, empty, empty, verb, show));
    for (unsigned i = 0; i < sizeof o.held / sizeof o.held[0]; i++)
        if (o.held[i])
            o.held[i]->Release();
    return opened;
}

int OpenAsDesktopUser(const char *path)
{
    ShellText file;
    if (!RunsElevated())
        return 0;
    int characters = MultiByteToWideChar(CP_ACP, 0, path, -1, file.text, SETUP_PATH_MAX);
    if (characters == 0)
        return 0;
    file.bytes = (DWORD)(characters - 1) * sizeof(WCHAR);
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    int opened = ShellExecuteOnDesktop(&file);
    if (SUCCEEDED(com))
        CoUninitialize();
    return opened;
}
