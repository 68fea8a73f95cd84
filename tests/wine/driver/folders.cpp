#include "folders.h"

#include <algorithm>
#include <map>

namespace driver {

namespace {

std::string Lower(std::string text)
{
    if (!text.empty())
        CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool ReadWhole(const std::string &path, std::string *content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(file, nullptr);
    content->assign(size, '\0');
    DWORD got = 0;
    bool ok = size == 0 || (ReadFile(file, &(*content)[0], size, &got, nullptr) && got == size);
    CloseHandle(file);
    return ok;
}

// Relative path (lower case) -> item, for the whole tree.
void ListTree(const std::string &root, const std::string &relative, std::map<std::string, FolderItem> *entries)
{
    for (const FolderItem &item : ListFolder(relative.empty() ? root : root + "\\" + relative)) {
        std::string path = relative.empty() ? item.name : relative + "\\" + item.name;
        (*entries)[Lower(path)] = FolderItem{path, item.directory, item.size};
        if (item.directory)
            ListTree(root, path, entries);
    }
}

}  // namespace

std::string WindowsPath(const std::string &path)
{
    if (path.empty() || path[0] != '/')
        return path;
    std::string result = "Z:" + path;
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<FolderItem> ListFolder(const std::string &folder)
{
    std::vector<FolderItem> items;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return items;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        items.push_back({name, directory, size});
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return items;
}

void RemoveTree(const std::string &path)
{
    if (!IsDirectory(path)) {
        DeleteFileA(path.c_str());
        return;
    }
    for (const FolderItem &item : ListFolder(path))
        RemoveTree(path + "\\" + item.name);
    RemoveDirectoryA(path.c_str());
}

bool SameTree(const std::string &actual, const std::string &expected, std::string *difference)
{
    std::map<std::string, FolderItem> have, want;
    ListTree(actual, "", &have);
    ListTree(expected, "", &want);
    if (want.empty()) {
        *difference = "the reference tree " + expected + " is empty";
        return false;
    }
    for (const auto &[key, item] : want) {
        auto found = have.find(key);
        if (found == have.end()) {
            *difference = item.name + " is missing";
            return false;
        }
        if (found->second.directory != item.directory) {
            *difference = item.name + " has the wrong kind";
            return false;
        }
        if (item.directory)
            continue;
        std::string a, b;
        if (!ReadWhole(actual + "\\" + found->second.name, &a) || !ReadWhole(expected + "\\" + item.name, &b) ||
            a != b) {
            *difference = item.name + " differs";
            return false;
        }
    }
    for (const auto &entry : have)
        if (!want.count(entry.first)) {
            *difference = entry.second.name + " is not in the reference";
            return false;
        }
    return true;
}

}  // namespace driver
