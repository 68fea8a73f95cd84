// Support for the install engine's tests under Wine: a stand-in setup
// dialog with a recorder for its progress bar and one for the message boxes,
// and payload modules carrying given bytes as their payload resource.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "check.h"
#include "driver.h"
#include "expected_texts.h"
#include "folders.h"

using driver::Bytes;
using driver::Exists;
using driver::IconKind;
using driver::IsDirectory;
using driver::ReadFileBytes;
using driver::TempFilePath;
using driver::WriteFileBytes;

// --- what the run showed.
struct ProgressSeen {
    UINT message;  // PBM_SETRANGE or PBM_SETPOS
    WPARAM wParam;
    LPARAM lParam;
};
// The message boxes shown since the last PrepareDialog, each closed with OK.
std::vector<driver::MessageBoxInfo> &Boxes();
extern std::vector<ProgressSeen> g_progress;
// Called for every PBM_SETPOS and PBM_SETRANGE, before the bar handles it,
// so a case can look at the disk at that moment.
extern void (*g_onProgress)(const ProgressSeen &seen);

// Creates the dialog (visible, progress bar hidden as the setup dialog
// starts) and starts the recorders. Returns the dialog.
HWND OpenTestDialog();
// Resets the recorders, sets the folder box's text, shows it, hides the
// bar and parks the focus on the extra button.
void PrepareDialog(HWND dialog, const std::string &folderText);
bool IsShown(HWND dialog, int id);

// --- payloads.
// Builds payload bytes entry by entry.
void AddDirectory(Bytes &payload, const std::string &name);
void AddFile(Bytes &payload, const std::string &name, const Bytes &data);
void AddRaw(Bytes &payload, const Bytes &bytes);

// A small module, on the scratch drive (its path in *copy), whose only
// resource is the payload bytes (none at all when withPayload is false),
// loaded as data. Use its handle as g_hInstance. A module with a resource
// of size 0 is built as engine_empty_payload.dll: UpdateResource cannot
// store one.
HMODULE MakePayloadModule(const Bytes &bytes, bool withPayload = true, std::string *copy = nullptr);

// An entry of a payload, as an independent reader sees it.
struct EntrySeen {
    bool isDirectory;
    std::string name;
    size_t data = 0;  // file entries: where the data starts; it runs to end
    size_t end;       // offset just past the entry
};
std::vector<EntrySeen> ListEntries(const Bytes &payload);
// Where each entry lands under root (a path ending in '\'): a directory
// without its final backslash.
std::vector<std::string> Destinations(const std::vector<EntrySeen> &entries, const std::string &root);

// A file the build put next to the test program.
std::string ArtefactPath(const std::string &name);

// The test dialog that the cases run the extraction in.
extern HWND g_dialog;

// Cases that feed the extraction run bad input (engine_bad_input.cpp).
void CaseFolderTexts();
void CaseRejectedCharacters();
void CaseReplayCorpus();
// The security of the install folder the run creates (engine_folder_security.cpp).
void CaseInstallFolderSecurity();
