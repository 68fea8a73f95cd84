// Folder trees under Win32 for the install benchmark: removing, comparing
// and plainly copying them.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace wintree {

// /unix/path -> Z:\unix\path; Windows paths are returned unchanged.
std::string WindowsPath(const std::string &path);

bool IsDirectory(const std::string &path);
void RemoveTree(const std::string &path);

struct TreeSize {
    int files = 0;
    int directories = 0;
    std::uint64_t bytes = 0;
};
TreeSize MeasureTree(const std::string &root);

// The same names (without regard to case) and byte-identical files; the
// first difference is described in *difference.
bool SameTree(const std::string &actual, const std::string &expected, std::string *difference);

// Copies the contents of source into destination, which is created (one
// level) if missing: CreateDirectoryA for every folder, CopyFileA for every
// file. Fails on the first call that fails, describing it in *error.
bool CopyTree(const std::string &source, const std::string &destination, std::string *error);

}  // namespace wintree
