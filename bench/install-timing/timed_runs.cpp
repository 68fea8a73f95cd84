#include "timed_runs.h"

#include "driver.h"
#include "host.h"
#include "setup.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace timed {

namespace {

const DWORD kTimeoutMs = 60000;

double FileTimeMs(const FILETIME &time)
{
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 10000.0;
}

// Wine's GetProcessTimes does not report another process's times, but its
// system process list does, for processes still running. The list's entries
// keep the layout of Windows' SYSTEM_PROCESS_INFORMATION on x86.
double LiveProcessCpuMs(DWORD processId)
{
    typedef LONG(WINAPI * QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
    static auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    const ULONG kSystemProcessInformation = 5;
    static std::vector<unsigned char> buffer(1 << 20);
    ULONG got = 0;
    if (!query ||
        query(kSystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &got) != 0)
        return -1;
    for (size_t offset = 0; offset + 72 <= buffer.size();) {
        const unsigned char *entry = &buffer[offset];
        ULONG next;
        ULONG_PTR id;
        LARGE_INTEGER user, kernel;
        std::memcpy(&next, entry, sizeof next);
        std::memcpy(&user, entry + 40, sizeof user);
        std::memcpy(&kernel, entry + 48, sizeof kernel);
        std::memcpy(&id, entry + 68, sizeof id);
        if (id == processId)
            return static_cast<double>(user.QuadPart + kernel.QuadPart) / 10000.0;
        if (next == 0)
            break;
        offset += next;
    }
    return -1;
}

// Polls at a millisecond's grain: the waits are part of what is timed.
HWND WaitSetupDialog(DWORD processId)
{
    double start = NowMs();
    while (NowMs() - start < kTimeoutMs) {
        for (HWND window : driver::TopWindows(processId, SETUP_TITLE, "#32770"))
            if (!driver::IsMessageBox(window))
                return window;
        Sleep(1);
    }
    return nullptr;
}

HWND WaitBox(DWORD processId, const std::vector<HWND> &exclude)
{
    double start = NowMs();
    while (NowMs() - start < kTimeoutMs) {
        for (HWND window : driver::TopWindows(processId))
            if (driver::IsMessageBox(window) &&
                std::find(exclude.begin(), exclude.end(), window) == exclude.end())
                return window;
        Sleep(1);
    }
    return nullptr;
}

RunTimes Fail(RunTimes times, const std::string &error)
{
    times.ok = false;
    times.error = error;
    return times;
}

}  // namespace

double NowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

RunTimes RunInstall(const std::string &setupExe, const std::string &folder, bool registrationMayFail)
{
    RunTimes times;
    driver::Process process;
    std::string error;
    double start = NowMs();
    if (!process.Start(setupExe, "", &error))
        return Fail(times, error);
    HWND dialog = WaitSetupDialog(process.Id());
    if (!dialog)
        return Fail(times, "the setup dialog did not appear");
    double shown = NowMs();
    times.dialogMs = shown - start;
    driver::SetControlText(dialog, IDC_FOLDER, folder);
    double pressed = NowMs();
    driver::PressButton(dialog, IDOK);
    HWND box = WaitBox(process.Id(), {});
    if (!box)
        return Fail(times, "no message box after Install");
    times.installMs = NowMs() - pressed;
    std::string title = driver::WindowText(box);
    if (title != FINISH_TITLE) {
        std::string text = driver::ControlText(box, 0xFFFF);
        if (!registrationMayFail || text != REGISTER_FAILED_TEXT)
            return Fail(times, "unexpected message: " + text);
        driver::PressButton(box, IDOK);
        HWND finish = WaitBox(process.Id(), {box});
        if (!finish || driver::WindowText(finish) != FINISH_TITLE)
            return Fail(times, "no finish box after the registration message");
        box = finish;
    }
    times.cpuMs = LiveProcessCpuMs(process.Id());
    driver::PressButton(box, IDNO);
    if (WaitForSingleObject(process.Handle(), kTimeoutMs) != WAIT_OBJECT_0)
        return Fail(times, "the setup program did not end");
    times.wallMs = NowMs() - start;
    times.ok = true;
    return times;
}

RunTimes RunPlainCopy(const std::string &copier, const std::string &source, const std::string &destination)
{
    // The copier signals "done" and waits for "exit", so that its CPU time
    // can be read while it still runs, as the setup program's is read at its
    // finish box.
    static int serial = 0;
    std::string name = "plain_copy_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, (name + "_done").c_str());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, (name + "_exit").c_str());
    RunTimes times;
    driver::Process process;
    std::string error;
    double start = NowMs();
    bool started = process.Start(copier, "\"" + source + "\" \"" + destination + "\" " + name, &error);
    if (started) {
        HANDLE either[2] = {done, process.Handle()};
        if (WaitForMultipleObjects(2, either, FALSE, kTimeoutMs) == WAIT_OBJECT_0)
            times.cpuMs = LiveProcessCpuMs(process.Id());
        SetEvent(release);
    }
    CloseHandle(done);
    CloseHandle(release);
    if (!started)
        return Fail(times, error);
    DWORD code = 1;
    if (!process.Wait(kTimeoutMs, &code))
        return Fail(times, "the plain copy did not end");
    times.wallMs = NowMs() - start;
    if (code != 0)
        return Fail(times, "the plain copy failed with exit code " + std::to_string(code));
    times.ok = true;
    return times;
}

}  // namespace timed
