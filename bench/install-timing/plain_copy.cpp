// plain_copy SOURCE DESTINATION [EVENTS]: the install benchmark's floor. Puts the
// expanded files of an install into place the plain way (folder creation and
// CopyFileA), so that its run time is what any installer of the same files
// must spend under the same platform.
#include "win_tree.h"

#include <iostream>

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: plain_copy SOURCE DESTINATION [EVENTS]\n";
        return 2;
    }
    std::string error;
    if (!wintree::CopyTree(wintree::WindowsPath(argv[1]), wintree::WindowsPath(argv[2]), &error)) {
        std::cerr << "plain_copy: " << error << " (error " << GetLastError() << ")\n";
        return 1;
    }
    // With EVENTS, tell the caller the copy is done and stay until it has
    // read this process's times.
    if (argc == 4) {
        std::string name = argv[3];
        HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, (name + "_done").c_str());
        HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, (name + "_exit").c_str());
        if (done)
            SetEvent(done);
        if (release)
            WaitForSingleObject(release, 60000);
    }
    return 0;
}
