// corvane_demo SETUP_EXE OUTDIR HOOK_DLL
// Walks the setup program through a whole installation the way a user
// would, and saves a snapshot of each step in OUTDIR: the setup dialog, the
// Help message, the About box, the progress bar during the run (taken by
// HOOK_DLL inside the setup process) and the finish question. It answers the
// question with No, since the prefix has no browser for the readme.
// Exit status 0 when every step was seen and the setup program ended with 0.
#include <windows.h>

#include <cstdio>
#include <string>

#include "driver.h"
#include "expected_texts.h"
#include "snapshot.h"

namespace {

const DWORD kWindowWait = 20000;
const DWORD kInstallWait = 60000;

struct Demo {
    std::string outDir;
    int failures = 0;

    std::string Shot(const char *name) const { return outDir + "\\" + name + ".bmp"; }

    void Step(const char *what)
    {
        std::printf("demo: %s\n", what);
        std::fflush(stdout);
    }

    bool Fail(const std::string &why)
    {
        std::fprintf(stderr, "demo: %s\n", why.c_str());
        ++failures;
        return false;
    }

    bool Snapshot(HWND window, const char *name)
    {
        // Active captions, as a user sees the window they work in.
        SetForegroundWindow(window);
        driver::Settle(400);
        if (!SaveWindowSnapshot(window, Shot(name).c_str()))
            return Fail(std::string("cannot save the snapshot ") + Shot(name));
        return true;
    }
};

// The two windows together, as they stand on screen.
bool SaveUnionSnapshot(HWND a, HWND b, const std::string &path)
{
    RECT ra, rb, u;
    if (!GetWindowRect(a, &ra) || !GetWindowRect(b, &rb))
        return false;
    UnionRect(&u, &ra, &rb);
    HDC screen = GetDC(nullptr);
    bool ok = SaveSnapshot(screen, u.left, u.top, u.right - u.left, u.bottom - u.top, path.c_str());
    ReleaseDC(nullptr, screen);
    return ok;
}

bool ShowHelp(Demo &demo, DWORD pid, HWND dialog)
{
    demo.Step("Help");
    driver::PressButton(dialog, IDC_HELP);
    HWND box = driver::WaitMessageBox(pid, SETUP_TITLE, kWindowWait);
    if (!box)
        return demo.Fail("no Help message appeared");
    demo.Snapshot(box, "help");
    driver::PressButton(box, IDOK);
    if (!driver::WaitGone(box, kWindowWait))
        return demo.Fail("the Help message did not close");
    return true;
}

bool ShowAbout(Demo &demo, DWORD pid, HWND dialog)
{
    demo.Step("About");
    driver::PressButton(dialog, IDC_ABOUT);
    HWND about = driver::WaitWindow(pid, EXPECTED_ABOUT_TITLE, kWindowWait);
    if (!about)
        return demo.Fail("no About box appeared");
    demo.Snapshot(about, "about");
    driver::PressButton(about, IDOK);
    if (!driver::WaitGone(about, kWindowWait))
        return demo.Fail("the About box did not close");
    return true;
}

bool Install(Demo &demo, DWORD pid, HWND dialog, HMODULE hook)
{
    demo.Step("Install");
    HOOKPROC proc = reinterpret_cast<HOOKPROC>(GetProcAddress(hook, "ProgressSnapshotHook"));
    DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    HHOOK handle = proc ? SetWindowsHookExA(WH_CALLWNDPROCRET, proc, hook, thread) : nullptr;
    if (!handle)
        demo.Fail("cannot hook the setup thread; no snapshot of the running progress bar");

    driver::PressButton(dialog, IDOK);
    HWND box = driver::WaitMessageBox(pid, FINISH_TITLE, kInstallWait);
    if (handle)
        UnhookWindowsHookEx(handle);
    if (!box)
        return demo.Fail("the finish question did not appear");
    std::printf("demo: progress bar at %d of %d\n", driver::ProgressPosition(dialog, IDC_PROGRESS),
                driver::ProgressMaximum(dialog, IDC_PROGRESS));
    driver::Settle(400);
    if (!SaveUnionSnapshot(dialog, box, demo.Shot("finish")))
        demo.Fail("cannot save the snapshot " + demo.Shot("finish"));
    if (GetFileAttributesA(demo.Shot("progress").c_str()) == INVALID_FILE_ATTRIBUTES)
        demo.Fail("the hook saved no snapshot of the running progress bar");

    demo.Step("answering No to the readme question");
    driver::PressButton(box, IDNO);
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: corvane_demo SETUP_EXE OUTDIR HOOK_DLL\n");
        return 2;
    }
    Demo demo;
    demo.outDir = argv[2];
    CreateDirectoryA(demo.outDir.c_str(), nullptr);

    HMODULE hook = LoadLibraryA(argv[3]);
    if (!hook)
        demo.Fail(std::string("cannot load ") + argv[3]);
    // The setup process inherits this and the hook reads it there.
    SetEnvironmentVariableA("CORVANE_DEMO_PROGRESS_SHOT", demo.Shot("progress").c_str());

    driver::Process setup;
    std::string error;
    if (!setup.Start(argv[1], "", &error)) {
        std::fprintf(stderr, "demo: %s\n", error.c_str());
        return 1;
    }
    demo.Step("waiting for the setup dialog");
    HWND dialog = driver::WaitWindow(setup.Id(), SETUP_TITLE, kWindowWait);
    if (!dialog) {
        std::fprintf(stderr, "demo: the setup dialog did not appear\n");
        return 1;
    }
    std::printf("demo: suggested folder \"%s\"\n", driver::ControlText(dialog, IDC_FOLDER).c_str());
    demo.Snapshot(dialog, "setup-dialog");

    if (ShowHelp(demo, setup.Id(), dialog) && ShowAbout(demo, setup.Id(), dialog) && hook)
        Install(demo, setup.Id(), dialog, hook);

    DWORD exitCode = 0;
    if (!setup.Wait(kWindowWait, &exitCode)) {
        demo.Fail("the setup program did not end");
    } else {
        std::printf("demo: setup ended with exit code %lu\n", exitCode);
        if (exitCode != 0)
            demo.Fail("the exit code is not 0");
    }
    if (hook)
        FreeLibrary(hook);
    return demo.failures == 0 ? 0 : 1;
}
