#include "win_tree.h"

#include <algorithm>
#include <map>
#include <vector>

namespace wintree {

namespace {

struct Item {
    std::string name;
    bool directory;
    std::uint64_t size;
};

std::vector<Item> ListFolder(const std::string &folder)
{
    std::vector<Item> items;
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
void ListTree(const std::string &root, const std::string &relative, std::map<std::string, Item> *entries)
{
    for (const Item &item : ListFolder(relative.empty() ? root : root + "\\" + relative)) {
        std::string path = relative.empty() ? item.name : relative + "\\" + item.name;
        (*entries)[Lower(path)] = Item{path, item.directory, item.size};
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

bool IsDirectory(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string &path)
{
    if (!IsDirectory(path)) {
        DeleteFileA(path.c_str());
        return;
    }
    for (const Item &item : ListFolder(path))
        RemoveTree(path + "\\" + item.name);
    RemoveDirectoryA(path.c_str());
}

TreeSize MeasureTree(const std::string &root)
{
    TreeSize total;
    for (const Item &item : ListFolder(root)) {
        if (item.directory) {
            TreeSize inner = MeasureTree(root + "\\" + item.name);
            total.directories += 1 + inner.directories;
            total.files += inner.files;
            total.bytes += inner.bytes;
        } else {
            total.files++;
            total.bytes += item.size;
        }
    }
    return total;
}

bool SameTree(const std::string &actual, const std::string &expected, std::string *difference)
{
    std::map<std::string, Item> have, want;
    ListTree(actual, "", &have);
    ListTree(expected, "", &want);
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
            *difference = entry.second.name + " is not in the source";
            return false;
        }
    return true;
}

bool CopyTree(const std::string &source, const std::string &destination, std::string *error)
{
    if (!CreateDirectoryA(destination.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        *error = "cannot create " + destination;
        return false;
    }
    for (const Item &item : ListFolder(source)) {
        std::string from = source + "\\" + item.name;
        std::string to = destination + "\\" + item.name;
        if (item.directory) {
            if (!CopyTree(from, to, error))
                return false;
        } else if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
            *error = "cannot copy " + from + " to " + to;
            return false;
        }
    }
    return true;
}

}  // namespace wintree
