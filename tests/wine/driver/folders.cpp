#include "folders.h"

#include "check.h"
#include "payload.h"

#include <algorithm>
#include <fstream>
#include <iterator>
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
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Relative path (lower case) -> item, for the whole tree.
void ListTree(const std::string &root, const std::string &relative,
              std::map<std::string, FolderItem> *entries)
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

bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectories(const std::string &path)
{
    for (size_t i = 3; i <= path.size(); i++)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    return IsDirectory(path);
}

std::string ReadFileText(const std::string &path)
{
    std::string text;
    ReadWhole(path, &text);
    return text;
}

Bytes ReadFileBytes(const std::string &path)
{
    std::string text = ReadFileText(path);
    return Bytes(text.begin(), text.end());
}

bool WriteFileText(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

bool WriteFileBytes(const std::string &path, const Bytes &bytes)
{
    return WriteFileText(path, std::string(bytes.begin(), bytes.end()));
}

std::string TempFilePath()
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + TEMP_FILE_NAME;
}

std::string ProgramFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of("\\/"));
}

bool SameTextIgnoringCase(const std::string &a, const std::string &b)
{
    return Lower(a) == Lower(b);
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
        if (!ReadWhole(actual + "\\" + found->second.name, &a) ||
            !ReadWhole(expected + "\\" + item.name, &b) || a != b) {
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

ScratchFolder::ScratchFolder(const std::string &name)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + name + "-" + std::to_string(GetCurrentProcessId());
    RemoveTree(path_);
    CHECK(CreateDirectoryA(path_.c_str(), nullptr) != 0, "make " + path_);
}

}  // namespace driver
