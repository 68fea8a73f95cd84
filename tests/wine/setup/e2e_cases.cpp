// End-to-end cases: each starts the real CorvaneSetup.exe under a seeded
// registry, drives it like a user and checks what it shows and writes.
// Usage: setup_e2e CASE SETUP-EXE REFERENCE-TREE RECORDER-EXE
#include "driver.h"
#include "e2e_support.h"
#include "quenbrik.h"
#include "setup.h"

#include <functional>
#include <iostream>
#include <map>

using namespace e2e;

namespace {

const char kFinishTitle[] = "Finished extracting files!";
const char kFinishText[] =
    "All done!  The Readme.htm file located in the Addins\\Quenbrik folder contains more   \n"
    "information about the Corvane Torvik Add-in.  \n\n"
    "Would you like to read the Readme.htm file now? (Highly recommended.)";
const char kHelpText[] =
    "This setup program contains in compressed form the several files that make up the "
    "Corvane Torvik Add-in package.\n\nClicking the Install button in the main dialog causes "
    "the program to write the files to the folder you specify. If the folder does not already "
    "exist, this program creates it.\n\nAccept the suggested folder to install the Torvik "
    "Add-in to Visual Studio's Addins folder. This allows Visual Studio to automatically "
    "locate the Torvik Add-in at startup.";
const char kNoDevStudioText[] =
    "Visual C++ is not installed. Because the Corvane Torvik Add-in works only with Visual C++ "
    "5.0 and higher, there is no reason to continue.\n\nAfter you install Visual C++, run this "
    "Setup program again to install the Torvik Add-in.";
const char kFailedText[] = "Failed to create temporary file  ";
const char kRegisterFailedPrefix[] = "Failed to register the Corvane Torvik Add-in.";
const DWORD kWait = 15000;

// One case's surroundings: a scratch folder with a Developer Studio tree,
// the registry seeded for it, and the .htm handler writing to a record.
struct Bench {
    std::string setupExe, reference, recorder;
    std::string work;        // C:\e2e\<case>
    std::string devStudio;   // <work>\MSDev98, the suggested folder without its backslash
    std::string record;      // what the .htm handler was asked to open
    driver::Process process;
    HWND dialog = nullptr;

    std::string Suggested() const { return devStudio + "\\"; }
    std::string Readme() const { return devStudio + "\\Addins\\Quenbrik\\Readme.htm"; }

    void Prepare(const std::string &name, bool withDevStudio)
    {
        work = "C:\\e2e\\" + name;
        devStudio = work + "\\MSDev98";
        record = work + "\\opened.txt";
        RemoveTree(work);
        MakeDirectories(devStudio);
        DeleteFileA(TempFilePath().c_str());
        RemoveComponentRegistration();
        Check(RegisterReadmeHandler(recorder, record), "register the .htm handler");
        if (withDevStudio)
            SeedDevStudio(devStudio + "\\Bin");
        else
            RemoveDevStudio();
    }

    // Starts the program and waits for the setup dialog.
    bool Launch(const std::string &exe = "", const std::string &arguments = "")
    {
        std::string error;
        if (!process.Start(exe.empty() ? setupExe : exe, arguments, &error)) {
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

    // Waits for the next message box. A registration failure is reported
    // and dismissed, as it must not appear with a sound component.
    driver::MessageBoxInfo NextBox(const char *title = nullptr)
    {
        HWND box = driver::WaitMessageBox(process.Id(), title, kWait);
        Check(box != nullptr, std::string("a message box ") + (title ? title : "") + " appeared");
        if (!box)
            return {};
        return driver::ReadMessageBox(box);
    }

    void ExpectExit(const std::string &what)
    {
        DWORD code = 1234;
        bool ended = process.Wait(kWait, &code);
        Check(ended, what + ": the process ended");
        Check(!ended || code == 0, what + ": exit code 0, got " + std::to_string(code));
    }

    void ExpectInstalled(const std::string &what)
    {
        std::string difference;
        Check(SameTree(devStudio, reference, &difference), what + ": installed tree: " + difference);
        Check(!Exists(TempFilePath()), what + ": the temporary file is gone");
    }
};

void CheckFinishBox(const driver::MessageBoxInfo &box, const Bench &bench, const std::string &text,
                    driver::IconKind icon, const std::vector<int> &buttons)
{
    CheckEqual(box.title, kFinishTitle, "finish box title");
    CheckEqual(box.text, text, "finish box text");
    Check(box.owner == bench.dialog, "the finish box is owned by the setup dialog");
    Check(box.icon == icon, std::string("finish box icon: ") + driver::IconKindName(box.icon));
    Check(box.buttons == buttons, "finish box buttons");
}

// Install up to the finish box, checking the dialog's state on the way.
driver::MessageBoxInfo InstallToFinish(Bench &bench)
{
    driver::PressButton(bench.dialog, IDOK);
    driver::MessageBoxInfo box = bench.NextBox();
    if (box.text.rfind(kRegisterFailedPrefix, 0) == 0) {
        Check(false, "registration failed: " + box.text);
        driver::PressButton(box.window, IDOK);
        box = bench.NextBox(kFinishTitle);
    }
    Check(!driver::ControlVisible(bench.dialog, IDC_FOLDER), "the folder box is hidden after Install");
    Check(driver::ControlVisible(bench.dialog, IDC_PROGRESS), "the progress bar shows after Install");
    int maximum = driver::ProgressMaximum(bench.dialog, IDC_PROGRESS);
    Check(maximum > 0 && driver::ProgressPosition(bench.dialog, IDC_PROGRESS) == maximum,
          "the progress bar is full at the finish box");
    return box;
}

void WholeFlowYes(Bench &bench)
{
    bench.Prepare("flow_yes", true);
    if (!bench.Launch())
        return;
    CheckEqual(driver::ControlText(bench.dialog, IDC_FOLDER), bench.Suggested(), "suggested folder");
    Check(driver::ControlVisible(bench.dialog, IDC_FOLDER), "the folder box shows at start");
    Check(!driver::ControlVisible(bench.dialog, IDC_PROGRESS), "the progress bar is hidden at start");
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(bench.dialog, nullptr), &gui);
    Check(gui.hwndFocus == GetDlgItem(bench.dialog, IDC_FOLDER), "the folder box has the focus");

    driver::MessageBoxInfo box = InstallToFinish(bench);
    CheckFinishBox(box, bench, kFinishText, driver::IconKind::Question, {IDYES, IDNO});
    Check(SameTextIgnoringCase(RegisteredServerPath(), bench.devStudio + "\\Addins\\Quenbrik.dll"),
          "the component is registered from the installed file: " + RegisteredServerPath());
    driver::PressButton(box.window, IDYES);
    bench.ExpectExit("after Yes");
    bench.ExpectInstalled("after Yes");
    std::string opened = WaitRecord(bench.record, 10000);
    Check(SameTextIgnoringCase(opened, bench.Readme() + "\n"), "Yes opens the readme, opened: " + opened);
}

void FlowNo(Bench &bench)
{
    bench.Prepare("flow_no", true);
    if (!bench.Launch())
        return;
    driver::MessageBoxInfo box = InstallToFinish(bench);
    driver::PressButton(box.window, IDNO);
    bench.ExpectExit("after No");
    bench.ExpectInstalled("after No");
    Sleep(1500);
    Check(!Exists(bench.record), "No opens nothing");
}

void NoDevStudio(Bench &bench)
{
    bench.Prepare("no_devstudio", false);
    RemoveTree("C:\\Corvane");
    std::string error;
    Check(bench.process.Start(bench.setupExe, "", &error), error);
    driver::MessageBoxInfo box = bench.NextBox(SETUP_TITLE);
    CheckEqual(box.text, kNoDevStudioText, "no Developer Studio text");
    Check(box.icon == driver::IconKind::Error, std::string("error icon, got ") + driver::IconKindName(box.icon));
    Check(box.owner == nullptr, "the error box has no owner");
    Check(box.buttons == std::vector<int>{IDOK}, "the error box has only OK");
    Check(driver::TopWindows(bench.process.Id()).size() == 1, "the error box is the only window shown");
    driver::PressButton(box.window, IDOK);
    bench.ExpectExit("without Developer Studio");
    Check(!Exists("C:\\Corvane") && !Exists(bench.devStudio + "\\Addins"), "nothing is written");
    Check(RegisteredServerPath().empty(), "nothing is registered");
}

// A copy of the program whose finish text is replaced.
void FinishVariant(Bench &bench, const char *name, const std::string &text, driver::IconKind icon)
{
    bench.Prepare(name, true);
    std::string copy = bench.work + "\\variant.exe";
    Check(CopyFileA(bench.setupExe.c_str(), copy.c_str(), FALSE) != 0, "copy the program");
    std::string error;
    if (!ReplaceFinishText(copy, text, &error)) {
        Check(false, error);
        return;
    }
    if (!bench.Launch(copy))
        return;
    driver::MessageBoxInfo box = InstallToFinish(bench);
    bool asks = icon == driver::IconKind::Question;
    CheckFinishBox(box, bench, text, icon, asks ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK});
    driver::PressButton(box.window, asks ? IDYES : IDOK);
    bench.ExpectExit(name);
    std::string opened = WaitRecord(bench.record, asks ? 10000 : 1500);
    if (asks)
        Check(SameTextIgnoringCase(opened, bench.Readme() + "\n"), "Yes opens the readme, opened: " + opened);
    else
        Check(opened.empty(), "a plain notice opens nothing");
}

void FinishQuestionMark(Bench &bench)
{
    FinishVariant(bench, "finish_question", "Installed. Open the readme now?", driver::IconKind::Question);
}

void FinishPlain(Bench &bench)
{
    FinishVariant(bench, "finish_plain", "Installed. See the readme.", driver::IconKind::Information);
}

void FinishEmpty(Bench &bench)
{
    FinishVariant(bench, "finish_empty", "", driver::IconKind::Information);
}

// A payload directory blocked by a file of its name fails the run at its
// first file; once it is cleared, a second Install on the same text works.
void FailedRunRepeats(Bench &bench)
{
    bench.Prepare("failed_run", true);
    std::string blocker = bench.devStudio + "\\Addins\\QUENBRIK";
    MakeDirectories(bench.devStudio + "\\Addins");
    WriteFileText(blocker, "in the way");
    if (!bench.Launch())
        return;
    driver::PressButton(bench.dialog, IDOK);
    driver::MessageBoxInfo box = bench.NextBox(SETUP_TITLE);
    CheckEqual(box.text, kFailedText, "failure text");
    Check(box.icon == driver::IconKind::Error, std::string("failure icon, got ") + driver::IconKindName(box.icon));
    Check(box.owner == nullptr, "the failure box has no owner");
    driver::PressButton(box.window, IDOK);
    driver::WaitGone(box.window, kWait);
    driver::Settle();
    Check(bench.process.Running() && IsWindowVisible(bench.dialog), "the dialog stays open after a failed run");
    Check(!driver::ControlVisible(bench.dialog, IDC_FOLDER), "the folder box stays hidden");
    Check(driver::ControlVisible(bench.dialog, IDC_PROGRESS), "the progress bar stays shown");
    Check(driver::ProgressPosition(bench.dialog, IDC_PROGRESS) < driver::ProgressMaximum(bench.dialog, IDC_PROGRESS),
          "the progress bar stopped short of full");
    Check(Exists(bench.devStudio + "\\Addins\\QUENBRIK.DLL"), "files before the failure are in place");
    Check(!Exists(TempFilePath()), "the temporary file is deleted after the failure");
    Check(RegisteredServerPath().empty(), "a failed run registers nothing");
    CheckEqual(driver::ControlText(bench.dialog, IDC_FOLDER), bench.Suggested(), "the hidden box keeps its text");

    DeleteFileA(blocker.c_str());
    box = InstallToFinish(bench);
    CheckFinishBox(box, bench, kFinishText, driver::IconKind::Question, {IDYES, IDNO});
    driver::PressButton(box.window, IDNO);
    bench.ExpectExit("second Install");
    bench.ExpectInstalled("second Install");
}

void EnterStartsInstall(Bench &bench)
{
    bench.Prepare("enter_key", true);
    if (!bench.Launch())
        return;
    driver::PressKey(GetDlgItem(bench.dialog, IDC_FOLDER), VK_RETURN);
    driver::MessageBoxInfo box = bench.NextBox(kFinishTitle);
    Check(box.window != nullptr, "Enter in the folder box starts Install");
    if (box.window)
        driver::PressButton(box.window, IDNO);
    bench.ExpectExit("after Enter");
    bench.ExpectInstalled("after Enter");
}

void CancelWays(Bench &bench)
{
    bench.Prepare("cancel", true);
    const struct {
        const char *what;
        std::function<void(HWND)> act;
    } ways[] = {
        {"Esc", [](HWND d) { driver::PressKey(GetDlgItem(d, IDC_FOLDER), VK_ESCAPE); }},
        {"the close box", [](HWND d) { driver::PressCloseBox(d); }},
        {"Cancel", [](HWND d) { driver::PressButton(d, IDCANCEL); }},
    };
    for (const auto &way : ways) {
        if (!bench.Launch())
            return;
        way.act(bench.dialog);
        bench.ExpectExit(way.what);
    }
    Check(!Exists(bench.devStudio + "\\Addins"), "cancelling writes nothing");
}

void HelpBoxes(Bench &bench)
{
    bench.Prepare("help", true);
    if (!bench.Launch())
        return;
    driver::PressButton(bench.dialog, IDC_HELP);
    driver::MessageBoxInfo first = bench.NextBox(SETUP_TITLE);
    CheckEqual(first.text, kHelpText, "help text");
    Check(first.icon == driver::IconKind::Information, std::string("help icon, got ") + driver::IconKindName(first.icon));
    Check(first.owner == nullptr, "the help box has no owner");
    Check(IsWindowEnabled(bench.dialog) != 0, "the setup dialog stays enabled behind the help box");
    driver::PressButton(bench.dialog, IDC_HELP);
    HWND second = driver::WaitMessageBox(bench.process.Id(), SETUP_TITLE, kWait, {first.window});
    Check(second != nullptr, "a second help box opens while the first is up");
    for (HWND box : {first.window, second}) {
        if (!box)
            continue;
        driver::PressButton(box, IDOK);
        driver::WaitGone(box, kWait);
    }
    Check(bench.process.Running(), "closing the help boxes leaves the setup dialog");
    driver::PressButton(bench.dialog, IDCANCEL);
    bench.ExpectExit("after Help");
}

// About closes only on OK; two can be open; Install works meanwhile, and the
// process ends once the last About box is closed.
void AboutBoxes(Bench &bench)
{
    const char aboutTitle[] = "About Corvane Setup";
    bench.Prepare("about", true);
    if (!bench.Launch())
        return;
    driver::PressButton(bench.dialog, IDC_ABOUT);
    HWND first = driver::WaitWindow(bench.process.Id(), aboutTitle, kWait);
    Check(first != nullptr, "the About box opens");
    if (!first)
        return;
    Check(driver::Owner(first) == nullptr, "the About box has no owner");
    Check(IsWindowEnabled(bench.dialog) != 0, "the setup dialog stays enabled behind About");
    driver::PressKey(GetDlgItem(first, IDOK), VK_ESCAPE);
    driver::PressCloseBox(first);
    driver::Settle(800);
    Check(IsWindowVisible(first) != 0, "Esc and the close box leave About open");

    driver::PressButton(bench.dialog, IDC_ABOUT);
    HWND second = driver::WaitWindow(bench.process.Id(), aboutTitle, kWait, {first});
    Check(second != nullptr, "a second About box opens while the first is up");

    driver::MessageBoxInfo box = InstallToFinish(bench);
    CheckFinishBox(box, bench, kFinishText, driver::IconKind::Question, {IDYES, IDNO});
    driver::PressButton(box.window, IDNO);
    Check(driver::WaitGone(bench.dialog, kWait), "the setup dialog ends after the finish box");
    for (HWND about : {second, first}) {
        if (!about)
            continue;
        Check(bench.process.Running(), "an open About box keeps the process");
        driver::PressKey(GetDlgItem(about, IDOK), VK_RETURN);
        driver::WaitGone(about, kWait);
    }
    bench.ExpectExit("after About");
    bench.ExpectInstalled("Install while About is open");
}

void ExtraArguments(Bench &bench)
{
    bench.Prepare("arguments", true);
    RemoveTree("C:\\elsewhere");
    if (!bench.Launch("", "/S /D=C:\\elsewhere extra \"quoted words\""))
        return;
    CheckEqual(driver::ControlText(bench.dialog, IDC_FOLDER), bench.Suggested(), "arguments do not change the folder");
    driver::MessageBoxInfo box = InstallToFinish(bench);
    driver::PressButton(box.window, IDNO);
    bench.ExpectExit("with arguments");
    bench.ExpectInstalled("with arguments");
    Check(!Exists("C:\\elsewhere"), "the arguments are ignored");
}

}  // namespace

int main(int argc, char **argv)
{
    const std::map<std::string, void (*)(Bench &)> cases = {
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
    };
    auto found = argc == 5 ? cases.find(argv[1]) : cases.end();
    if (found == cases.end()) {
        std::cerr << "usage: setup_e2e CASE SETUP-EXE REFERENCE-TREE RECORDER-EXE\ncases:";
        for (const auto &c : cases)
            std::cerr << " " << c.first;
        std::cerr << std::endl;
        return 2;
    }
    Bench bench;
    bench.setupExe = WindowsPath(argv[2]);
    bench.reference = WindowsPath(argv[3]);
    bench.recorder = WindowsPath(argv[4]);
    found->second(bench);
    bench.process.Kill();
    RemoveDevStudio();
    RemoveComponentRegistration();
    RestoreReadmeHandler();
    if (Failures() == 0)
        RemoveTree(bench.work);
    std::cout << argv[1] << ": " << (Failures() ? "FAILED" : "passed") << std::endl;
    return Failures() ? 1 : 0;
}
