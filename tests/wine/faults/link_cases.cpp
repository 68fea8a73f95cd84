// Links below the install folder. The setup program runs for an
// administrator, but the folder it suggests comes from the user's registry,
// so any program of the user may have planted links in it beforehand, or
// may swap the component while the install runs. plant-links makes
// Y:\Setup with a plain Addins folder, a victim folder Y:\Victim and a
// victim file Y:\victim.txt, and plants the case's Unix link (which Wine
// shows as a link) in Y:\Setup; that is the suggested folder here.
// A planted item stops the run with a message naming it, and nothing is
// written through it; a swapped component is never loaded; a plain tree,
// and an install folder that is itself a link, install as usual.
// Usage: link_cases CASE SETUP-EXE REFERENCE-TREE
#include "setup_run.h"

#include <iostream>

using namespace driver;
using setup_run::kWait;
using setup_run::SetupRun;

namespace {

const std::string kSetup = "Y:\\Setup";
const std::string kVictimFolder = "Y:\\Victim";
const std::string kVictimFile = "Y:\\victim.txt";

bool Launch(SetupRun &run, const std::string &name)
{
    run.Prepare("C:\\links\\" + name);
    run.devStudio = kSetup;
    setup_run::SeedDevStudio(kSetup + "\\Bin");
    return run.Launch();
}

void Close(const MessageBoxInfo &box)
{
    if (box.window) {
        PressButton(box.window, box.title == FINISH_TITLE ? IDNO : IDOK);
        WaitGone(box.window, kWait);
    }
}

// Install stops at item (a folder when it ends in a backslash) with the
// error box naming it; the dialog stays open and nothing is registered.
void ExpectRefused(SetupRun &run, const std::string &relative)
{
    std::string item = kSetup + "\\" + relative;
    const char *reason = item.back() == '\\' ? MSG_NOT_PLAIN_FOLDER : MSG_NOT_PLAIN_FILE;
    MessageBoxInfo box = run.Install();
    CHECK_EQ(box.text, item + reason + MSG_NOTHING_WRITTEN, "the run stops at " + item);
    CHECK_EQ(box.title, SETUP_TITLE, "refusal title");
    CHECK_EQ(box.icon, IconKind::Error, "refusal icon");
    CHECK(box.owner == nullptr, "the refusal box has no owner");
    Close(box);
    Settle();
    CHECK(run.process.Running() && IsWindowVisible(run.dialog), "the dialog stays open");
    CHECK(setup_run::RegisteredServerPath().empty(), "nothing is registered");
}

// Install completes, the tree is the reference and the component is the
// one registered.
void ExpectInstalls(SetupRun &run)
{
    MessageBoxInfo box = run.Install();
    CHECK_EQ(box.title, FINISH_TITLE, "the run ends in the finish box (text: " + box.text + ")");
    Close(box);
    run.ExpectExit("the install");
    run.ExpectInstalled("the install");
    CHECK(SameTextIgnoringCase(setup_run::RegisteredServerPath(), run.Component()),
          "the component is registered from the install folder");
}

void ExpectFolderKept(const std::string &folder)
{
    std::vector<FolderItem> items = ListFolder(folder);
    CHECK(items.size() == 1 && items[0].name == "kept.txt", "nothing is written into " + folder);
    CHECK_EQ(ReadFileText(folder + "\\kept.txt"), "kept\n", "the file in " + folder + " is unchanged");
}

void ExpectFileKept()
{
    CHECK_EQ(ReadFileText(kVictimFile), "victim\n", "the file behind the link is unchanged");
}

void AddinsLink(SetupRun &run)
{
    if (Launch(run, "link_addins"))
        ExpectRefused(run, "Addins\\");
    ExpectFolderKept(kVictimFolder);
}

// Read through the link, which stays.
void AddinsLinkOutside(SetupRun &run)
{
    if (Launch(run, "link_addins_outside"))
        ExpectRefused(run, "Addins\\");
    ExpectFolderKept(kSetup + "\\Addins");
}

void ComponentLink(SetupRun &run)
{
    if (Launch(run, "link_component"))
        ExpectRefused(run, "Addins\\QUENBRIK.DLL");
    ExpectFileKept();
}

// A Win32 program can make a hard link itself.
void ComponentHardLink(SetupRun &run)
{
    CHECK(CreateHardLinkA((kSetup + "\\Addins\\QUENBRIK.DLL").c_str(), kVictimFile.c_str(), nullptr) != 0,
          "make the hard link");
    if (Launch(run, "link_component_hard"))
        ExpectRefused(run, "Addins\\QUENBRIK.DLL");
    ExpectFileKept();
}

// The link's target Y:\missing.txt does not exist, and must not come to.
void ComponentDanglingLink(SetupRun &run)
{
    if (Launch(run, "link_component_dangling"))
        ExpectRefused(run, "Addins\\QUENBRIK.DLL");
    CHECK(!Exists("Y:\\missing.txt"), "the link's missing target is not created");
}

void ReadmeFolderLink(SetupRun &run)
{
    if (Launch(run, "link_readme_folder"))
        ExpectRefused(run, "Addins\\QUENBRIK\\");
    ExpectFolderKept(kVictimFolder);
}

// The other program swaps its DLL in with swapper (see there); the DLL
// leaves a marker beside itself when loaded. The setup program holds the
// component, or notices that the file is not the one it wrote: either our
// component is registered, or registration fails.
void Swap(SetupRun &run, const std::string &mode)
{
    std::string addins = kSetup + "\\Addins";
    Process swapper;
    std::string error;
    if (!Launch(run, "link_swap_" + mode) ||
        !CHECK(swapper.Start(ProgramFolder() + "\\swapper.exe",
                             mode + " " + addins + " " + ProgramFolder() + "\\planted_component.dll", &error),
               error))
        return;
    // Its start under Wine can take longer than the whole install.
    for (DWORD start = GetTickCount(); !Exists("Y:\\swapper.ready") && GetTickCount() - start < kWait;)
        Sleep(50);
    CHECK(Exists("Y:\\swapper.ready"), "the other program watches");
    PressButton(run.dialog, IDOK);
    MessageBoxInfo box = run.NextBox();
    bool refused = box.text == REGISTER_FAILED_TEXT;
    if (refused) {
        Close(box);
        box = run.NextBox(FINISH_TITLE);
    }
    CHECK_EQ(box.title, FINISH_TITLE, "the run ends in the finish box (text: " + box.text + ")");
    Close(box);
    run.ExpectExit("the install");
    swapper.Kill();
    std::cout << mode << ": " << (refused ? "registration failed" : "registered")
              << ", swaps that succeeded: " << (Exists("Y:\\swaps.txt") ? ReadFileText("Y:\\swaps.txt") : "0")
              << std::endl;
    for (const std::string &folder : {addins, addins + ".old"})
        CHECK(!Exists(folder + "\\QUENBRIK.DLL.loaded"),
              "the other program's DLL is not loaded from " + folder);
    if (!refused)
        CHECK(SameTextIgnoringCase(setup_run::RegisteredServerPath(), run.Component()),
              "the component is registered from the install folder");
}

void SwapFile(SetupRun &run)
{
    Swap(run, "file");
}
void SwapFolder(SetupRun &run)
{
    Swap(run, "folder");
}

// Plain items from an earlier install, one named in other case, are
// overwritten.
void PlainTree(SetupRun &run)
{
    CHECK(WriteFileText(kSetup + "\\Addins\\quenbrik.dll", "stale") &&
              MakeDirectories(kSetup + "\\Addins\\QUENBRIK") &&
              WriteFileText(kSetup + "\\Addins\\QUENBRIK\\README.HTM", "stale"),
          "plant the stale files");
    if (Launch(run, "link_plain_tree"))
        ExpectInstalls(run);
}

// The user's choice: Y:\Setup is a link to Y:\Real.
void InstallFolderLink(SetupRun &run)
{
    if (Launch(run, "link_install_folder"))
        ExpectInstalls(run);
}

}  // namespace

int main(int argc, char **argv)
{
    // ctest runs each case as faults.<name>; CMake reads the names from this table
    // (wine_cases), one {"name", Function} a line.
    return setup_run::RunCases(argc, argv,
                               {
                                   {"link_addins", AddinsLink},
                                   {"link_addins_outside", AddinsLinkOutside},
                                   {"link_component", ComponentLink},
                                   {"link_component_hard", ComponentHardLink},
                                   {"link_component_dangling", ComponentDanglingLink},
                                   {"link_readme_folder", ReadmeFolderLink},
                                   {"link_swap_file", SwapFile},
                                   {"link_swap_folder", SwapFolder},
                                   {"link_plain_tree", PlainTree},
                                   {"link_install_folder", InstallFolderLink},
                               });
}
