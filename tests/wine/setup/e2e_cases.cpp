// End-to-end cases: each starts the real CorvaneSetup.exe under a seeded
// registry, drives it like a user and checks what it shows and writes.
// Usage: setup_e2e CASE SETUP-EXE REFERENCE-TREE RECORDER-EXE
#include "bench.h"

#include <functional>

using namespace driver;
using bench::Bench;
using bench::kWait;
using bench::RegisteredServerPath;

namespace {

void CheckFinishBox(const MessageBoxInfo &box, const Bench &bench, const std::string &text, IconKind icon,
                    const std::vector<int> &buttons)
{
    CHECK_EQ(box.title, FINISH_TITLE, "finish box title");
    CHECK_EQ(box.text, text, "finish box text");
    CHECK(box.owner == bench.dialog, "the finish box is owned by the setup dialog");
    CHECK_EQ(box.icon, icon, "finish box icon");
    CHECK(box.buttons == buttons, "finish box buttons");
}

// Install up to the finish box, checking the dialog's state on the way.
MessageBoxInfo InstallToFinish(Bench &bench)
{
    MessageBoxInfo box = bench.Install();
    CHECK(!ControlVisible(bench.dialog, IDC_FOLDER), "the folder box is hidden after Install");
    CHECK(ControlVisible(bench.dialog, IDC_PROGRESS), "the progress bar shows after Install");
    int maximum = ProgressMaximum(bench.dialog, IDC_PROGRESS);
    CHECK(maximum > 0 && ProgressPosition(bench.dialog, IDC_PROGRESS) == maximum,
          "the progress bar is full at the finish box");
    return box;
}

void CheckReadmeOpened(const Bench &bench)
{
    std::string opened = bench::WaitRecord(bench.record, bench::kReadmeWait);
    CHECK(SameTextIgnoringCase(opened, bench.Readme() + "\n"), "Yes opens the readme, opened: " + opened);
}

void WholeFlowYes(Bench &bench)
{
    bench.Prepare("C:\\e2e\\flow_yes");
    if (!bench.Launch())
        return;
    CHECK_EQ(ControlText(bench.dialog, IDC_FOLDER), bench.Suggested(), "suggested folder");
    CHECK(ControlVisible(bench.dialog, IDC_FOLDER), "the folder box shows at start");
    CHECK(!ControlVisible(bench.dialog, IDC_PROGRESS), "the progress bar is hidden at start");
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(bench.dialog, nullptr), &gui);
    CHECK(gui.hwndFocus == GetDlgItem(bench.dialog, IDC_FOLDER), "the folder box has the focus");

    MessageBoxInfo box = InstallToFinish(bench);
    CheckFinishBox(box, bench, EXPECTED_FINISHED_TEXT, IconKind::Question, {IDYES, IDNO});
    CHECK(SameTextIgnoringCase(RegisteredServerPath(), bench.Component()),
          "the component is registered from the installed file: " + RegisteredServerPath());
    PressButton(box.window, IDYES);
    bench.ExpectExit("after Yes");
    bench.ExpectInstalled("after Yes");
    CheckReadmeOpened(bench);
}

void FlowNo(Bench &bench)
{
    bench.Prepare("C:\\e2e\\flow_no");
    if (!bench.Launch())
        return;
    PressButton(InstallToFinish(bench).window, IDNO);
    bench.ExpectExit("after No");
    bench.ExpectInstalled("after No");
    CHECK(bench::WaitRecord(bench.record, bench::kReadmeWait).empty(), "No opens nothing");
}

void NoDevStudio(Bench &bench)
{
    bench.Prepare("C:\\e2e\\no_devstudio", false);
    RemoveTree(FALLBACK_FOLDER);
    std::string error;
    CHECK(bench.process.Start(bench.setupExe, "", &error), error);
    MessageBoxInfo box = bench.NextBox(SETUP_TITLE);
    CHECK_EQ(box.text, NO_DEVSTUDIO_TEXT, "no Developer Studio text");
    CHECK_EQ(box.icon, IconKind::Error, "error icon");
    CHECK(box.owner == nullptr, "the error box has no owner");
    CHECK(box.buttons == std::vector<int>{IDOK}, "the error box has only OK");
    CHECK(TopWindows(bench.process.Id()).size() == 1, "the error box is the only window shown");
    PressButton(box.window, IDOK);
    bench.ExpectExit("without Developer Studio");
    CHECK(!Exists(FALLBACK_FOLDER) && !Exists(bench.devStudio + "\\Addins"), "nothing is written");
    CHECK(RegisteredServerPath().empty(), "nothing is registered");
}

// A copy of the program whose finish text is replaced.
void FinishVariant(Bench &bench, const char *name, const std::string &text, IconKind icon)
{
    bench.Prepare(std::string("C:\\e2e\\") + name);
    std::string copy = bench.work + "\\variant.exe";
    CHECK(CopyFileA(bench.setupExe.c_str(), copy.c_str(), FALSE) != 0, "copy the program");
    std::string error;
    if (!CHECK(bench::ReplaceFinishText(copy, text, &error), error) || !bench.Launch(copy))
        return;
    MessageBoxInfo box = InstallToFinish(bench);
    bool asks = icon == IconKind::Question;
    CheckFinishBox(box, bench, text, icon, asks ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK});
    PressButton(box.window, asks ? IDYES : IDOK);
    bench.ExpectExit(name);
    if (asks)
        CheckReadmeOpened(bench);
    else
        CHECK(bench::WaitRecord(bench.record, bench::kReadmeWait).empty(), "a plain notice opens nothing");
}

void FinishQuestionMark(Bench &bench)
{
    FinishVariant(bench, "finish_question", "Installed. Open the readme now?", IconKind::Question);
}

void FinishPlain(Bench &bench)
{
    FinishVariant(bench, "finish_plain", "Installed. See the readme.", IconKind::Information);
}

void FinishEmpty(Bench &bench)
{
    FinishVariant(bench, "finish_empty", "", IconKind::Information);
}

// A payload directory blocked by a file of its name fails the run at its
// first file; once it is cleared, a second Install on the same text works.
void FailedRunRepeats(Bench &bench)
{
    bench.Prepare("C:\\e2e\\failed_run");
    std::string blocker = bench.Installed("Addins\\QUENBRIK");
    MakeDirectories(bench.Installed("Addins"));
    WriteFileText(blocker, "in the way");
    if (!bench.Launch())
        return;
    PressButton(bench.dialog, IDOK);
    MessageBoxInfo box = bench.NextBox(SETUP_TITLE);
    CHECK_EQ(box.text, MSG_ENTRY_FAILED, "failure text");
    CHECK_EQ(box.icon, IconKind::Error, "failure icon");
    CHECK(box.owner == nullptr, "the failure box has no owner");
    PressButton(box.window, IDOK);
    WaitGone(box.window, kWait);
    Settle();
    CHECK(bench.process.Running() && IsWindowVisible(bench.dialog),
          "the dialog stays open after a failed run");
    CHECK(!ControlVisible(bench.dialog, IDC_FOLDER), "the folder box stays hidden");
    CHECK(ControlVisible(bench.dialog, IDC_PROGRESS), "the progress bar stays shown");
    CHECK(ProgressPosition(bench.dialog, IDC_PROGRESS) < ProgressMaximum(bench.dialog, IDC_PROGRESS),
          "the progress bar stopped short of full");
    CHECK(Exists(bench.Installed("Addins\\QUENBRIK.DLL")), "files before the failure are in place");
    CHECK(!Exists(TempFilePath()), "the temporary file is deleted after the failure");
    CHECK(RegisteredServerPath().empty(), "a failed run registers nothing");
    CHECK_EQ(ControlText(bench.dialog, IDC_FOLDER), bench.Suggested(), "the hidden box keeps its text");

    DeleteFileA(blocker.c_str());
    box = InstallToFinish(bench);
    CheckFinishBox(box, bench, EXPECTED_FINISHED_TEXT, IconKind::Question, {IDYES, IDNO});
    PressButton(box.window, IDNO);
    bench.ExpectExit("second Install");
    bench.ExpectInstalled("second Install");
}

void EnterStartsInstall(Bench &bench)
{
    bench.Prepare("C:\\e2e\\enter_key");
    if (!bench.Launch())
        return;
    PressKey(GetDlgItem(bench.dialog, IDC_FOLDER), VK_RETURN);
    MessageBoxInfo box = bench.NextBox(FINISH_TITLE);
    if (CHECK(box.window != nullptr, "Enter in the folder box starts Install"))
        PressButton(box.window, IDNO);
    bench.ExpectExit("after Enter");
    bench.ExpectInstalled("after Enter");
}

void CancelWays(Bench &bench)
{
    bench.Prepare("C:\\e2e\\cancel");
    const struct {
        const char *what;
        std::function<void(HWND)> act;
    } ways[] = {
        {"Esc", [](HWND d) { PressKey(GetDlgItem(d, IDC_FOLDER), VK_ESCAPE); }},
        {"the close box", [](HWND d) { PressCloseBox(d); }},
        {"Cancel", [](HWND d) { PressButton(d, IDCANCEL); }},
    };
    for (const auto &way : ways) {
        if (!bench.Launch())
            return;
        way.act(bench.dialog);
        bench.ExpectExit(way.what);
    }
    CHECK(!Exists(bench.Installed("Addins")), "cancelling writes nothing");
}

void HelpBoxes(Bench &bench)
{
    bench.Prepare("C:\\e2e\\help");
    if (!bench.Launch())
        return;
    PressButton(bench.dialog, IDC_HELP);
    MessageBoxInfo first = bench.NextBox(SETUP_TITLE);
    CHECK_EQ(first.text, EXPECTED_HELP_TEXT, "help text");
    CHECK_EQ(first.icon, IconKind::Information, "help icon");
    CHECK(first.owner == nullptr, "the help box has no owner");
    CHECK(IsWindowEnabled(bench.dialog) != 0, "the setup dialog stays enabled behind the help box");
    PressButton(bench.dialog, IDC_HELP);
    HWND second = WaitMessageBox(bench.process.Id(), SETUP_TITLE, kWait, {first.window});
    CHECK(second != nullptr, "a second help box opens while the first is up");
    for (HWND box : {first.window, second}) {
        if (!box)
            continue;
        PressButton(box, IDOK);
        WaitGone(box, kWait);
    }
    CHECK(bench.process.Running(), "closing the help boxes leaves the setup dialog");
    PressButton(bench.dialog, IDCANCEL);
    bench.ExpectExit("after Help");
}

// About closes only on OK; two can be open; Install works meanwhile, and the
// process ends once the last About box is closed.
void AboutBoxes(Bench &bench)
{
    bench.Prepare("C:\\e2e\\about");
    if (!bench.Launch())
        return;
    PressButton(bench.dialog, IDC_ABOUT);
    HWND first = WaitWindow(bench.process.Id(), EXPECTED_ABOUT_TITLE, kWait);
    if (!CHECK(first != nullptr, "the About box opens"))
        return;
    CHECK(Owner(first) == nullptr, "the About box has no owner");
    CHECK(IsWindowEnabled(bench.dialog) != 0, "the setup dialog stays enabled behind About");
    PressKey(GetDlgItem(first, IDOK), VK_ESCAPE);
    PressCloseBox(first);
    Settle(800);
    CHECK(IsWindowVisible(first) != 0, "Esc and the close box leave About open");

    PressButton(bench.dialog, IDC_ABOUT);
    HWND second = WaitWindow(bench.process.Id(), EXPECTED_ABOUT_TITLE, kWait, {first});
    CHECK(second != nullptr, "a second About box opens while the first is up");

    MessageBoxInfo box = InstallToFinish(bench);
    CheckFinishBox(box, bench, EXPECTED_FINISHED_TEXT, IconKind::Question, {IDYES, IDNO});
    PressButton(box.window, IDNO);
    CHECK(WaitGone(bench.dialog, kWait), "the setup dialog ends after the finish box");
    for (HWND about : {second, first}) {
        if (!about)
            continue;
        CHECK(bench.process.Running(), "an open About box keeps the process");
        PressKey(GetDlgItem(about, IDOK), VK_RETURN);
        WaitGone(about, kWait);
    }
    bench.ExpectExit("after About");
    bench.ExpectInstalled("Install while About is open");
}

void ExtraArguments(Bench &bench)
{
    bench.Prepare("C:\\e2e\\arguments");
    RemoveTree("C:\\elsewhere");
    if (!bench.Launch("", "/S /D=C:\\elsewhere extra \"quoted words\""))
        return;
    CHECK_EQ(ControlText(bench.dialog, IDC_FOLDER), bench.Suggested(), "arguments do not change the folder");
    PressButton(InstallToFinish(bench).window, IDNO);
    bench.ExpectExit("with arguments");
    bench.ExpectInstalled("with arguments");
    CHECK(!Exists("C:\\elsewhere"), "the arguments are ignored");
}

}  // namespace

int main(int argc, char **argv)
{
    // ctest runs each case as setup.<name>; CMake reads the names from this table
    // (wine_cases), one {"name", Function} a line.
    return bench::RunCases(argc, argv,
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
                           });
}
