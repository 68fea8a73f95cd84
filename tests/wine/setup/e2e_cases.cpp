// End-to-end cases: each starts the real CorvaneSetup.exe under a seeded
// registry, drives it like a user and checks what it shows and writes.
// Usage: setup_e2e CASE SETUP-EXE REFERENCE-TREE RECORDER-EXE
#include "setup_run.h"

#include <functional>

using namespace driver;
using setup_run::kWait;
using setup_run::RegisteredServerPath;
using setup_run::SetupRun;

namespace {

void CheckFinishBox(const MessageBoxInfo &box, const SetupRun &run, const std::string &text, IconKind icon,
                    const std::vector<int> &buttons)
{
    CHECK_EQ(box.title, FINISH_TITLE, "finish box title");
    CHECK_EQ(box.text, text, "finish box text");
    CHECK(box.owner == run.dialog, "the finish box is owned by the setup dialog");
    CHECK_EQ(box.icon, icon, "finish box icon");
    CHECK(box.buttons == buttons, "finish box buttons");
}

// Install up to the finish box, checking the dialog's state on the way.
MessageBoxInfo InstallToFinish(SetupRun &run)
{
    MessageBoxInfo box = run.Install();
    CHECK(!ControlVisible(run.dialog, IDC_FOLDER), "the folder box is hidden after Install");
    CHECK(ControlVisible(run.dialog, IDC_PROGRESS), "the progress bar shows after Install");
    int maximum = ProgressMaximum(run.dialog, IDC_PROGRESS);
    CHECK(maximum > 0 && ProgressPosition(run.dialog, IDC_PROGRESS) == maximum,
          "the progress bar is full at the finish box");
    return box;
}

// Every process runs elevated under Wine, so the readme is the desktop
// shell's to open, as the user: the handler is started by explorer.exe.
void CheckReadmeOpened(const SetupRun &run)
{
    std::string opened = setup_run::WaitRecord(run.record, setup_run::kReadmeWait);
    CHECK(SameTextIgnoringCase(opened, run.Readme() + "\n"), "Yes opens the readme, opened: " + opened);
    std::string opener = ReadFileText(run.record + ".opener");
    CHECK(SameTextIgnoringCase(opener, "explorer.exe"), "the desktop shell opens the readme, not " + opener);
}

void WholeFlowYes(SetupRun &run)
{
    run.Prepare("C:\\e2e\\flow_yes");
    if (!run.Launch())
        return;
    CHECK_EQ(ControlText(run.dialog, IDC_FOLDER), run.Suggested(), "suggested folder");
    CHECK(ControlVisible(run.dialog, IDC_FOLDER), "the folder box shows at start");
    CHECK(!ControlVisible(run.dialog, IDC_PROGRESS), "the progress bar is hidden at start");
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(run.dialog, nullptr), &gui);
    CHECK(gui.hwndFocus == GetDlgItem(run.dialog, IDC_FOLDER), "the folder box has the focus");

    MessageBoxInfo box = InstallToFinish(run);
    CheckFinishBox(box, run, EXPECTED_FINISHED_TEXT, IconKind::Question, {IDYES, IDNO});
    CHECK(SameTextIgnoringCase(RegisteredServerPath(), run.Component()),
          "the component is registered from the installed file: " + RegisteredServerPath());
    PressButton(box.window, IDYES);
    run.ExpectExit("after Yes");
    run.ExpectInstalled("after Yes");
    CheckReadmeOpened(run);
}

void FlowNo(SetupRun &run)
{
    run.Prepare("C:\\e2e\\flow_no");
    if (!run.Launch())
        return;
    PressButton(InstallToFinish(run).window, IDNO);
    run.ExpectExit("after No");
    run.ExpectInstalled("after No");
    CHECK(setup_run::WaitRecord(run.record, setup_run::kReadmeWait).empty(), "No opens nothing");
}

void NoDevStudio(SetupRun &run)
{
    run.Prepare("C:\\e2e\\no_devstudio", false);
    RemoveTree(FALLBACK_FOLDER);
    std::string error;
    CHECK(run.process.Start(run.setupExe, "", &error), error);
    MessageBoxInfo box = run.NextBox(SETUP_TITLE);
    CHECK_EQ(box.text, NO_DEVSTUDIO_TEXT, "no Developer Studio text");
    CHECK_EQ(box.icon, IconKind::Error, "error icon");
    CHECK(box.owner == nullptr, "the error box has no owner");
    CHECK(box.buttons == std::vector<int>{IDOK}, "the error box has only OK");
    CHECK(TopWindows(run.process.Id()).size() == 1, "the error box is the only window shown");
    PressButton(box.window, IDOK);
    run.ExpectExit("without Developer Studio");
    CHECK(!Exists(FALLBACK_FOLDER) && !Exists(run.devStudio + "\\Addins"), "nothing is written");
    CHECK(RegisteredServerPath().empty(), "nothing is registered");
}

// A copy of the program whose finish text is replaced.
void FinishVariant(SetupRun &run, const char *name, const std::string &text, IconKind icon)
{
    run.Prepare(std::string("C:\\e2e\\") + name);
    std::string copy = run.work + "\\variant.exe";
    CHECK(CopyFileA(run.setupExe.c_str(), copy.c_str(), FALSE) != 0, "copy the program");
    std::string error;
    if (!CHECK(setup_run::ReplaceFinishText(copy, text, &error), error) || !run.Launch(copy))
        return;
    MessageBoxInfo box = InstallToFinish(run);
    bool asks = icon == IconKind::Question;
    CheckFinishBox(box, run, text, icon, asks ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK});
    PressButton(box.window, asks ? IDYES : IDOK);
    run.ExpectExit(name);
    if (asks)
        CheckReadmeOpened(run);
    else
        CHECK(setup_run::WaitRecord(run.record, setup_run::kReadmeWait).empty(),
              "a plain notice opens nothing");
}

void FinishQuestionMark(SetupRun &run)
{
    FinishVariant(run, "finish_question", "Installed. Open the readme now?", IconKind::Question);
}

void FinishPlain(SetupRun &run)
{
    FinishVariant(run, "finish_plain", "Installed. See the readme.", IconKind::Information);
}

void FinishEmpty(SetupRun &run)
{
    FinishVariant(run, "finish_empty", "", IconKind::Information);
}

// A payload directory blocked by a file of its name fails the run at its
// first file; once it is cleared, a second Install on the same text works.
void FailedRunRepeats(SetupRun &run)
{
    run.Prepare("C:\\e2e\\failed_run");
    std::string blocker = run.Installed("Addins\\QUENBRIK");
    MakeDirectories(run.Installed("Addins"));
    WriteFileText(blocker, "in the way");
    if (!run.Launch())
        return;
    PressButton(run.dialog, IDOK);
    MessageBoxInfo box = run.NextBox(SETUP_TITLE);
    CHECK_EQ(box.text, MSG_ENTRY_FAILED, "failure text");
    CHECK_EQ(box.icon, IconKind::Error, "failure icon");
    CHECK(box.owner == nullptr, "the failure box has no owner");
    PressButton(box.window, IDOK);
    WaitGone(box.window, kWait);
    Settle();
    CHECK(run.process.Running() && IsWindowVisible(run.dialog), "the dialog stays open after a failed run");
    CHECK(!ControlVisible(run.dialog, IDC_FOLDER), "the folder box stays hidden");
    CHECK(ControlVisible(run.dialog, IDC_PROGRESS), "the progress bar stays shown");
    CHECK(ProgressPosition(run.dialog, IDC_PROGRESS) < ProgressMaximum(run.dialog, IDC_PROGRESS),
          "the progress bar stopped short of full");
    CHECK(Exists(run.Installed("Addins\\QUENBRIK.DLL")), "files before the failure are in place");
    CHECK(!Exists(TempFilePath()), "the temporary file is deleted after the failure");
    CHECK(RegisteredServerPath().empty(), "a failed run registers nothing");
    CHECK_EQ(ControlText(run.dialog, IDC_FOLDER), run.Suggested(), "the hidden box keeps its text");

    DeleteFileA(blocker.c_str());
    box = InstallToFinish(run);
    CheckFinishBox(box, run, EXPECTED_FINISHED_TEXT, IconKind::Question, {IDYES, IDNO});
    PressButton(box.window, IDNO);
    run.ExpectExit("second Install");
    run.ExpectInstalled("second Install");
}

void EnterStartsInstall(SetupRun &run)
{
    run.Prepare("C:\\e2e\\enter_key");
    if (!run.Launch())
        return;
    PressKey(GetDlgItem(run.dialog, IDC_FOLDER), VK_RETURN);
    MessageBoxInfo box = run.NextBox(FINISH_TITLE);
    if (CHECK(box.window != nullptr, "Enter in the folder box starts Install"))
        PressButton(box.window, IDNO);
    run.ExpectExit("after Enter");
    run.ExpectInstalled("after Enter");
}

void CancelWays(SetupRun &run)
{
    run.Prepare("C:\\e2e\\cancel");
    const struct {
        const char *what;
        std::function<void(HWND)> act;
    } ways[] = {
        {"Esc", [](HWND d) { PressKey(GetDlgItem(d, IDC_FOLDER), VK_ESCAPE); }},
        {"the close box", [](HWND d) { PressCloseBox(d); }},
        {"Cancel", [](HWND d) { PressButton(d, IDCANCEL); }},
    };
    for (const auto &way : ways) {
        if (!run.Launch())
            return;
        way.act(run.dialog);
        run.ExpectExit(way.what);
    }
    CHECK(!Exists(run.Installed("Addins")), "cancelling writes nothing");
}

void HelpBoxes(SetupRun &run)
{
    run.Prepare("C:\\e2e\\help");
    if (!run.Launch())
        return;
    PressButton(run.dialog, IDC_HELP);
    MessageBoxInfo first = run.NextBox(SETUP_TITLE);
    CHECK_EQ(first.text, EXPECTED_HELP_TEXT, "help text");
    CHECK_EQ(first.icon, IconKind::Information, "help icon");
    CHECK(first.owner == nullptr, "the help box has no owner");
    CHECK(IsWindowEnabled(run.dialog) != 0, "the setup dialog stays enabled behind the help box");
    PressButton(run.dialog, IDC_HELP);
    HWND second = WaitMessageBox(run.process.Id(), SETUP_TITLE, kWait, {first.window});
    CHECK(second != nullptr, "a second help box opens while the first is up");
    for (HWND box : {first.window, second}) {
        if (!box)
            continue;
        PressButton(box, IDOK);
        WaitGone(box, kWait);
    }
    CHECK(run.process.Running(), "closing the help boxes leaves the setup dialog");
    PressButton(run.dialog, IDCANCEL);
    run.ExpectExit("after Help");
}

// About closes only on OK; two can be open; Install works meanwhile, and the
// process ends once the last About box is closed.
void AboutBoxes(SetupRun &run)
{
    run.Prepare("C:\\e2e\\about");
    if (!run.Launch())
        return;
    PressButton(run.dialog, IDC_ABOUT);
    HWND first = WaitWindow(run.process.Id(), EXPECTED_ABOUT_TITLE, kWait);
    if (!CHECK(first != nullptr, "the About box opens"))
        return;
    CHECK(Owner(first) == nullptr, "the About box has no owner");
    CHECK(IsWindowEnabled(run.dialog) != 0, "the setup dialog stays enabled behind About");
    PressKey(GetDlgItem(first, IDOK), VK_ESCAPE);
    PressCloseBox(first);
    Settle(800);
    CHECK(IsWindowVisible(first) != 0, "Esc and the close box leave About open");

    PressButton(run.dialog, IDC_ABOUT);
    HWND second = WaitWindow(run.process.Id(), EXPECTED_ABOUT_TITLE, kWait, {first});
    CHECK(second != nullptr, "a second About box opens while the first is up");

    MessageBoxInfo box = InstallToFinish(run);
    CheckFinishBox(box, run, EXPECTED_FINISHED_TEXT, IconKind::Question, {IDYES, IDNO});
    PressButton(box.window, IDNO);
    CHECK(WaitGone(run.dialog, kWait), "the setup dialog ends after the finish box");
    for (HWND about : {second, first}) {
        if (!about)
            continue;
        CHECK(run.process.Running(), "an open About box keeps the process");
        PressKey(GetDlgItem(about, IDOK), VK_RETURN);
        WaitGone(about, kWait);
    }
    run.ExpectExit("after About");
    run.ExpectInstalled("Install while About is open");
}

void ExtraArguments(SetupRun &run)
{
    run.Prepare("C:\\e2e\\arguments");
    RemoveTree("C:\\elsewhere");
    if (!run.Launch("", "/S /D=C:\\elsewhere extra \"quoted words\""))
        return;
    CHECK_EQ(ControlText(run.dialog, IDC_FOLDER), run.Suggested(), "arguments do not change the folder");
    PressButton(InstallToFinish(run).window, IDNO);
    run.ExpectExit("with arguments");
    run.ExpectInstalled("with arguments");
    CHECK(!Exists("C:\\elsewhere"), "the arguments are ignored");
}

// Under code page 932 (the cases run in a prefix under the Japanese
// locale) the second byte of a character may be 0x5C: 表 is 95 5C.
const std::string kHyo = "\x95\x5c";

// The folder box names C:\t\表 (typed as given): the tree goes into
// C:\t\表\Addins and the readme is opened from there.
void DoubleByteFolder(SetupRun &run, const std::string &typed)
{
    CHECK_EQ(GetACP(), 932u, "the prefix's ANSI code page");
    run.Prepare("C:\\t");
    run.devStudio = "C:\\t\\" + kHyo;
    if (!CHECK(MakeDirectories(run.devStudio), "make the folder") || !run.Launch())
        return;
    SetControlText(run.dialog, IDC_FOLDER, typed);
    MessageBoxInfo box = InstallToFinish(run);
    CHECK_EQ(box.title, FINISH_TITLE, "the run ends in the finish box (text: " + box.text + ")");
    PressButton(box.window, IDYES);
    run.ExpectExit("after Yes");
    run.ExpectInstalled("into " + typed);
    CheckReadmeOpened(run);
    CHECK_EQ(ListFolder(run.work).size(), 4u,
             "C:\\t holds the folder, MSDev98, the record and its opener only");
}

void DoubleByteFolderPlain(SetupRun &run)
{
    DoubleByteFolder(run, "C:\\t\\" + kHyo);
}
void DoubleByteFolderBackslash(SetupRun &run)
{
    DoubleByteFolder(run, "C:\\t\\" + kHyo + "\\");
}

// "Install Dirs" C:\t\VS\表示 suggests its parent folder.
void DoubleByteSuggestion(SetupRun &run)
{
    CHECK_EQ(GetACP(), 932u, "the prefix's ANSI code page");
    run.Prepare("C:\\t");
    setup_run::SeedDevStudio("C:\\t\\VS\\" + kHyo + "\x8e\xa6");
    if (!run.Launch())
        return;
    CHECK_EQ(ControlText(run.dialog, IDC_FOLDER), "C:\\t\\VS\\", "suggested folder");
    PressButton(run.dialog, IDCANCEL);
    run.ExpectExit("after Cancel");
}

}  // namespace

int main(int argc, char **argv)
{
    // ctest runs each case as setup.<name>; CMake reads the names from this table
    // (wine_cases), one {"name", Function} a line.
    return setup_run::RunCases(argc, argv,
                               {
                                   {"flow_yes", WholeFlowYes},
                                   {"flow_no", FlowNo},
                                   {"no_devstudio", NoDevStudio},
                                   {"finish_question_mark", FinishQuestionMark},
                                   {"finish_plain", FinishPlain},
                                   {"finish_empty", FinishEmpty},
                                   {"failed_run", FailedRunRepeats},
                                   {"enter_key", EnterStartsInstall},
                                   {"cancel", CancelWays},
                                   {"help", HelpBoxes},
                                   {"about", AboutBoxes},
                                   {"arguments", ExtraArguments},
                                   {"dbcs_folder", DoubleByteFolderPlain},
                                   {"dbcs_folder_backslash", DoubleByteFolderBackslash},
                                   {"dbcs_suggestion", DoubleByteSuggestion},
                               });
}
