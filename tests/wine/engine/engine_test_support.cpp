#include "engine_test_support.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "engine_test_ids.h"
#include "payload_format.h"

std::vector<ProgressSeen> g_progress;
void (*g_onProgress)(const ProgressSeen &seen) = nullptr;

static std::unique_ptr<driver::BoxRecorder> s_recorder;
static WNDPROC s_progressProc;

std::vector<driver::MessageBoxInfo> &Boxes()
{
    return s_recorder->boxes;
}

static LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_SETRANGE || message == PBM_SETPOS) {
        ProgressSeen seen{message, wParam, lParam};
        g_progress.push_back(seen);
        if (g_onProgress)
            g_onProgress(seen);
    }
    return CallWindowProcA(s_progressProc, window, message, wParam, lParam);
}

static INT_PTR CALLBACK TestDlgProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

HWND OpenTestDialog()
{
    InitCommonControls();
    HWND dialog =
        CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_ENGINE_TEST), NULL, TestDlgProc, 0);
    if (!dialog) {
        std::printf("cannot create the test dialog (error %lu)\n", GetLastError());
        std::exit(2);
    }
    HWND progress = GetDlgItem(dialog, IDC_PROGRESS);
    s_progressProc = (WNDPROC)SetWindowLongPtrA(progress, GWLP_WNDPROC, (LONG_PTR)ProgressProc);
    s_recorder = std::make_unique<driver::BoxRecorder>();
    return dialog;
}

void PrepareDialog(HWND dialog, const std::string &folderText)
{
    SetDlgItemTextA(dialog, IDC_FOLDER, folderText.c_str());
    ShowWindow(GetDlgItem(dialog, IDC_PROGRESS), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_FOLDER), SW_SHOW);
    SetForegroundWindow(dialog);
    SetFocus(GetDlgItem(dialog, IDC_PARK));
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    Boxes().clear();
    g_progress.clear();
    g_onProgress = nullptr;
}

bool IsShown(HWND dialog, int id)
{
    return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

void AddDirectory(Bytes &payload, const std::string &name)
{
    payload.insert(payload.end(), name.begin(), name.end());
    payload.push_back(0);
}

void AddFile(Bytes &payload, const std::string &name, const Bytes &data)
{
    AddDirectory(payload, name);
    unsigned long n = (unsigned long)data.size();
    for (int shift = 0; shift < 32; shift += 8)
        payload.push_back((unsigned char)(n >> shift));
    payload.insert(payload.end(), data.begin(), data.end());
}

void AddRaw(Bytes &payload, const Bytes &bytes)
{
    payload.insert(payload.end(), bytes.begin(), bytes.end());
}

HMODULE MakePayloadModule(const Bytes &bytes, bool withPayload, std::string *copy)
{
    static int count = 0;
    // On the scratch drive: some cases point the temporary directory at
    // places that cannot take more files.
    std::string path = "X:\\payload-" + std::to_string(++count) + ".dll";
    if (copy)
        *copy = path;
    if (!CHECK(CopyFileA(ArtefactPath("engine_empty_payload.dll").c_str(), path.c_str(), FALSE),
               "make " + path))
        return NULL;
    HANDLE update = BeginUpdateResourceA(path.c_str(), TRUE);
    BOOL ok = update && (!withPayload || UpdateResourceA(update, PAYLOAD_RESOURCE_TYPE, PAYLOAD_RESOURCE_NAME,
                                                         MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                                         (void *)bytes.data(), (DWORD)bytes.size()));
    if (!CHECK(ok && EndUpdateResourceA(update, FALSE), "put the payload into " + path))
        return NULL;
    HMODULE module = LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    CHECK(module != NULL, "load " + path + " as data");
    return module;
}

std::vector<EntrySeen> ListEntries(const Bytes &payload)
{
    std::vector<EntrySeen> entries;
    size_t at = 0;
    while (at < payload.size()) {
        EntrySeen entry;
        size_t zero = at;
        while (zero < payload.size() && payload[zero] != 0)
            ++zero;
        if (zero == payload.size() || zero == at)
            break;
        entry.name.assign(payload.begin() + at, payload.begin() + zero);
        entry.isDirectory = entry.name.back() == '\\';
        at = zero + 1;
        if (!entry.isDirectory) {
            if (payload.size() - at < 4)
                break;
            size_t n = payload[at] | (payload[at + 1] << 8) | (payload[at + 2] << 16) |
                       ((size_t)payload[at + 3] << 24);
            at += 4;
            entry.data = at;
            if (payload.size() - at < n)
                break;
            at += n;
        }
        entry.end = at;
        entries.push_back(entry);
    }
    return entries;
}

// Where each entry of a payload lands under root (a path ending in '\').
std::vector<std::string> Destinations(const std::vector<EntrySeen> &entries, const std::string &root)
{
    std::vector<std::string> paths;
    std::string directory = root;
    for (const EntrySeen &entry : entries) {
        if (entry.isDirectory) {
            directory = root + entry.name;
            paths.push_back(directory.substr(0, directory.size() - 1));
        } else {
            paths.push_back(directory + entry.name);
        }
    }
    return paths;
}

std::string ArtefactPath(const std::string &name)
{
    return driver::ProgramFolder() + "\\" + name;
}
