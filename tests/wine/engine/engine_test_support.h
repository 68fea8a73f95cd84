// Support for the install engine's tests under Wine: a stand-in setup
// dialog, recorders for the progress bar and the message boxes, payload
// modules carrying given bytes as their payload resource, and file helpers.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "folders.h"

using Bytes = std::vector<unsigned char>;

// --- checks: failures are counted and printed, the case goes on.
extern int g_failures;
void Fail(const char *file, int line, const std::string &what);
#define CHECK(condition) \
    do { if (!(condition)) Fail(__FILE__, __LINE__, #condition); } while (0)
#define CHECK_EQ(actual, expected) \
    do { \
        auto a_ = (actual); auto e_ = (expected); \
        if (!(a_ == e_)) \
            Fail(__FILE__, __LINE__, std::string(#actual " == " #expected ": got ") + \
                 Show(a_) + ", expected " + Show(e_)); \
    } while (0)
std::string Show(const std::string &value);
std::string Show(const char *value);
std::string Show(long long value);
inline std::string Show(int value) { return Show((long long)value); }
inline std::string Show(unsigned value) { return Show((long long)value); }
inline std::string Show(long value) { return Show((long long)value); }
inline std::string Show(unsigned long value) { return Show((long long)value); }
inline std::string Show(unsigned long long value) { return Show((long long)value); }
inline std::string Show(bool value) { return value ? "true" : "false"; }
std::string Show(const void *value);

// --- what the run showed.
struct BoxSeen {
    std::string title;
    std::string text;
    HWND owner;
    int icon;  // MB_ICONERROR, MB_ICONINFORMATION, MB_ICONQUESTION or 0
};
struct ProgressSeen {
    UINT message;  // PBM_SETRANGE or PBM_SETPOS
    WPARAM wParam;
    LPARAM lParam;
};
extern std::vector<BoxSeen> g_boxes;
extern std::vector<ProgressSeen> g_progress;
// Called for every PBM_SETPOS and PBM_SETRANGE, before the bar handles it,
// so a case can look at the disk at that moment.
extern void (*g_onProgress)(const ProgressSeen &seen);

// Creates the dialog (visible, progress bar hidden as the setup dialog
// starts) and installs the recorders. Returns the dialog.
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

// A module whose "TEXT"/"XPackArchive" resource holds bytes (none at all
// when withPayload is false), loaded as data. Use its handle as g_hInstance.
HMODULE MakePayloadModule(const Bytes &bytes, bool withPayload = true);

// An entry of a payload, as an independent reader sees it.
struct EntrySeen {
    bool isDirectory;
    std::string name;
    size_t end;  // offset just past the entry
};
std::vector<EntrySeen> ListEntries(const Bytes &payload);

// --- files.
std::string ArtefactPath(const std::string &name);  // next to the test program
Bytes ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const Bytes &bytes);
using driver::Exists;
using driver::IsDirectory;
std::string TempFilePath();  // where the run's temporary file goes
