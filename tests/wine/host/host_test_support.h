// Small helpers for the host test programs: checks, message box capture,
// scratch folders and the per-user registry.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "folders.h"

using driver::RemoveTree;
using driver::WindowsPath;

// Records a failed check (with where it was made) and goes on.
void CheckAt(bool ok, const char *what, const char *file, int line);
#define CHECK(cond) CheckAt((cond), #cond, __FILE__, __LINE__)
void CheckTextAt(const std::string &actual, const std::string &expected,
                 const char *what, const char *file, int line);
#define CHECK_TEXT(actual, expected) \
    CheckTextAt((actual), (expected), #actual, __FILE__, __LINE__)
// Names the case that later failures belong to.
void BeginCase(const char *name);
// 0 when every check passed, 1 otherwise; prints a summary.
int FinishChecks();

// A message box as the user would have seen it.
struct SeenBox {
    std::string text;
    std::string title;
    HWND owner;
    bool errorIcon;  // shows the system's error (hand) icon
};

// Captures every message box shown on this thread while it lives, by a CBT
// hook, and dismisses each with its default button.
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder &) = delete;
    BoxRecorder &operator=(const BoxRecorder &) = delete;
    const std::vector<SeenBox> &boxes() const;
};

// A fresh folder under the temporary directory, removed with its content.
class ScratchFolder {
public:
    explicit ScratchFolder(const char *name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

// A hidden window with an IDC_FOLDER edit box, standing in for the dialog.
class FolderWindow {
public:
    FolderWindow();
    ~FolderWindow();
    FolderWindow(const FolderWindow &) = delete;
    FolderWindow &operator=(const FolderWindow &) = delete;
    HWND handle() const { return window_; }
    void SetFolder(const std::string &text);

private:
    HWND window_;
};

// The folder that holds this test program.
std::string ProgramFolder();
bool FileExists(const std::string &path);
bool MakeFolders(const std::string &path);

// Per-user registry helpers; keys are below HKEY_CURRENT_USER.
bool KeyExists(const std::string &key);
std::string ReadStringValue(const std::string &key, const char *name);
void SetValue(const std::string &key, const char *name, DWORD type,
              const void *data, DWORD size);
void DeleteTree(const std::string &key);
