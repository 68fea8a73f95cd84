// The folder box's text as the install folder, and the component folder
// derived from it. The box is read anew on every call: it is the only record
// of the chosen folder.
#include "payload.h"
#include "folder_text.h"
#include "path_text.h"
#include "setup.h"

char g_szTopFolder[TOP_FOLDER_MAX + 1];

void ReadInstallFolder(HWND dialog, char *buffer)
{
    // At most SETUP_PATH_MAX - 1 characters; none, and an empty text, when
    // the box cannot be read.
    NormaliseFolderText(buffer, (int)GetDlgItemTextA(dialog, IDC_FOLDER, buffer, SETUP_PATH_MAX),
                        IsDBCSLeadByte);
}

int ComponentFolderPath(HWND dialog, char *buffer)
{
    ReadInstallFolder(dialog, buffer);
    int folderEnd = lstrlenA(buffer);
    if (!AppendPath(buffer, "\\") || !AppendPath(buffer, g_szTopFolder)) {
        buffer[folderEnd] = 0;
        return 0;
    }
    return 1;
}

int ComponentPath(HWND dialog, char *buffer)
{
    return ComponentFolderPath(dialog, buffer) && AppendPath(buffer, COMPONENT_TAIL);
}
