// demo_progress_hook.dll: a WH_CALLWNDPROCRET hook that the demonstration
// driver sets on the setup program's thread. The extraction run moves the
// progress bar with sent messages and pumps none, so the bar never repaints
// while it runs; when the bar has just passed half way, this hook repaints
// the dialog itself and saves it to the file named by
// CORVANE_DEMO_PROGRESS_SHOT. It runs once per process.
#include <windows.h>
#include <commctrl.h>

#include "snapshot.h"

namespace {

bool g_taken = false;

bool IsProgressBar(HWND window)
{
    char name[64];
    return GetClassNameA(window, name, sizeof name) && lstrcmpiA(name, PROGRESS_CLASSA) == 0;
}

void TakeSnapshot(HWND bar)
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("CORVANE_DEMO_PROGRESS_SHOT", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return;
    HWND dialog = GetAncestor(bar, GA_ROOT);
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT r;
    GetWindowRect(dialog, &r);
    HDC dc = GetWindowDC(dialog);
    SaveSnapshot(dc, 0, 0, r.right - r.left, r.bottom - r.top, path);
    ReleaseDC(dialog, dc);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProgressSnapshotHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && !g_taken) {
        const CWPRETSTRUCT *call = reinterpret_cast<const CWPRETSTRUCT *>(lParam);
        if (call->message == PBM_SETPOS && IsProgressBar(call->hwnd)) {
            int maximum = static_cast<int>(SendMessageA(call->hwnd, PBM_GETRANGE, FALSE, 0));
            int position = static_cast<int>(SendMessageA(call->hwnd, PBM_GETPOS, 0, 0));
            if (maximum > 0 && position * 2 >= maximum) {
                g_taken = true;
                TakeSnapshot(call->hwnd);
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
