// RegisterComponent with stand-in components whose DllRegisterServer returns
// S_OK, S_FALSE or E_FAIL, or is missing, and on threads whose COM state was
// set beforehand.
#include "setup_run.h"
#include "held_component.h"
#include "payload.h"
#include <string>

using namespace driver;
using setup_run::FolderWindow;

HINSTANCE g_hInstance;

namespace {

struct Run {
    std::vector<MessageBoxInfo> boxes;
    int calls;
    std::string apartment;
};

void ForgetCalls()
{
    SetEnvironmentVariableA("FAKE_COMPONENT_CALLS", nullptr);
    SetEnvironmentVariableA("FAKE_COMPONENT_APARTMENT", nullptr);
}

Run RegisterWith(FolderWindow &window, bool held = true)
{
    ForgetCalls();
    if (held)
        HoldComponent(window.handle());
    Run run;
    {
        BoxRecorder recorder;
        RegisterComponent(window.handle());
        run.boxes = recorder.boxes;
    }
    char text[16] = "0";
    GetEnvironmentVariableA("FAKE_COMPONENT_CALLS", text, sizeof text);
    run.calls = text[0] - '0';
    text[0] = 0;
    GetEnvironmentVariableA("FAKE_COMPONENT_APARTMENT", text, sizeof text);
    run.apartment = text;
    return run;
}

void ExpectFailureBox(const Run &run)
{
    CHECK(run.boxes.size() == 1);
    if (run.boxes.empty())
        return;
    CHECK_EQ(run.boxes[0].text, REGISTER_FAILED_TEXT);
    CHECK_EQ(run.boxes[0].title, SETUP_TITLE);
    CHECK(run.boxes[0].owner == nullptr);
    CHECK_EQ(run.boxes[0].icon, IconKind::Error);
}

// COM must be back to uninitialised on this thread: a fresh initialisation
// is the first one.
void ExpectComReleased()
{
    HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CHECK(result == S_OK);
    if (SUCCEEDED(result))
        CoUninitialize();
}

// Puts a stand-in component where RegisterComponent looks for it.
std::string Install(const char *fake, const std::string &componentFolder)
{
    CHECK(MakeDirectories(componentFolder));
    std::string target = componentFolder + COMPONENT_TAIL;
    std::string source = ProgramFolder() + "\\" + fake;
    CHECK(CopyFileA(source.c_str(), target.c_str(), FALSE) != 0);
    return target;
}

void ExpectUnloaded(const std::string &component)
{
    CHECK(GetModuleHandleA(component.c_str()) == nullptr);
    CHECK(DeleteFileA(component.c_str()) != 0);
}

void TestRegisterResults(FolderWindow &window, const std::string &root)
{
    lstrcpyA(g_szTopFolder, "Addins");
    window.SetFolder(root + "\\");
    const std::string folder = root + "\\Addins";

    check::Case("S_OK: registered, in a single-threaded apartment, then released");
    std::string component = Install("fake_ok.dll", folder);
    Run run = RegisterWith(window);
    CHECK(run.boxes.empty());
    CHECK(run.calls == 1);
    CHECK_EQ(run.apartment, "STA");
    ExpectUnloaded(component);
    ExpectComReleased();

    check::Case("S_FALSE counts as registered");
    component = Install("fake_false.dll", folder);
    run = RegisterWith(window);
    CHECK(run.boxes.empty());
    CHECK(run.calls == 1);
    ExpectUnloaded(component);
    ExpectComReleased();

    check::Case("E_FAIL: the failure message");
    component = Install("fake_fail.dll", folder);
    run = RegisterWith(window);
    ExpectFailureBox(run);
    CHECK(run.calls == 1);
    ExpectUnloaded(component);
    ExpectComReleased();

    check::Case("no DllRegisterServer export: the failure message");
    component = Install("fake_noexport.dll", folder);
    run = RegisterWith(window);
    ExpectFailureBox(run);
    CHECK(run.calls == 0);
    ExpectUnloaded(component);
    ExpectComReleased();

    check::Case("missing component file: the failure message");
    run = RegisterWith(window);
    ExpectFailureBox(run);
    ExpectComReleased();

    check::Case("a component the run did not write is not loaded");
    component = Install("fake_ok.dll", folder);
    run = RegisterWith(window, false);
    ExpectFailureBox(run);
    CHECK(run.calls == 0);
    ExpectUnloaded(component);

    // Windows refuses to rename a folder that holds an open file; Wine does
    // not, so there the check of the file's identity is what stops this.
    check::Case("the component's folder swapped after the run wrote it: not loaded");
    component = Install("fake_fail.dll", folder);
    HoldComponent(window.handle());
    const std::string moved = root + "\\Moved";
    if (MoveFileExA(folder.c_str(), moved.c_str(), 0)) {
        std::string planted = Install("fake_ok.dll", folder);
        run = RegisterWith(window, false);
        ExpectFailureBox(run);
        CHECK(run.calls == 0);
        ExpectUnloaded(planted);
        ReleaseComponentFile();
        ExpectUnloaded(moved + COMPONENT_TAIL);
        RemoveDirectoryA(moved.c_str());
    } else {
        ReleaseComponentFile();
        ExpectUnloaded(component);
    }
    ExpectComReleased();
}

void TestComponentPath(FolderWindow &window, const std::string &root)
{
    check::Case("the top folder of the latest run decides the path");
    std::string failing = Install("fake_fail.dll", root + "\\Addins");
    std::string other = Install("fake_ok.dll", root + "\\Second");
    lstrcpyA(g_szTopFolder, "Second");
    window.SetFolder(root + "  ");
    Run run = RegisterWith(window);
    CHECK(run.boxes.empty());
    CHECK(run.calls == 1);
    ExpectUnloaded(failing);
    ExpectUnloaded(other);

    check::Case("folder C:\\ gives C:\\Addins\\Quenbrik.dll");
    lstrcpyA(g_szTopFolder, "Addins");
    std::string atRoot = Install("fake_ok.dll", "C:\\Addins");
    window.SetFolder("C:\\");
    run = RegisterWith(window);
    CHECK(run.boxes.empty());
    CHECK(run.calls == 1);
    ExpectUnloaded(atRoot);
    RemoveDirectoryA("C:\\Addins");

    check::Case("component path past 259 characters: the failure message");
    window.SetFolder("C:\\" + std::string(240, 'd'));  // folder fits, the file name does not
    run = RegisterWith(window);
    ExpectFailureBox(run);
    window.SetFolder("C:\\" + std::string(256, 'd'));  // not even the component folder fits
    run = RegisterWith(window);
    ExpectFailureBox(run);
    ExpectComReleased();
}

void TestApartments(FolderWindow &window, const std::string &root)
{
    lstrcpyA(g_szTopFolder, "Addins");
    window.SetFolder(root);
    std::string component = Install("fake_ok.dll", root + "\\Addins");

    check::Case("thread already multithreaded: failure message, MTA left alone");
    CHECK(CoInitializeEx(nullptr, COINIT_MULTITHREADED) == S_OK);
    Run run = RegisterWith(window);
    ExpectFailureBox(run);
    CHECK(run.calls == 0);
    CHECK(GetModuleHandleA(component.c_str()) == nullptr);
    // Still initialised once: a second initialisation is a repeat.
    CHECK(CoInitializeEx(nullptr, COINIT_MULTITHREADED) == S_FALSE);
    CoUninitialize();
    CoUninitialize();
    ExpectComReleased();

    check::Case("thread already single-threaded: registered, caller's COM kept");
    CHECK(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) == S_OK);
    run = RegisterWith(window);
    CHECK(run.boxes.empty());
    CHECK(run.calls == 1);
    CHECK_EQ(run.apartment, "STA");
    CHECK(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) == S_FALSE);
    CoUninitialize();
    CoUninitialize();
    ExpectComReleased();
    ExpectUnloaded(component);
}

}  // namespace

int main(int argc, char **argv)
{
    // ctest runs each case as host.register_component.<name>; CMake reads
    // the names from this table (wine_cases), one {"name", Function} a line.
    const std::map<std::string, void (*)(FolderWindow &, const std::string &)> cases = {
        {"results", TestRegisterResults},
        {"component_path", TestComponentPath},
        {"apartments", TestApartments},
    };
    auto found = check::FindCase(argc, argv, cases, "CASE");
    if (!found)
        return 2;
    ScratchFolder root("hostreg");
    FolderWindow window;
    (*found)(window, root.path());
    return check::Finish();
}
