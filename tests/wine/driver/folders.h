// Folder trees for the Win32 test and benchmark programs: paths, removal
// and comparison.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace driver {

// /unix/path -> Z:\unix\path; Windows paths are returned unchanged.
std::string WindowsPath(const std::string &path);

bool Exists(const std::string &path);
bool IsDirectory(const std::string &path);

struct FolderItem {
    std::string name;
    bool directory;
    std::uint64_t size;
};
// The folder's items, without "." and "..".
std::vector<FolderItem> ListFolder(const std::string &folder);

// Removes a file, or a folder with everything in it.
void RemoveTree(const std::string &path);

// The same names (without regard to case) and byte-identical files; the
// first difference is described in *difference. An empty expected tree
// never matches: it means the reference was not made.
bool SameTree(const std::string &actual, const std::string &expected, std::string *difference);

}  // namespace driver
