// What the end-to-end cases share: checks, paths, the registry seeding, the
// .htm handler and patching the finish text of a copy.
#pragma once
#include <windows.h>

#include <string>

#include "folders.h"

namespace e2e {

// Records a failed check; the case goes on so that one run shows all.
void Check(bool ok, const std::string &what);
void CheckEqual(const std::string &actual, const std::string &expected, const std::string &what);
int Failures();

using driver::Exists;
using driver::IsDirectory;
using driver::RemoveTree;
using driver::SameTree;
using driver::WindowsPath;

bool MakeDirectories(const std::string &path);
bool WriteFileText(const std::string &path, const std::string &text);
std::string ReadFileText(const std::string &path);   // empty when missing
std::string TempFilePath();                           // %TEMP%\xpktemp.$$$

// Developer Studio 6.0 with its "Install Dirs" value, or no DevStudio key.
void SeedDevStudio(const std::string &installDirs);
void RemoveDevStudio();

// The add-in component's registration as it writes it (per user).
void RemoveComponentRegistration();
std::string RegisteredServerPath();   // InprocServer32 default value, or empty

// Registers recorder as the .htm "open" handler, writing to recordFile.
bool RegisterReadmeHandler(const std::string &recorder, const std::string &recordFile);
// Puts back the .htm association that RegisterReadmeHandler replaced.
void RestoreReadmeHandler();
// Waits up to timeoutMs for the record file to get content.
std::string WaitRecord(const std::string &recordFile, DWORD timeoutMs);

// Replaces string IDS_FINISHED of an executable on disk, keeping the other
// strings of its block.
bool ReplaceFinishText(const std::string &exe, const std::string &text, std::string *error);

bool SameTextIgnoringCase(const std::string &a, const std::string &b);

}  // namespace e2e
