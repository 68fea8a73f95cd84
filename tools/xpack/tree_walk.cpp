#include "tree_walk.h"

#include <algorithm>
#include <map>

#include "error.h"
#include "names.h"

namespace xpack {

namespace fs = std::filesystem;

namespace {

struct Child {
    std::string name;
    bool isDirectory;
    std::uintmax_t size;
    FileIdentity identity;
};

void WarnAboutLength(const std::string &installed, const fs::path &where, bool isFile,
                     std::vector<std::string> &warnings)
{
    std::size_t length = std::char_traits<char>::length(kTypicalInstallRoot) + installed.size();
    std::string prefix = Shown(where) + ": installed under " + kTypicalInstallRoot + " its path has " +
                         std::to_string(length) + " characters, ";
    if (length > kMaxInstallPath)
        warnings.push_back(prefix + "more than the " + std::to_string(kMaxInstallPath) +
                           " the setup program can hold");
    else if (isFile && length > kMaxLzOpenPath)
        warnings.push_back(prefix + "more than the " + std::to_string(kMaxLzOpenPath) +
                           " the LZ expansion calls can open");
}

// The folder's entries, checked and sorted; throws on the first refusal.
std::vector<Child> ReadFolder(const Folder &folder, const fs::path &folderPath)
{
    std::vector<Child> children;
    std::map<std::string, std::string> folded;  // case-folded name -> name
    for (const std::string &name : ListFolder(folder, folderPath)) {
        fs::path path = folderPath / fs::u8path(name);
        std::string problem = ComponentProblem(name, false);
        if (!problem.empty())
            throw Error(Shown(path) + ": " + problem);
        auto [previous, inserted] = folded.emplace(FoldCase(name), name);
        if (!inserted)
            throw Error(Shown(path) + ": differs from \"" + Printable(previous->second) +
                        "\" only in case; Windows would take them for one name");

        // Links are refused rather than followed: a link may leave the tree
        // or loop, and the packed tree should be what the folder holds.
        ItemStatus status = LookUp(folder, name, path);
        Child child{name, false, 0, status.identity};
        switch (status.kind) {
        case ItemKind::Missing:
            throw Error(Shown(path) + ": disappeared while the folder was walked");
        case ItemKind::Link:
            throw Error(Shown(path) + ": is a " + kLinkName + "; links are not packed");
        case ItemKind::Folder:
            child.isDirectory = true;
            break;
        case ItemKind::File:
            child.size = status.size;
            if (child.size > kMaxFileSize)
                throw Error(Shown(path) + ": is 4 GiB or larger; a payload holds smaller files only");
            break;
        case ItemKind::Other:
            throw Error(Shown(path) + ": not a regular file or folder");
        }
        children.push_back(std::move(child));
    }
    return children;
}

void WalkFolder(const Folder &folder, const fs::path &relative, const std::string &prefix, TreeWalk &walk)
{
    fs::path folderPath = walk.rootPath / relative;
    std::vector<Child> children = ReadFolder(folder, folderPath);
    for (const Child &child : children) {
        if (child.isDirectory)
            continue;
        fs::path name = fs::u8path(child.name);
        WarnAboutLength(prefix + child.name, folderPath / name, true, walk.warnings);
        walk.items.push_back(
            PackItem{false, child.name, relative / name, folderPath / name, child.size, child.identity});
    }
    for (const Child &child : children) {
        if (!child.isDirectory)
            continue;
        fs::path path = folderPath / fs::u8path(child.name);
        Folder opened = OpenFolderBelow(folder, fs::u8path(child.name), folderPath);
        if (IdentityOf(opened, path) != child.identity)
            throw Error(Shown(path) + ": was replaced while the folder was walked");
        std::string name = prefix + child.name + "\\";
        WarnAboutLength(name, path, false, walk.warnings);
        walk.items.push_back(
            PackItem{true, name, relative / fs::u8path(child.name), path, 0, child.identity});
        WalkFolder(opened, relative / fs::u8path(child.name), name, walk);
    }
}

}  // namespace

TreeWalk WalkTree(const fs::path &root)
{
    TreeWalk walk;
    walk.rootPath = root;
    // The folder named on the command line is taken as the user gave it.
    walk.root = OpenFolder(root);
    WalkFolder(walk.root, fs::path(), "", walk);
    if (walk.items.empty()) {
        walk.warnings.push_back(Shown(root) +
                                ": the folder is empty; the setup program would install nothing");
        return walk;
    }
    const PackItem &first = walk.items.front();
    if (!first.isDirectory)
        walk.warnings.push_back(
            Shown(first.source) +
            ": the first entry is a file; the setup program takes its name as the top folder");
    std::string top = first.name.substr(0, first.name.find('\\'));
    if (top.size() > TOP_FOLDER_MAX)
        walk.warnings.push_back(Shown(first.source) + ": the setup program keeps only the first " +
                                std::to_string(TOP_FOLDER_MAX) + " characters of the top folder \"" + top +
                                "\"");
    return walk;
}

TreeReader::TreeReader(const TreeWalk &walk)
    : walk_(walk), folder_(OpenFolderBelow(walk.root, fs::path(), walk.rootPath))
{
}

Bytes TreeReader::Read(const PackItem &item)
{
    if (!item.isDirectory)
        return ReadCheckedFile(folder_, item.relative.filename().string(), item.identity, item.source);
    folder_ = OpenFolderBelow(walk_.root, item.relative, walk_.rootPath);
    if (IdentityOf(folder_, item.source) != item.identity)
        throw Error(Shown(item.source) + ": was replaced after the folder was walked; not reading it");
    return {};
}

}  // namespace xpack
