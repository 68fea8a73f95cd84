// The setup dialog: start-up check, the Install flow and its finish message.
#include "setup.h"
#include "desktop_shell.h"
#include "payload.h"
#include "host.h"
#include "path_text.h"

static const char NO_DEVSTUDIO_MESSAGE[] = NO_DEVSTUDIO_TEXT;

BOOL OnInitSetupDialog(HWND dialog)
{
    char folder[SETUP_PATH_MAX];
    if (!FindDefaultFolder(folder, SETUP_PATH_MAX)) {
        TellUser(NO_DEVSTUDIO_MESSAGE, MB_ICONERROR);
        EndDialog(dialog, 1);
        return TRUE;
    }
    ShowWindow(GetDlgItem(dialog, IDC_PROGRESS), SW_HIDE);
    SetDlgItemTextA(dialog, IDC_FOLDER, folder);
    SetFocus(GetDlgItem(dialog, IDC_FOLDER));
    return TRUE;
}

// The readme is a convenience: when its path cannot be built or the shell
// cannot open it, the user is not bothered. An elevated run has the
// desktop shell open it, as the user.
void OpenReadme(HWND dialog)
{
    char path[SETUP_PATH_MAX];
    if (!ComponentFolderPath(dialog, path) || !AppendPath(path, README_TAIL))
        return;
    if (!OpenAsDesktopUser(path))
        ShellExecuteA(NULL, "open", path, NULL, NULL, SW_SHOW);
}

// A text ending in ')' or '?' is a question about the readme; anything else,
// an empty text included, is only a notice.
static int FinishTextAsks(const char *text)
{
    int length = lstrlenA(text);
    if (length == 0)
        return 0;
    return text[length - 1] == ')' || text[length - 1] == '?';
}

static void ShowFinishMessage(HWND dialog)
{
    char text[MESSAGE_MAX];
    text[0] = 0;
    LoadStringA(g_hInstance, IDS_FINISHED, text, MESSAGE_MAX);
    if (FinishTextAsks(text)) {
        if (MessageBoxA(dialog, text, FINISH_TITLE, MB_ICONQUESTION | MB_YESNO) == IDYES)
            OpenReadme(dialog);
    } else {
        MessageBoxA(dialog, text, FINISH_TITLE, MB_ICONINFORMATION);
    }
}

static void RunInstall(HWND dialog)
{
    if (!ExtractPayload(dialog))
        return;
    RegisterComponent(dialog);
    ShowFinishMessage(dialog);
    EndDialog(dialog, 1);
}

void OnSetupCommand(HWND dialog, WORD id)
{
    switch (id) {
    case IDOK:
        RunInstall(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, 1);
        break;
    case IDC_ABOUT:
        ShowAbout();
        break;
    case IDC_HELP:
        ShowHelp();
        break;
    }
}

INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    if (message == WM_INITDIALOG)
        return OnInitSetupDialog(dialog);
    if (message == WM_COMMAND)
        OnSetupCommand(dialog, LOWORD(wParam));
    return FALSE;
}
