// Folder trees under Win32 for the install benchmark: removing, comparing
// and plainly copying them.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "folders.h"

namespace wintree {

using driver::IsDirectory;
using driver::RemoveTree;
using driver::SameTree;
using driver::WindowsPath;

struct TreeSize {
    int files = 0;
    int directories = 0;
    std::uint64_t bytes = 0;
};
TreeSize MeasureTree(const std::string &root);

// Copies the contents of source into destination, which is created (one
// level) if missing: CreateDirectoryA for every folder, CopyFileA for every
// file. Fails on the first call that fails, describing it in *error.
bool CopyTree(const std::string &source, const std::string &destination, std::string *error);

}  // namespace wintree
