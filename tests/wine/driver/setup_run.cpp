#include "setup_run.h"

#include <vector>

namespace setup_run {

using namespace driver;

namespace {

const char kHandlerProgId[] = "CorvaneTest.readme";
std::string g_savedHtmClass;
bool g_handlerRegistered = false;

BOOL CALLBACK FirstLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR context)
{
    *reinterpret_cast<WORD *>(context) = language;
    return FALSE;
}

}  // namespace

void SeedDevStudio(const std::string &installDirs)
{
    RemoveDevStudio();
    SetText(kDevStudioKey + "\\6.0\\" DEVSTUDIO_DIRECTORIES_KEY, DEVSTUDIO_INSTALL_DIRS, installDirs);
}

void RemoveDevStudio()
{
    DeleteTree(kDevStudioKey);
}

void RemoveComponentRegistration()
{
    for (const std::string &key : {kClsidKey, kProgIdKey, kVersionlessKey})
        DeleteTree(key);
}

std::string RegisteredServerPath()
{
    return ReadStringValue(kClsidKey + "\\InprocServer32", nullptr);
}

bool RegisterReadmeHandler(const std::string &recorder, const std::string &recordFile)
{
    if (!g_handlerRegistered) {
        g_savedHtmClass = ReadStringValue(".htm", nullptr, HKEY_CLASSES_ROOT);
        g_handlerRegistered = true;
    }
    // Wine's shell looks up associations in HKEY_CLASSES_ROOT only.
    std::string command = "\"" + recorder + "\" \"" + recordFile + "\" \"%1\"";
    return SetText(".htm", nullptr, kHandlerProgId, HKEY_CLASSES_ROOT) &&
           SetText(std::string(kHandlerProgId) + "\\shell\\open\\command", nullptr, command,
                   HKEY_CLASSES_ROOT);
}

void RestoreReadmeHandler()
{
    if (!g_handlerRegistered)
        return;
    DeleteTree(kHandlerProgId, HKEY_CLASSES_ROOT);
    if (g_savedHtmClass.empty())
        RegDeleteKeyValueA(HKEY_CLASSES_ROOT, ".htm", nullptr);
    else
        SetText(".htm", nullptr, g_savedHtmClass, HKEY_CLASSES_ROOT);
    g_handlerRegistered = false;
}

std::string WaitRecord(const std::string &recordFile, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::string text = ReadFileText(recordFile);
        if ((!text.empty() && text.back() == '\n') || GetTickCount() - start >= timeoutMs)
            return text;
        Sleep(100);
    }
}

bool ReplaceFinishText(const std::string &exe, const std::string &text, std::string *error)
{
    const WORD block = IDS_FINISHED / 16 + 1;
    const int index = IDS_FINISHED % 16;
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        *error = "cannot load " + exe + " as data";
        return false;
    }
    WORD language = 0xFFFF;
    EnumResourceLanguagesA(module, RT_STRING, MAKEINTRESOURCEA(block), FirstLanguage,
                           reinterpret_cast<LONG_PTR>(&language));
    HRSRC found = FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(block), language);
    std::vector<std::wstring> strings(16);
    if (found) {
        auto *p = static_cast<const WCHAR *>(LockResource(LoadResource(module, found)));
        for (auto &s : strings) {
            WORD length = *p++;
            s.assign(p, p + length);
            p += length;
        }
    }
    FreeLibrary(module);
    if (!found) {
        *error = "no string block " + std::to_string(block) + " in " + exe;
        return false;
    }
    int wide = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    strings[index].assign(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &strings[index][0], wide);
    std::vector<WCHAR> data;
    for (const auto &s : strings) {
        data.push_back(static_cast<WCHAR>(s.size()));
        data.insert(data.end(), s.begin(), s.end());
    }
    HANDLE update = BeginUpdateResourceA(exe.c_str(), FALSE);
    if (!update ||
        !UpdateResourceA(update, RT_STRING, MAKEINTRESOURCEA(block), language, data.data(),
                         static_cast<DWORD>(data.size() * sizeof(WCHAR))) ||
        !EndUpdateResourceA(update, FALSE)) {
        *error = "cannot update the strings of " + exe;
        return false;
    }
    return true;
}

void SetupRun::Prepare(const std::string &folder, bool withDevStudio)
{
    work = folder;
    devStudio = work + "\\MSDev98";
    record = work + "\\opened.txt";
    RemoveTree(work);
    CHECK(MakeDirectories(devStudio), "make " + devStudio);
    DeleteFileA(TempFilePath().c_str());
    RemoveComponentRegistration();
    if (!recorder.empty())
        CHECK(RegisterReadmeHandler(recorder, record), "register the .htm handler");
    if (withDevStudio)
        SeedDevStudio(devStudio + "\\Bin");
    else
        RemoveDevStudio();
}

bool SetupRun::Launch(const std::string &exe, const std::string &arguments)
{
    std::string error;
    if (!CHECK(process.Start(exe.empty() ? setupExe : exe, arguments, &error), error))
        return false;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kWait) {
        for (HWND w : TopWindows(process.Id(), SETUP_TITLE, "#32770"))
            if (!IsMessageBox(w)) {
                dialog = w;
                return true;
            }
        Sleep(50);
    }
    return CHECK(false, "the setup dialog appears");
}

MessageBoxInfo SetupRun::NextBox(const char *title)
{
    HWND box = WaitMessageBox(process.Id(), title, kWait);
    CHECK(box != nullptr, std::string("a message box ") + (title ? title : "") + " appears");
    return box ? ReadMessageBox(box) : MessageBoxInfo{};
}

MessageBoxInfo SetupRun::Install()
{
    PressButton(dialog, IDOK);
    MessageBoxInfo box = NextBox();
    if (box.text == REGISTER_FAILED_TEXT) {
        CHECK(false, "registration failed: " + box.text);
        PressButton(box.window, IDOK);
        box = NextBox(FINISH_TITLE);
    }
    return box;
}

void SetupRun::ExpectExit(const std::string &what)
{
    DWORD code = 1234;
    bool ended = process.Wait(kWait, &code);
    CHECK(ended, what + ": the process ends");
    CHECK(!ended || code == 0, what + ": exit code 0, got " + std::to_string(code));
}

void SetupRun::ExpectInstalled(const std::string &what, const std::string &tempFile)
{
    std::string difference;
    CHECK(SameTree(devStudio, reference, &difference), what + ": installed tree: " + difference);
    CHECK(tempFile.empty() || !Exists(tempFile), what + ": the temporary file is gone");
}

int RunCases(int argc, char **argv, const std::map<std::string, void (*)(SetupRun &)> &cases)
{
    auto found = check::FindCase(argc, argv, cases, "CASE SETUP-EXE REFERENCE-TREE [RECORDER-EXE]", 2, 1);
    if (!found)
        return 2;
    SetupRun run;
    run.setupExe = WindowsPath(argv[2]);
    run.reference = WindowsPath(argv[3]);
    if (argc == 5)
        run.recorder = WindowsPath(argv[4]);
    (*found)(run);
    run.process.Kill();
    RemoveDevStudio();
    RemoveComponentRegistration();
    RestoreReadmeHandler();
    if (check::Failures() == 0)
        RemoveTree(run.work);
    return check::Finish();
}

FolderWindow::FolderWindow()
{
    window_ = CreateWindowExA(0, "STATIC", "host test", WS_OVERLAPPED, 0, 0, 200, 100, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    CHECK(window_ != nullptr);
    CHECK(CreateWindowExA(0, "EDIT", "", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 200, 20, window_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_FOLDER)),
                          GetModuleHandleA(nullptr), nullptr) != nullptr);
}

void FolderWindow::SetFolder(const std::string &text)
{
    CHECK(SetDlgItemTextA(window_, IDC_FOLDER, text.c_str()) != 0);
}

}  // namespace setup_run
