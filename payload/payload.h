// The payload and the extraction run: what the setup dialog and the host
// integration need of them.
#pragma once
#include <windows.h>

#include "payload_format.h"
#include "tell_user.h"

#define TEMP_FILE_NAME "xpktemp.$$$"
// Other names tried when TEMP_FILE_NAME is taken.
#define TEMP_NAME_ATTEMPTS 16

// The payload's top folder ("Addins"), set by every extraction run.
extern char g_szTopFolder[TOP_FOLDER_MAX + 1];

// Expands the payload under the folder in the dialog's IDC_FOLDER box,
// driving IDC_PROGRESS. Returns 1, or 0: after telling the user why, except
// when the module has no payload resource, which is not the user's to fix.
int ExtractPayload(HWND dialog);

// Fills buffer (SETUP_PATH_MAX bytes) with the folder box's text, normalised:
// trailing spaces and then one trailing backslash removed.
void ReadInstallFolder(HWND dialog, char *buffer);

// Fills buffer (SETUP_PATH_MAX bytes) with the install folder, a backslash
// and g_szTopFolder. Returns 1, or 0 when that would not fit.
int ComponentFolderPath(HWND dialog, char *buffer);

// Fills buffer with the component's path: the component folder and
// COMPONENT_TAIL (payload_format.h). Returns 1, or 0 when that would not fit.
int ComponentPath(HWND dialog, char *buffer);

// The installed component, held open by the run that wrote it (sharing
// reading only) until it has been registered; NULL when none is held.
extern HANDLE g_hComponentFile;

// Closes the component's handle, if one is held.
void ReleaseComponentFile(void);
