// plain_copy SOURCE DESTINATION: the install benchmark's floor. Puts the
// expanded files of an install into place the plain way (folder creation and
// CopyFileA), so that its run time is what any installer of the same files
// must spend under the same platform.
#include "win_tree.h"

#include <iostream>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::cerr << "usage: plain_copy SOURCE DESTINATION\n";
        return 2;
    }
    std::string error;
    if (!wintree::CopyTree(wintree::WindowsPath(argv[1]), wintree::WindowsPath(argv[2]), &error)) {
        std::cerr << "plain_copy: " << error << " (error " << GetLastError() << ")\n";
        return 1;
    }
    return 0;
}
