// help_viewer HLP_FILE
// Opens the add-in's help file in the platform's help viewer at several
// topics, each named by its context string, and checks that the viewer shows
// the topic's title: the file's directory, topic chain, fonts and context
// table must all be readable for that.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "check.h"
#include "driver.h"
#include "folders.h"

namespace {

struct Topic {
    const char *context;
    const char *title;
};

BOOL CALLBACK FindRichEdit(HWND child, LPARAM found)
{
    std::string name = driver::ClassName(child);
    if (name.find("RichEdit") != std::string::npos || name.find("RICHEDIT") != std::string::npos) {
        *reinterpret_cast<HWND *>(found) = child;
        return FALSE;
    }
    return TRUE;
}

// Whether the page begins with the title: other topics' titles also appear
// in a page, as the text of its jumps.
bool StartsWithTitle(const std::string &text, const std::string &title)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first != std::string::npos && text.compare(first, title.size(), title) == 0;
}

// The text of the viewer's page once it begins with want, or what it last
// held.
std::string WaitPageText(DWORD pid, const std::string &want, DWORD timeoutMs)
{
    std::string text;
    for (DWORD waited = 0; waited < timeoutMs; waited += 200) {
        for (HWND top : driver::TopWindows(pid)) {
            HWND page = nullptr;
            EnumChildWindows(top, FindRichEdit, reinterpret_cast<LPARAM>(&page));
            if (page) {
                text = driver::WindowText(page);
                if (StartsWithTitle(text, want))
                    return text;
            }
        }
        Sleep(200);
    }
    return text;
}

void CheckTopic(const std::string &viewer, const std::string &file, const Topic &topic)
{
    driver::Process help;
    std::string error;
    if (!CHECK(help.Start(viewer, std::string("-i ") + topic.context + " \"" + file + "\"", &error),
               topic.context + (": " + error)))
        return;
    std::string text = WaitPageText(help.Id(), topic.title, 15000);
    CHECK(StartsWithTitle(text, topic.title), std::string(topic.context) + ": wanted \"" + topic.title +
                                                  "\", the page holds \"" + text.substr(0, 120) + "\"");
    for (HWND top : driver::TopWindows(help.Id()))
        CHECK(!driver::IsMessageBox(top),
              std::string(topic.context) + ": the viewer says \"" + driver::ControlText(top, 0xFFFF) + "\"");
    help.Kill();
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: help_viewer HLP_FILE\n");
        return 2;
    }
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    const std::string viewer = std::string(windows) + "\\winhlp32.exe";
    const std::string file = driver::WindowsPath(argv[1]);

    // The first topic, one in the first block of topics and the last one,
    // which lies in a later block.
    const std::vector<Topic> topics = {
        {"contents", "Torvik Add-in Help Contents"},
        {"flip", "Flip Source/Header"},
        {"contact", "Contacting Corvane Software"},
    };
    for (const Topic &topic : topics)
        CheckTopic(viewer, file, topic);
    return check::Finish();
}
