// Another program of the same user, swapping its own DLL in for the add-in
// component while the setup program installs into a folder it can write.
//   swapper file FOLDER REPLACEMENT    keeps moving a copy of REPLACEMENT
//                                      over FOLDER\QUENBRIK.DLL
//   swapper folder FOLDER REPLACEMENT  renames FOLDER away and puts in its
//                                      place a folder made beforehand, with
//                                      REPLACEMENT and the readme folder, so
//                                      that the install goes on into it
// Both start once the setup program has made the DLL, and stop once the
// component is registered, so that a swap after the install cannot be taken
// for one during it. Y:\swapper.ready tells that it watches; Y:\swaps.txt
// counts the swaps that succeeded.
#include "setup_run.h"

#include <cstring>

namespace {

const char kStaging[] = "Y:\\swap.new";

bool SwapFile(const std::string &dll, const std::string &replacement)
{
    return CopyFileA(replacement.c_str(), kStaging, FALSE) &&
           MoveFileExA(kStaging, dll.c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool SwapFolder(const std::string &folder)
{
    return MoveFileExA(folder.c_str(), (folder + ".old").c_str(), 0) &&
           MoveFileExA((folder + ".new").c_str(), folder.c_str(), 0);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 4)
        return 2;
    bool folderMode = std::strcmp(argv[1], "folder") == 0;
    std::string folder = argv[2], replacement = argv[3];
    std::string dll = folder + "\\QUENBRIK.DLL";
    if (folderMode) {
        std::string made = folder + ".new";
        if (!driver::MakeDirectories(made + "\\QUENBRIK") ||
            !CopyFileA(replacement.c_str(), (made + "\\QUENBRIK.DLL").c_str(), FALSE))
            return 1;
    }
    driver::WriteFileText("Y:\\swapper.ready", "");
    int swaps = 0;
    while (setup_run::RegisteredServerPath().empty()) {
        if (driver::Exists(dll) && (folderMode ? SwapFolder(folder) : SwapFile(dll, replacement))) {
            driver::WriteFileText("Y:\\swaps.txt", std::to_string(++swaps));
            if (folderMode)
                return 0;
        }
        Sleep(1);
    }
    return 0;
}
