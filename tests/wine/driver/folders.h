// Files and folder trees for the Win32 test and benchmark programs: paths,
// whole-file reads and writes, removal and comparison.
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
// Makes the folder and the ones above it; true when it is there.
bool MakeDirectories(const std::string &path);

using Bytes = std::vector<unsigned char>;
// The whole file; empty when it cannot be read.
std::string ReadFileText(const std::string &path);
Bytes ReadFileBytes(const std::string &path);
bool WriteFileText(const std::string &path, const std::string &text);
bool WriteFileBytes(const std::string &path, const Bytes &bytes);

// Where the setup program puts its temporary file: %TEMP%\xpktemp.$$$
std::string TempFilePath();
// The folder that holds this program, without a trailing backslash.
std::string ProgramFolder();
bool SameTextIgnoringCase(const std::string &a, const std::string &b);

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

// A fresh folder under the temporary directory, removed with its content.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string &name);
    ~ScratchFolder() { RemoveTree(path_); }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

}  // namespace driver
