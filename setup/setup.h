// The setup program: resource identifiers, the texts its code shows, the
// module handle. Included by the resource script too.
#pragma once

#ifndef RC_INVOKED
#include <windows.h>
#endif

// windows.h names a cursor IDC_HELP; here it is the Help button.
#undef IDC_HELP

#define IDD_SETUP    101
#define IDI_SETUP    102
#define IDD_ABOUT    103
#define IDC_FOLDER   1000
#define IDC_ABOUT    1001
#define IDC_HELP     1002
#define IDC_PROGRESS 1003
#define IDS_FINISHED 1010
#define IDS_HELP     1011

#define SETUP_TITLE "Corvane Setup"
// The product the program installs, as its version resource names it.
#define SETUP_PRODUCT_NAME "Corvane Torvik Add-in"
#define FINISH_TITLE       "Finished extracting files!"
#define NO_DEVSTUDIO_TEXT                                                        \
    "Visual C++ is not installed. Because the Corvane Torvik Add-in works only " \
    "with Visual C++ 5.0 and higher, there is no reason to continue.\n\n"        \
    "After you install Visual C++, run this Setup program again to install "     \
    "the Torvik Add-in."
#define MESSAGE_MAX          1024
#define COMMON_CONTROLS_NAME "COMCTL32"
#define COMMON_CONTROLS_DLL  COMMON_CONTROLS_NAME ".DLL"
// InitCommonControls has had this ordinal in every version of the DLL.
#define INIT_COMMON_CONTROLS_ORDINAL 17
#define MSG_COMMON_CONTROLS_MISSING  "Setup cannot load the system library " COMMON_CONTROLS_DLL "."

#ifndef RC_INVOKED
extern HINSTANCE g_hInstance;

int SetupMain(HINSTANCE module);
INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

BOOL OnInitSetupDialog(HWND dialog);
void OnSetupCommand(HWND dialog, WORD id);
void OpenReadme(HWND dialog);
void ShowHelp(void);
void ShowAbout(void);
#endif
