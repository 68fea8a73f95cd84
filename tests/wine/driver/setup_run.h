// The setup program under test: the registry and folders it reads and
// writes, and SetupRun, which starts the real program, drives it and checks
// what the run left behind. A test program's cases each take a SetupRun and
// are run one per process by RunCases.
#pragma once
#include <windows.h>

#include <map>
#include <string>

#include "check.h"
#include "driver.h"
#include "expected_texts.h"
#include "folders.h"
#include "host.h"
#include "payload.h"
#include "quenbrik.h"
#include "registry.h"

namespace setup_run {

const DWORD kWait = 15000;
// How long the shell may take to open the readme; a readme that must not
// open is waited for as long.
const DWORD kReadmeWait = 10000;

// Per-user keys that the setup program reads and the add-in writes.
inline const std::string kDevStudioKey = DEVSTUDIO_KEY;
inline const std::string kClsidKey = TORVIK_CLASSES_ROOT "\\CLSID\\" TORVIK_CLSID_TEXT;
inline const std::string kProgIdKey = TORVIK_CLASSES_ROOT "\\" TORVIK_PROGID;
inline const std::string kVersionlessKey = TORVIK_CLASSES_ROOT "\\" TORVIK_VERSIONLESS_PROGID;

// Developer Studio 6.0 with its "Install Dirs" value, or no DevStudio key.
void SeedDevStudio(const std::string &installDirs);
void RemoveDevStudio();

void RemoveComponentRegistration();
std::string RegisteredServerPath();  // InprocServer32's default value, or empty

// Registers recorder as the .htm "open" handler, writing to recordFile.
bool RegisterReadmeHandler(const std::string &recorder, const std::string &recordFile);
// Puts back the .htm association that RegisterReadmeHandler replaced.
void RestoreReadmeHandler();
// Waits up to timeoutMs for the record file to get a whole line.
std::string WaitRecord(const std::string &recordFile, DWORD timeoutMs);

// Replaces string IDS_FINISHED of an executable on disk, keeping the other
// strings of its block.
bool ReplaceFinishText(const std::string &exe, const std::string &text, std::string *error);

// One case's surroundings and the program running in them.
struct SetupRun {
    std::string setupExe, reference, recorder;
    std::string work;       // the case's folder
    std::string devStudio;  // <work>\MSDev98: the suggested folder without its backslash
    std::string record;     // what the .htm handler was asked to open
    driver::Process process;
    HWND dialog = nullptr;

    std::string Suggested() const { return devStudio + "\\"; }
    std::string Installed(const std::string &relative) const { return devStudio + "\\" + relative; }
    std::string Reference(const std::string &relative) const { return reference + "\\" + relative; }
    // Where the program registers the component from and opens the readme.
    std::string Component() const { return Installed("Addins" COMPONENT_TAIL); }
    std::string Readme() const { return Installed("Addins" README_TAIL); }

    // An empty work folder holding the Developer Studio folder, the registry
    // seeded for it (or without Developer Studio), nothing registered, no
    // temporary file; with a recorder, the .htm handler writing to record.
    void Prepare(const std::string &folder, bool withDevStudio = true);
    // Starts the program (setupExe unless exe is given) and waits for its dialog.
    bool Launch(const std::string &exe = "", const std::string &arguments = "");
    // Waits for the next message box, with this title when one is given.
    driver::MessageBoxInfo NextBox(const char *title = nullptr);
    // Install, and the box it ends in. A registration failure is reported
    // and passed over: it must not happen with a sound component.
    driver::MessageBoxInfo Install();
    // The process ends, with 0.
    void ExpectExit(const std::string &what);
    // The installed tree is the reference; tempFile (unless empty) is gone.
    void ExpectInstalled(const std::string &what, const std::string &tempFile = driver::TempFilePath());
};

// Usage: PROGRAM CASE SETUP-EXE REFERENCE-TREE [RECORDER-EXE]
// Runs one case, then removes what it put in the registry and, when it
// passed, its work folder.
int RunCases(int argc, char **argv, const std::map<std::string, void (*)(SetupRun &)> &cases);

// A hidden window with an IDC_FOLDER edit box, standing in for the setup
// dialog where a piece of the program reads the folder from it.
class FolderWindow {
public:
    FolderWindow();
    ~FolderWindow() { DestroyWindow(window_); }
    FolderWindow(const FolderWindow &) = delete;
    FolderWindow &operator=(const FolderWindow &) = delete;
    HWND handle() const { return window_; }
    void SetFolder(const std::string &text);

private:
    HWND window_;
};

}  // namespace setup_run
