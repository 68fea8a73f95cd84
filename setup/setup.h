// The setup program: resource identifiers, the title, the module handle.
// Included by the resource script too.
#pragma once

#define IDD_SETUP     101
#define IDI_SETUP     102
#define IDD_ABOUT     103
#define IDC_FOLDER    1000
#define IDC_ABOUT     1001
#define IDC_HELP      1002
#define IDC_PROGRESS  1003
#define IDS_FINISHED  1010
#define IDS_HELP      1011

#define SETUP_TITLE "Corvane Setup"

#ifndef RC_INVOKED
#include <windows.h>

extern HINSTANCE g_hInstance;

int SetupMain(HINSTANCE module);
INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
#endif
