// Drives the windows of another Win32 process from a test program: start it,
// find its dialogs and message boxes, read and set control text, press
// buttons and keys, and wait for its exit code. Works across processes under
// Wine and Windows (posted messages and cross-process WM_GETTEXT/WM_SETTEXT).
// Also records the message boxes that the test program's own thread shows.
#pragma once
#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

namespace driver {

// A started process. The handles are closed, and a process still running is
// terminated, when the object goes away.
class Process {
public:
    Process() = default;
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;
    ~Process() { Kill(); }

    // Starts program with the given argument text after its quoted name.
    // Returns false (and sets *error) when CreateProcess fails.
    bool Start(const std::string &program, const std::string &arguments, std::string *error);

    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_; }
    bool Running() const;
    // Waits up to timeoutMs for the end; true and *exitCode when it ended.
    bool Wait(DWORD timeoutMs, DWORD *exitCode);
    void Kill();

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// Visible top-level windows of the process, optionally only those whose
// title is exactly title and whose class is className.
std::vector<HWND> TopWindows(DWORD processId, const char *title = nullptr, const char *className = nullptr);

// Waits for a visible top-level window of the process with this exact title
// that is not in exclude. Returns null after timeoutMs.
HWND WaitWindow(DWORD processId, const std::string &title, DWORD timeoutMs,
                const std::vector<HWND> &exclude = {});

// Waits until the window is destroyed or hidden.
bool WaitGone(HWND window, DWORD timeoutMs);

std::string WindowText(HWND window);
std::string ClassName(HWND window);
std::string ControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const std::string &text);
bool ControlVisible(HWND dialog, int id);
HWND Owner(HWND window);

// Posts WM_COMMAND for the control as a click on it would.
void PressButton(HWND dialog, int id);
// Posts a key press and release to the window (the dialog's message loop
// sees it, as it sees a typed key).
void PressKey(HWND window, UINT virtualKey);
// Posts the system command that the close box sends.
void PressCloseBox(HWND window);

// Progress bar position and upper limit (PBM_GETPOS, PBM_GETRANGE).
int ProgressPosition(HWND dialog, int id);
int ProgressMaximum(HWND dialog, int id);

enum class IconKind {
    None,
    Information,
    Question,
    Warning,
    Error,
    Unknown
};
const char *IconKindName(IconKind kind);
std::ostream &operator<<(std::ostream &out, IconKind kind);

struct MessageBoxInfo {
    HWND window = nullptr;
    std::string title;
    std::string text;  // the box's static control 0xFFFF
    HWND owner = nullptr;
    IconKind icon = IconKind::None;
    std::vector<int> buttons;  // ids of the box's buttons, in child order
};

// A message box is a dialog with the static text control 0xFFFF.
bool IsMessageBox(HWND window);
// Reads a message box. The icon kind is found by comparing what is on
// screen with the system's icons, so the box is brought to the top first.
MessageBoxInfo ReadMessageBox(HWND box);
// Waits for a message box of the process, with this title when title is not
// null, that is not in exclude.
HWND WaitMessageBox(DWORD processId, const char *title, DWORD timeoutMs,
                    const std::vector<HWND> &exclude = {});

// Records the message boxes that this thread shows while it lives, as each
// becomes active, and closes each with OK. The icon is told by its handle,
// which in this process is the system's own.
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder &) = delete;
    BoxRecorder &operator=(const BoxRecorder &) = delete;

    std::vector<MessageBoxInfo> boxes;

private:
    HHOOK hook_;
};

// A short pause for the other process to react to posted input.
void Settle(DWORD ms = 300);

}  // namespace driver
