// Fault cases: the real CorvaneSetup.exe meets a destination it cannot
// write, a full disk or a temporary directory it cannot use. Each run must
// end in the entry-failure message with a dialog that still works, leave no
// damaged file behind unreported, and complete on a second Install once the
// fault is gone. Then what another program can plant: DLLs beside the
// program, and items under the temporary file's name. None may be loaded
// or written, and the install completes.
// Usage: fault_cases CASE SETUP-EXE REFERENCE-TREE
// Drive Y: is the case's scratch folder (a small tmpfs for disk_full); the
// planted DLLs lie beside this program.
#include "setup_run.h"
#include "payload.h"

#include <algorithm>
#include <iostream>
#include <optional>

using namespace driver;
using setup_run::kWait;
using setup_run::SetupRun;

namespace {

// The payload's first two files; the faults are set on the second.
const char kFirstFile[] = "Addins\\QUENBRIK.DLL";
const char kSecondFile[] = "Addins\\QUENBRIK.HLP";
const std::string kTempFileName = TEMP_FILE_NAME;

void Prepare(SetupRun &run, const std::string &folder)
{
    run.Prepare(folder);
    CHECK(MakeDirectories(run.Installed("Addins")), "make " + run.Installed("Addins"));
}

// The failure box, and after it a dialog that is still there and answers,
// in the Failed state; nothing is registered and the temporary file is gone.
void CheckFailedRun(SetupRun &run, const MessageBoxInfo &box, const std::string &tempFile)
{
    CHECK_EQ(box.text, MSG_ENTRY_FAILED, "failure text");
    CHECK_EQ(box.title, SETUP_TITLE, "failure title");
    CHECK_EQ(box.icon, IconKind::Error, "failure icon");
    CHECK(box.owner == nullptr, "the failure box has no owner");
    CHECK(box.buttons == std::vector<int>{IDOK}, "the failure box has only OK");
    if (box.window) {
        PressButton(box.window, IDOK);
        WaitGone(box.window, kWait);
    }
    Settle();
    CHECK(run.process.Running() && IsWindowVisible(run.dialog), "the dialog stays open after the failure");
    DWORD_PTR answer = 0;
    CHECK(SendMessageTimeoutA(run.dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer) != 0,
          "the dialog answers after the failure");
    CHECK(!ControlVisible(run.dialog, IDC_FOLDER), "the folder box stays hidden");
    CHECK(ControlVisible(run.dialog, IDC_PROGRESS), "the progress bar stays shown");
    CHECK(ProgressPosition(run.dialog, IDC_PROGRESS) < ProgressMaximum(run.dialog, IDC_PROGRESS),
          "the progress bar stopped short of full");
    CHECK(!Exists(tempFile), "the temporary file is gone after the failure");
    CHECK(setup_run::RegisteredServerPath().empty(), "a failed run registers nothing");
    // The LZ library's fallback to the compressed form of a name must not
    // leave a file there.
    CHECK(!Exists(run.Installed("Addins\\QUENBRIK.HL_")), "no file under the compressed name");
}

// An Install that completes (the second, once a fault is gone): the finish
// box, the whole tree, and no temporary file left (tempFile, when given).
void CheckSecondInstall(SetupRun &run, const std::string &tempFile)
{
    MessageBoxInfo box = run.Install();
    CHECK_EQ(box.title, FINISH_TITLE, "the second Install ends in the finish box (text: " + box.text + ")");
    CHECK(box.owner == run.dialog, "the finish box is owned by the dialog");
    CHECK(ProgressPosition(run.dialog, IDC_PROGRESS) == ProgressMaximum(run.dialog, IDC_PROGRESS),
          "the progress bar is full at the finish box");
    if (box.window)
        PressButton(box.window, box.title == FINISH_TITLE ? IDNO : IDOK);
    run.ExpectExit("the second Install");
    run.ExpectInstalled("the second Install", tempFile);
}

void CheckFirstFileOnly(SetupRun &run)
{
    CHECK_EQ(ReadFileText(run.Installed(kFirstFile)), ReadFileText(run.Reference(kFirstFile)),
             "the first file is in place");
}

void ReadOnlyDestination(SetupRun &run)
{
    Prepare(run, "C:\\faults\\read_only");
    std::string target = run.Installed(kSecondFile);
    WriteFileText(target, "stale");
    CHECK(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY) != 0, "make the destination read-only");
    if (!run.Launch())
        return;
    MessageBoxInfo box = run.Install();
    if (box.text == MSG_ENTRY_FAILED) {
        // What Windows does: the create is refused and the file keeps its content.
        CheckFailedRun(run, box, TempFilePath());
        CheckFirstFileOnly(run);
        CHECK_EQ(ReadFileText(target), "stale", "the read-only file is untouched");
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        CheckSecondInstall(run, TempFilePath());
        return;
    }
    // Wine run as root writes through the read-only attribute, as the root
    // user may. Then the install must be whole and really written.
    std::cout << "read_only: the platform wrote the read-only destination; checking the result" << std::endl;
    CHECK_EQ(box.title, FINISH_TITLE,
             "the run ends in the finish box or the failure box (text: " + box.text + ")");
    if (box.window)
        PressButton(box.window, IDNO);
    run.ExpectExit("read_only");
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    run.ExpectInstalled("read_only", "");
}

void LockedDestination(SetupRun &run)
{
    Prepare(run, "C:\\faults\\locked");
    std::string target = run.Installed(kSecondFile);
    // Held by this process, sharing nothing, as an editor or a running
    // program might hold it.
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(held != INVALID_HANDLE_VALUE, "hold the destination open");
    DWORD count = 0;
    WriteFile(held, "stale", 5, &count, nullptr);
    if (!run.Launch()) {
        CloseHandle(held);
        return;
    }
    CheckFailedRun(run, run.Install(), TempFilePath());
    CheckFirstFileOnly(run);
    char content[16] = {};
    SetFilePointer(held, 0, nullptr, FILE_BEGIN);
    ReadFile(held, content, sizeof content - 1, &count, nullptr);
    CHECK_EQ(std::string(content), "stale", "the held file keeps its content");
    CloseHandle(held);
    CheckSecondInstall(run, TempFilePath());
}

const unsigned long long kPage = 4096;

unsigned long long WholePages(size_t bytes)
{
    return (bytes + kPage - 1) / kPage * kPage;
}

// Fills Y:, a small tmpfs, until room bytes (whole pages) are left.
bool FillDrive(const std::string &filler, unsigned long long room)
{
    ULARGE_INTEGER freeBytes = {};
    CHECK(GetDiskFreeSpaceExA("Y:\\", &freeBytes, nullptr, nullptr) != 0, "free space of Y:");
    std::cout << "filling Y: from " << freeBytes.QuadPart << " free bytes to " << room << std::endl;
    if (!CHECK(freeBytes.QuadPart > room, "the file system is large enough for the case"))
        return false;
    return CHECK(WriteFileText(filler, std::string(static_cast<size_t>(freeBytes.QuadPart - room), 'f')),
                 "write the filler");
}

// Room for the first file and two pages: the second file's expansion runs
// out of space part-way.
void DiskFull(SetupRun &run)
{
    Prepare(run, "Y:\\full");
    std::string second = ReadFileText(run.Reference(kSecondFile));
    CHECK(second.size() > 2 * kPage, "the second file is larger than the room left for it");
    std::string filler = "Y:\\filler";
    if (!FillDrive(filler, WholePages(ReadFileText(run.Reference(kFirstFile)).size()) + 2 * kPage) ||
        !run.Launch())
        return;
    CheckFailedRun(run, run.Install(), TempFilePath());
    CheckFirstFileOnly(run);
    // A destination cut short by the full disk does not stay under its name.
    CHECK(!Exists(run.Installed(kSecondFile)), "the half-written second file is removed");
    DeleteFileA(filler.c_str());
    CheckSecondInstall(run, TempFilePath());
}

// The disk full during an Install over a whole tree: the file that was to
// be replaced keeps its old content, and nothing of its new one is left.
void DiskFullAgain(SetupRun &run)
{
    Prepare(run, "Y:\\full_again");
    if (!run.Launch())
        return;
    CheckSecondInstall(run, TempFilePath());
    setup_run::RemoveComponentRegistration();
    std::string filler = "Y:\\filler";
    if (!FillDrive(filler, 2 * kPage) || !run.Launch())
        return;
    CheckFailedRun(run, run.Install(), TempFilePath());
    run.ExpectInstalled("the Install that ran out of space", TempFilePath());
    DeleteFileA(filler.c_str());
    CheckSecondInstall(run, TempFilePath());
}

// Runs the program with TEMP and TMP naming folder; the setup process takes
// its environment from this one at its start.
bool LaunchWithTemp(SetupRun &run, const std::string &folder)
{
    char savedTemp[MAX_PATH] = {}, savedTmp[MAX_PATH] = {};
    bool hadTemp = GetEnvironmentVariableA("TEMP", savedTemp, MAX_PATH) != 0;
    bool hadTmp = GetEnvironmentVariableA("TMP", savedTmp, MAX_PATH) != 0;
    SetEnvironmentVariableA("TEMP", folder.c_str());
    SetEnvironmentVariableA("TMP", folder.c_str());
    bool launched = run.Launch();
    SetEnvironmentVariableA("TEMP", hadTemp ? savedTemp : nullptr);
    SetEnvironmentVariableA("TMP", hadTmp ? savedTmp : nullptr);
    return launched;
}

// The temporary directory on a full disk: writing the first file's data
// comes up short (the payload's stored data shrinks from the first file to
// the second, so the fill point cannot be put later).
void TempDiskFull(SetupRun &run)
{
    Prepare(run, "C:\\faults\\disk_full_temp");
    std::string temp = "Y:\\temp";
    std::string tempFile = temp + "\\" + kTempFileName;
    CHECK(CreateDirectoryA(temp.c_str(), nullptr) != 0, "make the temporary directory");
    std::string filler = "Y:\\filler";
    if (!FillDrive(filler, 2 * kPage) || !LaunchWithTemp(run, temp))
        return;
    CheckFailedRun(run, run.Install(), tempFile);
    CHECK(IsDirectory(run.Installed("Addins")), "the first directory is made");
    CHECK(!Exists(run.Installed(kFirstFile)), "the file whose data did not fit is not written");
    DeleteFileA(filler.c_str());
    CheckSecondInstall(run, tempFile);
}

// A temporary directory that is missing, or a file where it should be: no
// file entry can start, the directories before them are made. Making the
// folder removes the fault for the running program, whose TEMP stays.
void UnusableTemp(SetupRun &run, const std::string &name, bool blockWithFile)
{
    Prepare(run, "C:\\faults\\" + name);
    std::string temp = run.work + "\\temp";
    if (blockWithFile)
        WriteFileText(temp, "not a folder");
    std::string tempFile = temp + "\\" + kTempFileName;
    if (!LaunchWithTemp(run, temp))
        return;
    CheckFailedRun(run, run.Install(), tempFile);
    CHECK(IsDirectory(run.Installed("Addins")), "the first directory is made");
    CHECK(!Exists(run.Installed(kFirstFile)), "no file is written");
    if (blockWithFile)
        CHECK_EQ(ReadFileText(temp), "not a folder", "the file in the way is untouched");
    DeleteFileA(temp.c_str());
    CHECK(CreateDirectoryA(temp.c_str(), nullptr) != 0, "make the temporary directory");
    CheckSecondInstall(run, tempFile);
}

void TempMissing(SetupRun &run)
{
    UnusableTemp(run, "temp_missing", false);
}
void TempNotFolder(SetupRun &run)
{
    UnusableTemp(run, "temp_not_folder", true);
}

// One of Wine's settings for the setup program, under its per-program
// key, for as long as the object lives: in DllOverrides, one DLL's load
// order ("native,builtin": the program's folder first, as Windows searches
// it; "": not loadable); beside them, the Windows version it is shown
// ("vista"). A WINEDLLOVERRIDES variable set here would not reach the
// started program.
class AppDefault {
public:
    AppDefault(const std::string &subkey, const std::string &name, const std::string &value)
        : key_(std::string(kKey) + subkey), name_(name)
    {
        SetText(key_, name.c_str(), value);
    }
    ~AppDefault() { RegDeleteKeyValueA(HKEY_CURRENT_USER, key_.c_str(), name_.c_str()); }
    AppDefault(const AppDefault &) = delete;
    AppDefault &operator=(const AppDefault &) = delete;

private:
    static constexpr const char *kKey = "Software\\Wine\\AppDefaults\\CorvaneSetup.exe";
    std::string key_, name_;
};

struct DllOverride : AppDefault {
    DllOverride(const std::string &dll, const std::string &order) : AppDefault("\\DllOverrides", dll, order)
    {
    }
};

// Copies program into folder as CorvaneSetup.exe, with the planted NAME.dll
// beside it and the genuine DLL it forwards to. Returns the planted DLL.
std::string PlantBeside(const std::string &program, const std::string &folder, const std::string &name)
{
    CHECK(MakeDirectories(folder), "make " + folder);
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    std::string planted = folder + "\\" + name + ".dll";
    CHECK(CopyFileA(program.c_str(), (folder + "\\CorvaneSetup.exe").c_str(), FALSE) != 0, "copy " + program);
    CHECK(CopyFileA((ProgramFolder() + "\\planted_" + name + ".dll").c_str(), planted.c_str(), FALSE) != 0,
          "plant " + planted);
    CHECK(CopyFileA((std::string(system) + "\\" + name + ".dll").c_str(),
                    (folder + "\\genuine_" + name + ".dll").c_str(), FALSE) != 0,
          "copy the genuine " + name);
    return planted;
}

// How the program meets a system whose DLL search it cannot restrict.
enum class Search {
    Restricted,   // SetDefaultDllDirectories, as Windows 8 and later have it
    CallMissing,  // Windows XP, and Vista and 7 without KB2533623
    Vista,        // Windows 6.0, where the program does not make the call
};

// Wine exports SetDefaultDllDirectories whatever Windows it shows, so the
// copy that stands for a system without it looks up another name: one
// byte of the name's text is changed, and the program's code is the
// shipped one. Vista is Wine's own setting for the program.
void MeetSearch(const std::string &exe, Search search)
{
    if (search == Search::CallMissing) {
        Bytes bytes = ReadFileBytes(exe);
        const std::string name("SetDefaultDllDirectories", sizeof "SetDefaultDllDirectories");
        auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
        CHECK(at != bytes.end() && std::search(at + 1, bytes.end(), name.begin(), name.end()) == bytes.end(),
              "the program names SetDefaultDllDirectories once");
        if (at != bytes.end())
            at[name.size() - 2] = '_';
        CHECK(WriteFileBytes(exe, bytes), "write " + exe);
    }
}

// Windows searches the program's folder first for every DLL that is not a
// KnownDLL; Wine does so for a DLL whose load order is "native,builtin".
// The setup program, started from a downloads folder holding a planted
// DLL, must not load it, and must install as usual: where it restricts the
// search, and where it cannot and loads the platform's DLLs from the system
// directory first. The control: a program that loads the DLL by name,
// planted the same way under the same name and override, must leave the
// marker; else the planting proves nothing.
void PlantedDll(SetupRun &run, const std::string &name, Search search = Search::Restricted)
{
    Prepare(run, "C:\\plant\\" + name);
    std::string planted = PlantBeside(run.setupExe, run.work + "\\downloads", name);
    std::string control =
        PlantBeside(ProgramFolder() + "\\unprotected_loader.exe", run.work + "\\control", name);
    run.setupExe = run.work + "\\downloads\\CorvaneSetup.exe";
    MeetSearch(run.setupExe, search);
    DllOverride override(name, "native,builtin");
    std::optional<AppDefault> version;
    if (search == Search::Vista)
        version.emplace("", "Version", "vista");
    if (run.Launch())
        CheckSecondInstall(run, TempFilePath());
    CHECK(!Exists(planted + ".loaded"), "the planted " + name + ".dll was not loaded");

    Process loader;
    std::string error;
    DWORD exitCode = 1;
    CHECK(loader.Start(run.work + "\\control\\CorvaneSetup.exe", name, &error) &&
              loader.Wait(kWait, &exitCode) && exitCode == 0,
          "the control loads " + name + ".dll " + error);
    CHECK(Exists(control + ".loaded"), "the control loaded the planted " + name + ".dll");
}

// The program imports no LZ32 (its LZ functions come from KERNEL32, a
// KnownDLL): this case guards against a return to importing LZ32.
void PlantLz32(SetupRun &run)
{
    PlantedDll(run, "lz32");
}
void PlantComctl32(SetupRun &run)
{
    PlantedDll(run, "comctl32");
}
// The theme library is loaded by name when the dialog is drawn.
void PlantUxtheme(SetupRun &run)
{
    PlantedDll(run, "uxtheme");
}
void PlantLz32CallMissing(SetupRun &run)
{
    PlantedDll(run, "lz32", Search::CallMissing);
}
void PlantComctl32CallMissing(SetupRun &run)
{
    PlantedDll(run, "comctl32", Search::CallMissing);
}
void PlantUxthemeCallMissing(SetupRun &run)
{
    PlantedDll(run, "uxtheme", Search::CallMissing);
}
void PlantUxthemeVista(SetupRun &run)
{
    PlantedDll(run, "uxtheme", Search::Vista);
}

// Without the common controls the dialog cannot be made: the user is told,
// and the program ends with 0 without a crash.
void NoCommonControls(SetupRun &run)
{
    Prepare(run, "C:\\faults\\no_common_controls");
    DllOverride override("comctl32", "");
    std::string error;
    if (!CHECK(run.process.Start(run.setupExe, "", &error), error))
        return;
    MessageBoxInfo box = run.NextBox();
    CHECK_EQ(box.text, MSG_COMMON_CONTROLS_MISSING, "the missing library is reported");
    CHECK_EQ(box.title, SETUP_TITLE, "title");
    CHECK_EQ(box.icon, IconKind::Error, "error icon");
    if (box.window)
        PressButton(box.window, IDOK);
    run.ExpectExit("without the common controls");
}

// The reference tree's files, relative to it, below relative.
std::vector<std::string> ReferenceFiles(const SetupRun &run, const std::string &relative = "")
{
    std::vector<std::string> files;
    for (const FolderItem &item : ListFolder(relative.empty() ? run.reference : run.Reference(relative))) {
        std::string path = relative.empty() ? item.name : relative + "\\" + item.name;
        std::vector<std::string> below =
            item.directory ? ReferenceFiles(run, path) : std::vector<std::string>{path};
        files.insert(files.end(), below.begin(), below.end());
    }
    return files;
}

// An install folder in which the payload's longest file path takes length
// characters, made of folders of at most 100 characters.
std::string LongFolder(SetupRun &run, const std::string &name, size_t length)
{
    run.Prepare("C:\\faults\\" + name);
    std::string longest;
    for (const std::string &file : ReferenceFiles(run))
        if (file.size() > longest.size())
            longest = file;
    std::string folder = run.work;
    for (size_t left = length - 1 - longest.size() - folder.size(); left > 0;) {
        size_t part = std::min<size_t>(left == 102 ? 100 : left, 101);
        folder += "\\" + std::string(part - 1, 'd');
        left -= part;
    }
    CHECK_EQ(folder.size() + 1 + longest.size(), length, "the longest path's length");
    run.devStudio = folder;
    CHECK(MakeDirectories(folder), "make " + folder);
    setup_run::SeedDevStudio(folder + "\\Bin");
    return longest;
}

// Paths of up to 259 characters install, on the first Install and again
// over the installed files, though their final paths are longer.
void LongestPathFits(SetupRun &run)
{
    LongFolder(run, "path_259", 259);
    for (int install = 0; install < 2; ++install)
        if (run.Launch())
            CheckSecondInstall(run, TempFilePath());
}

// A path of 260 characters cannot be written: the run stops with the
// failure box, the files before it are whole and none is left half-made.
void LongestPathTooLong(SetupRun &run)
{
    std::string longest = LongFolder(run, "path_260", 260);
    if (!run.Launch())
        return;
    MessageBoxInfo box = run.Install();
    CHECK_EQ(box.text, MSG_ENTRY_FAILED, "failure text");
    if (box.window) {
        PressButton(box.window, IDOK);
        WaitGone(box.window, kWait);
    }
    Settle();
    CHECK(run.process.Running() && IsWindowVisible(run.dialog), "the dialog stays open after the failure");
    CHECK(setup_run::RegisteredServerPath().empty(), "a failed run registers nothing");
    CHECK(!Exists(run.Installed(longest)), "the file whose path does not fit is not created");
    for (const std::string &file : ReferenceFiles(run))
        if (file.size() + 1 + run.devStudio.size() < 260)
            CHECK_EQ(ReadFileText(run.Installed(file)), ReadFileText(run.Reference(file)),
                     file + " is whole");
}

// The temporary file's name, in the temporary folder on Y:, planted by
// plant-links as a link to a file outside the prefix. The run neither
// writes through the link nor removes it, and installs as usual.
void TempLink(SetupRun &run, const std::string &name)
{
    Prepare(run, "C:\\faults\\" + name);
    std::string link = "Y:\\temp\\" + kTempFileName;
    std::string before = ReadFileText(link);
    CHECK(!before.empty(), "the planted link leads to a file");
    if (LaunchWithTemp(run, "Y:\\temp"))
        CheckSecondInstall(run, "");
    CHECK_EQ(ReadFileText(link), before, "the file behind the link is unchanged");
    for (const FolderItem &item : ListFolder("Y:\\temp"))
        CHECK_EQ(item.name, kTempFileName, "nothing else is left in the temporary folder");
}

void TempLinkReadOnly(SetupRun &run)
{
    TempLink(run, "temp_link_read_only");
}
void TempLinkWritable(SetupRun &run)
{
    TempLink(run, "temp_link_writable");
}

// The name taken by a folder that holds a file: both are left alone.
void TempTakenByFolder(SetupRun &run)
{
    Prepare(run, "C:\\faults\\temp_taken_by_folder");
    std::string temp = run.work + "\\temp";
    std::string taken = temp + "\\" + kTempFileName;
    CHECK(MakeDirectories(taken) && WriteFileText(taken + "\\kept.txt", "kept"), "plant the folder");
    if (LaunchWithTemp(run, temp))
        CheckSecondInstall(run, "");
    CHECK(IsDirectory(taken), "the folder is still there");
    CHECK_EQ(ReadFileText(taken + "\\kept.txt"), "kept", "the file in it is unchanged");
    CHECK_EQ(ListFolder(temp).size(), 1u, "nothing else is left in the temporary folder");
}

}  // namespace

int main(int argc, char **argv)
{
    // ctest runs each case as faults.<name>; CMake reads the names from this table
    // (wine_cases), one {"name", Function} a line.
    return setup_run::RunCases(argc, argv,
                               {
                                   {"read_only", ReadOnlyDestination},
                                   {"locked", LockedDestination},
                                   {"disk_full", DiskFull},
                                   {"disk_full_temp", TempDiskFull},
                                   {"disk_full_again", DiskFullAgain},
                                   {"temp_missing", TempMissing},
                                   {"temp_not_folder", TempNotFolder},
                                   {"no_common_controls", NoCommonControls},
                                   {"plant_lz32", PlantLz32},
                                   {"plant_comctl32", PlantComctl32},
                                   {"plant_uxtheme", PlantUxtheme},
                                   {"plant_lz32_call_missing", PlantLz32CallMissing},
                                   {"plant_comctl32_call_missing", PlantComctl32CallMissing},
                                   {"plant_uxtheme_call_missing", PlantUxthemeCallMissing},
                                   {"plant_uxtheme_vista", PlantUxthemeVista},
                                   {"temp_link_read_only", TempLinkReadOnly},
                                   {"temp_link_writable", TempLinkWritable},
                                   {"temp_taken_by_folder", TempTakenByFolder},
                                   {"path_259", LongestPathFits},
                                   {"path_260", LongestPathTooLong},
                               });
}
