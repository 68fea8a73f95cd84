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
#include "driver.h"
#include "e2e_support.h"
#include "setup.h"

#include <iostream>
#include <map>

using namespace e2e;

namespace {

const char kFinishTitle[] = "Finished extracting files!";
const char kFailedText[] = "Failed to create temporary file  ";
const char kRegisterFailedPrefix[] = "Failed to register the Corvane Torvik Add-in.";
const DWORD kWait = 15000;
// The payload's first two files; the faults are set on the second.
const char kFirstFile[] = "Addins\\QUENBRIK.DLL";
const char kSecondFile[] = "Addins\\QUENBRIK.HLP";

struct Bench {
    std::string setupExe, reference;
    std::string work;        // the case's folder
    std::string devStudio;   // the suggested install folder, without its backslash
    driver::Process process;
    HWND dialog = nullptr;

    std::string Installed(const std::string &relative) const { return devStudio + "\\" + relative; }
    std::string Reference(const std::string &relative) const { return reference + "\\" + relative; }

    void Prepare(const std::string &folder)
    {
        work = folder;
        devStudio = work + "\\MSDev98";
        RemoveTree(work);
        Check(MakeDirectories(devStudio + "\\Addins"), "make " + devStudio + "\\Addins");
        DeleteFileA(TempFilePath().c_str());
        RemoveComponentRegistration();
        SeedDevStudio(devStudio + "\\Bin");
    }

    bool Launch()
    {
        std::string error;
        if (!process.Start(setupExe, "", &error)) {
            Check(false, error);
            return false;
        }
        DWORD start = GetTickCount();
        while (GetTickCount() - start < kWait) {
            for (HWND w : driver::TopWindows(process.Id(), SETUP_TITLE, "#32770"))
                if (!driver::IsMessageBox(w)) {
                    dialog = w;
                    return true;
                }
            Sleep(50);
        }
        Check(false, "the setup dialog did not appear");
        return false;
    }

    driver::MessageBoxInfo NextBox()
    {
        HWND box = driver::WaitMessageBox(process.Id(), nullptr, kWait);
        Check(box != nullptr, "a message box appeared");
        return box ? driver::ReadMessageBox(box) : driver::MessageBoxInfo{};
    }

    // Install, then the box it ends in (a registration failure is reported
    // and passed over: it must not happen with a sound component).
    driver::MessageBoxInfo Install()
    {
        driver::PressButton(dialog, IDOK);
        driver::MessageBoxInfo box = NextBox();
        if (box.text.rfind(kRegisterFailedPrefix, 0) == 0) {
            Check(false, "registration failed: " + box.text);
            driver::PressButton(box.window, IDOK);
            box = NextBox();
        }
        return box;
    }
};

bool IsFailureBox(const driver::MessageBoxInfo &box) { return box.text == kFailedText; }

// The failure box, and after it a dialog that is still there and answers,
// in the Failed state; nothing is registered and the temporary file is gone.
void CheckFailedRun(Bench &bench, const driver::MessageBoxInfo &box, const std::string &tempFile)
{
    CheckEqual(box.text, kFailedText, "failure text");
    CheckEqual(box.title, SETUP_TITLE, "failure title");
    Check(box.icon == driver::IconKind::Error, std::string("failure icon, got ") + driver::IconKindName(box.icon));
    Check(box.owner == nullptr, "the failure box has no owner");
    Check(box.buttons == std::vector<int>{IDOK}, "the failure box has only OK");
    if (box.window) {
        driver::PressButton(box.window, IDOK);
        driver::WaitGone(box.window, kWait);
    }
    driver::Settle();
    Check(bench.process.Running() && IsWindowVisible(bench.dialog), "the dialog stays open after the failure");
    DWORD_PTR answer = 0;
    Check(SendMessageTimeoutA(bench.dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer) != 0,
          "the dialog answers after the failure");
    Check(!driver::ControlVisible(bench.dialog, IDC_FOLDER), "the folder box stays hidden");
    Check(driver::ControlVisible(bench.dialog, IDC_PROGRESS), "the progress bar stays shown");
    Check(driver::ProgressPosition(bench.dialog, IDC_PROGRESS) < driver::ProgressMaximum(bench.dialog, IDC_PROGRESS),
          "the progress bar stopped short of full");
    Check(!Exists(tempFile), "the temporary file is gone after the failure");
    Check(RegisteredServerPath().empty(), "a failed run registers nothing");
    // The LZ library's fallback to the compressed form of a name must not
    // leave a file there.
    Check(!Exists(bench.Installed("Addins\\QUENBRIK.HL_")), "no file under the compressed name");
}

// An Install that completes (the second, once a fault is gone): the finish
// box, the whole tree, and no temporary file left (tempFile, when given).
void CheckSecondInstall(Bench &bench, const std::string &tempFile)
{
    driver::MessageBoxInfo box = bench.Install();
    CheckEqual(box.title, kFinishTitle, "the second Install ends in the finish box (text: " + box.text + ")");
    Check(box.owner == bench.dialog, "the finish box is owned by the dialog");
    Check(driver::ProgressPosition(bench.dialog, IDC_PROGRESS) == driver::ProgressMaximum(bench.dialog, IDC_PROGRESS),
          "the progress bar is full at the finish box");
    if (box.window)
        driver::PressButton(box.window, box.title == kFinishTitle ? IDNO : IDOK);
    DWORD code = 1234;
    bool ended = bench.process.Wait(kWait, &code);
    Check(ended && code == 0, "the program ends with 0 after the second Install, got " + std::to_string(code));
    std::string difference;
    Check(SameTree(bench.devStudio, bench.reference, &difference), "installed tree: " + difference);
    Check(tempFile.empty() || !Exists(tempFile), "the temporary file is gone");
}

// The first file is in place; the second is either absent or its old content.
void CheckFirstFileOnly(Bench &bench)
{
    CheckEqual(ReadFileText(bench.Installed(kFirstFile)), ReadFileText(bench.Reference(kFirstFile)),
               "the first file is in place");
}

void ReadOnlyDestination(Bench &bench)
{
    bench.Prepare("C:\\faults\\read_only");
    std::string target = bench.Installed(kSecondFile);
    WriteFileText(target, "stale");
    Check(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY) != 0, "make the destination read-only");
    if (!bench.Launch())
        return;
    driver::MessageBoxInfo box = bench.Install();
    if (IsFailureBox(box)) {
        // What Windows does: the create is refused and the file keeps its content.
        CheckFailedRun(bench, box, TempFilePath());
        CheckFirstFileOnly(bench);
        CheckEqual(ReadFileText(target), "stale", "the read-only file is untouched");
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        CheckSecondInstall(bench, TempFilePath());
        return;
    }
    // Wine run as root writes through the read-only attribute, as the root
    // user may. Then the install must be whole and really written.
    std::cout << "read_only: the platform wrote the read-only destination; checking the result" << std::endl;
    CheckEqual(box.title, kFinishTitle, "the run ends in the finish box or the failure box (text: " + box.text + ")");
    if (box.window)
        driver::PressButton(box.window, IDNO);
    DWORD code = 1234;
    Check(bench.process.Wait(kWait, &code) && code == 0, "the program ends with 0");
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::string difference;
    Check(SameTree(bench.devStudio, bench.reference, &difference), "installed tree: " + difference);
}

void LockedDestination(Bench &bench)
{
    bench.Prepare("C:\\faults\\locked");
    std::string target = bench.Installed(kSecondFile);
    // Held by this process, sharing nothing, as an editor or a running
    // program might hold it.
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    Check(held != INVALID_HANDLE_VALUE, "hold the destination open");
    DWORD count = 0;
    WriteFile(held, "stale", 5, &count, nullptr);
    if (!bench.Launch()) {
        CloseHandle(held);
        return;
    }
    driver::MessageBoxInfo box = bench.Install();
    CheckFailedRun(bench, box, TempFilePath());
    CheckFirstFileOnly(bench);
    char content[16] = {};
    SetFilePointer(held, 0, nullptr, FILE_BEGIN);
    ReadFile(held, content, sizeof content - 1, &count, nullptr);
    CheckEqual(content, "stale", "the held file keeps its content");
    CloseHandle(held);
    CheckSecondInstall(bench, TempFilePath());
}

const unsigned long long kPage = 4096;

unsigned long long WholePages(size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

// Fills Y:, a small tmpfs, until room bytes (whole pages) are left.
bool FillDrive(const std::string &filler, unsigned long long room)
{
    ULARGE_INTEGER freeBytes = {};
    Check(GetDiskFreeSpaceExA("Y:\\", &freeBytes, nullptr, nullptr) != 0, "free space of Y:");
    std::cout << "filling Y: from " << freeBytes.QuadPart << " free bytes to " << room << std::endl;
    if (freeBytes.QuadPart <= room) {
        Check(false, "the file system is too small for the case");
        return false;
    }
    bool written = WriteFileText(filler, std::string(static_cast<size_t>(freeBytes.QuadPart - room), 'f'));
    Check(written, "write the filler");
    return written;
}

// Room for the first file and two pages: the second file's expansion runs
// out of space part-way.
void DiskFull(Bench &bench)
{
    bench.Prepare("Y:\\full");
    std::string second = ReadFileText(bench.Reference(kSecondFile));
    Check(second.size() > 2 * kPage, "the second file is larger than the room left for it");
    std::string filler = "Y:\\filler";
    if (!FillDrive(filler, WholePages(ReadFileText(bench.Reference(kFirstFile)).size()) + 2 * kPage))
        return;
    if (!bench.Launch())
        return;
    driver::MessageBoxInfo box = bench.Install();
    CheckFailedRun(bench, box, TempFilePath());
    CheckFirstFileOnly(bench);
    // A destination cut short by the full disk does not stay under its name.
    Check(!Exists(bench.Installed(kSecondFile)), "the half-written second file is removed");
    DeleteFileA(filler.c_str());
    CheckSecondInstall(bench, TempFilePath());
}

// Runs the program with TEMP and TMP naming folder; the setup process takes
// its environment from this one at its start.
bool LaunchWithTemp(Bench &bench, const std::string &folder)
{
    char savedTemp[MAX_PATH] = {}, savedTmp[MAX_PATH] = {};
    bool hadTemp = GetEnvironmentVariableA("TEMP", savedTemp, MAX_PATH) != 0;
    bool hadTmp = GetEnvironmentVariableA("TMP", savedTmp, MAX_PATH) != 0;
    SetEnvironmentVariableA("TEMP", folder.c_str());
    SetEnvironmentVariableA("TMP", folder.c_str());
    bool launched = bench.Launch();
    SetEnvironmentVariableA("TEMP", hadTemp ? savedTemp : nullptr);
    SetEnvironmentVariableA("TMP", hadTmp ? savedTmp : nullptr);
    return launched;
}

// The temporary directory on a full disk: writing the first file's data
// comes up short (the payload's stored data shrinks from the first file to
// the second, so the fill point cannot be put later).
void TempDiskFull(Bench &bench)
{
    bench.Prepare("C:\\faults\\disk_full_temp");
    std::string temp = "Y:\\temp";
    std::string tempFile = temp + "\\xpktemp.$$$";
    Check(CreateDirectoryA(temp.c_str(), nullptr) != 0, "make the temporary directory");
    std::string filler = "Y:\\filler";
    if (!FillDrive(filler, 2 * kPage))
        return;
    if (!LaunchWithTemp(bench, temp))
        return;
    driver::MessageBoxInfo box = bench.Install();
    CheckFailedRun(bench, box, tempFile);
    Check(IsDirectory(bench.Installed("Addins")), "the first directory is made");
    Check(!Exists(bench.Installed(kFirstFile)), "the file whose data did not fit is not written");
    DeleteFileA(filler.c_str());
    CheckSecondInstall(bench, tempFile);
}

// A temporary directory that is missing, or a file where it should be: no
// file entry can start, the directories before them are made. Making the
// folder removes the fault for the running program, whose TEMP stays.
void UnusableTemp(Bench &bench, const std::string &name, bool blockWithFile)
{
    bench.Prepare("C:\\faults\\" + name);
    std::string temp = bench.work + "\\temp";
    if (blockWithFile)
        WriteFileText(temp, "not a folder");
    std::string tempFile = temp + "\\xpktemp.$$$";
    if (!LaunchWithTemp(bench, temp))
        return;
    driver::MessageBoxInfo box = bench.Install();
    CheckFailedRun(bench, box, tempFile);
    Check(IsDirectory(bench.Installed("Addins")), "the first directory is made");
    Check(!Exists(bench.Installed(kFirstFile)), "no file is written");
    if (blockWithFile)
        CheckEqual(ReadFileText(temp), "not a folder", "the file in the way is untouched");
    DeleteFileA(temp.c_str());
    Check(CreateDirectoryA(temp.c_str(), nullptr) != 0, "make the temporary directory");
    CheckSecondInstall(bench, tempFile);
}

void TempMissing(Bench &bench) { UnusableTemp(bench, "temp_missing", false); }
void TempNotFolder(Bench &bench) { UnusableTemp(bench, "temp_not_folder", true); }

// Wine's load order for one DLL of the setup program, as its per-program
// registry key gives it ("native,builtin": the program's folder first, as
// Windows searches it; "": not loadable), for as long as the object lives.
// A WINEDLLOVERRIDES variable set here would not reach the started program.
class DllOverride {
public:
    DllOverride(const std::string &dll, const std::string &order) : dll_(dll)
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) == 0) {
            Check(RegSetValueExA(key, dll.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(order.c_str()),
                                 static_cast<DWORD>(order.size() + 1)) == 0,
                  "set the load order of " + dll);
            RegCloseKey(key);
        } else {
            Check(false, "open " + std::string(kKey));
        }
    }
    ~DllOverride() { RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, dll_.c_str()); }
    DllOverride(const DllOverride &) = delete;
    DllOverride &operator=(const DllOverride &) = delete;

private:
    static constexpr const char *kKey = "Software\\Wine\\AppDefaults\\CorvaneSetup.exe\\DllOverrides";
    std::string dll_;
};

// Windows searches the program's folder first for every DLL that is not a
// KnownDLL; Wine does so for a DLL whose load order is "native,builtin".
// The setup program, started from a downloads folder holding a planted
// DLL, must not load it, and must install as usual.
void PlantedDll(Bench &bench, const std::string &name)
{
    bench.Prepare("C:\\plant\\" + name);
    std::string downloads = bench.work + "\\downloads";
    Check(MakeDirectories(downloads), "make " + downloads);
    char self[MAX_PATH] = {}, system[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    std::string here(self, std::string(self).rfind('\\'));
    std::string planted = downloads + "\\" + name + ".dll";
    Check(CopyFileA(bench.setupExe.c_str(), (downloads + "\\CorvaneSetup.exe").c_str(), FALSE) != 0,
          "copy the setup program");
    Check(CopyFileA((here + "\\planted_" + name + ".dll").c_str(), planted.c_str(), FALSE) != 0,
          "plant " + planted);
    Check(CopyFileA((std::string(system) + "\\" + name + ".dll").c_str(),
                    (downloads + "\\genuine_" + name + ".dll").c_str(), FALSE) != 0,
          "copy the genuine " + name);
    bench.setupExe = downloads + "\\CorvaneSetup.exe";
    DllOverride override(name, "native,builtin");
    if (bench.Launch())
        CheckSecondInstall(bench, TempFilePath());
    Check(!Exists(planted + ".loaded"), "the planted " + name + ".dll was not loaded");
}

void PlantLz32(Bench &bench) { PlantedDll(bench, "lz32"); }
void PlantComctl32(Bench &bench) { PlantedDll(bench, "comctl32"); }
void PlantUxtheme(Bench &bench) { PlantedDll(bench, "uxtheme"); }

// Without the common controls the dialog cannot be made: the user is told,
// and the program ends with 0 without a crash.
void NoCommonControls(Bench &bench)
{
    bench.Prepare("C:\\faults\\no_common_controls");
    DllOverride override("comctl32", "");
    std::string error;
    bool started = bench.process.Start(bench.setupExe, "", &error);
    Check(started, error);
    if (!started)
        return;
    driver::MessageBoxInfo box = bench.NextBox();
    CheckEqual(box.text, MSG_COMMON_CONTROLS_MISSING, "the missing library is reported");
    CheckEqual(box.title, SETUP_TITLE, "title");
    Check(box.icon == driver::IconKind::Error, "error icon");
    if (box.window)
        driver::PressButton(box.window, IDOK);
    DWORD code = 1234;
    Check(bench.process.Wait(kWait, &code) && code == 0, "the program ends with 0, got " + std::to_string(code));
}

// The temporary file's name, in the temporary folder on Y:, planted by
// run-fault-test as a link to a file outside the prefix. The run neither
// writes through the link nor removes it, and installs as usual.
void TempLink(Bench &bench, const std::string &name)
{
    bench.Prepare("C:\\faults\\" + name);
    std::string link = "Y:\\temp\\xpktemp.$$$";
    std::string before = ReadFileText(link);
    Check(!before.empty(), "the planted link leads to a file");
    if (LaunchWithTemp(bench, "Y:\\temp"))
        CheckSecondInstall(bench, "");
    CheckEqual(ReadFileText(link), before, "the file behind the link is unchanged");
    for (const driver::FolderItem &item : driver::ListFolder("Y:\\temp"))
        CheckEqual(item.name, "xpktemp.$$$", "nothing else is left in the temporary folder");
}

void TempLinkReadOnly(Bench &bench) { TempLink(bench, "temp_link_read_only"); }
void TempLinkWritable(Bench &bench) { TempLink(bench, "temp_link_writable"); }

// The name taken by a folder that holds a file: both are left alone.
void TempTakenByFolder(Bench &bench)
{
    bench.Prepare("C:\\faults\\temp_taken_by_folder");
    std::string temp = bench.work + "\\temp";
    std::string taken = temp + "\\xpktemp.$$$";
    Check(MakeDirectories(taken) && WriteFileText(taken + "\\kept.txt", "kept"), "plant the folder");
    if (LaunchWithTemp(bench, temp))
        CheckSecondInstall(bench, "");
    Check(IsDirectory(taken), "the folder is still there");
    CheckEqual(ReadFileText(taken + "\\kept.txt"), "kept", "the file in it is unchanged");
    CheckEqual(std::to_string(driver::ListFolder(temp).size()), "1", "nothing else is left in the temporary folder");
}

}  // namespace

int main(int argc, char **argv)
{
    const std::map<std::string, void (*)(Bench &)> cases = {
        {"read_only", ReadOnlyDestination},
        {"locked", LockedDestination},
        {"disk_full", DiskFull},
        {"disk_full_temp", TempDiskFull},
        {"temp_missing", TempMissing},
        {"temp_not_folder", TempNotFolder},
        {"no_common_controls", NoCommonControls},
        {"plant_lz32", PlantLz32},
        {"plant_comctl32", PlantComctl32},
        {"plant_uxtheme", PlantUxtheme},
        {"temp_link_read_only", TempLinkReadOnly},
        {"temp_link_writable", TempLinkWritable},
        {"temp_taken_by_folder", TempTakenByFolder},
    };
    auto found = argc == 4 ? cases.find(argv[1]) : cases.end();
    if (found == cases.end()) {
        std::cerr << "usage: fault_cases CASE SETUP-EXE REFERENCE-TREE\ncases:";
        for (const auto &c : cases)
            std::cerr << " " << c.first;
        std::cerr << std::endl;
        return 2;
    }
    Bench bench;
    bench.setupExe = WindowsPath(argv[2]);
    bench.reference = WindowsPath(argv[3]);
    found->second(bench);
    bench.process.Kill();
    RemoveDevStudio();
    RemoveComponentRegistration();
    if (Failures() == 0)
        RemoveTree(bench.work);
    std::cout << argv[1] << ": " << (Failures() ? "FAILED" : "passed") << std::endl;
    return Failures() ? 1 : 0;
}
