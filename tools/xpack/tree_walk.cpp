#include "tree_walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
    std::string prefix = "warning: " + Shown(where) + ": installed under " + kTypicalInstallRoot +
                         " its path has " + std::to_string(length) + " characters, ";
    if (length > kMaxInstallPath)
        warnings.push_back(prefix + "more than the " + std::to_string(kMaxInstallPath) +
                           " the setup program can hold");
    else if (isFile && length > kMaxLzOpenPath)
        warnings.push_back(prefix + "more than the " + std::to_string(kMaxLzOpenPath) +
                           " the LZ expansion calls can open");
}

// The folder's entries, checked and sorted; throws on the first refusal.
std::vector<Child> ReadFolder(int folder, const fs::path &folderPath)
{
    std::vector<Child> children;
    std::map<std::string, std::string> folded;  // case-folded name -> name
    for (const std::string &name : ListFolder(folder, folderPath)) {
        fs::path path = folderPath / name;
        std::string problem = ComponentProblem(name, false);
        if (!problem.empty())
            throw Error(Shown(path) + ": " + problem);
        auto [previous, inserted] = folded.emplace(FoldCase(name), name);
        if (!inserted)
            throw Error(Shown(path) + ": differs from \"" + Printable(previous->second) +
                        "\" only in case; Windows would take them for one name");

        // Links are refused rather than followed: a link may leave the tree
        // or loop, and the packed tree should be what the folder holds.
        struct stat status;
        if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            throw Error(Shown(path) + ": " + SystemReason());
        Child child{name, false, 0, IdentityOf(status)};
        if (S_ISLNK(status.st_mode))
            throw Error(Shown(path) + ": is a symbolic link; links are not packed");
        if (S_ISDIR(status.st_mode)) {
            child.isDirectory = true;
        } else if (S_ISREG(status.st_mode)) {
            child.size = static_cast<std::uintmax_t>(status.st_size);
            if (child.size > kMaxFileSize)
                throw Error(Shown(path) + ": is 4 GiB or larger; a payload holds smaller files only");
        } else {
            throw Error(Shown(path) + ": not a regular file or folder");
        }
        children.push_back(std::move(child));
    }
    return children;
}

void WalkFolder(int folder, const fs::path &relative, const std::string &prefix, TreeWalk &walk)
{
    fs::path folderPath = walk.rootPath / relative;
    std::vector<Child> children = ReadFolder(folder, folderPath);
    for (const Child &child : children) {
        if (child.isDirectory)
            continue;
        WarnAboutLength(prefix + child.name, folderPath / child.name, true, walk.warnings);
        walk.items.push_back(PackItem{false, child.name, relative / child.name, folderPath / child.name,
                                      child.size, child.identity});
    }
    for (const Child &child : children) {
        if (!child.isDirectory)
            continue;
        fs::path path = folderPath / child.name;
        FileHandle opened(
            ::openat(folder, child.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat status;
        if (!opened || ::fstat(opened.get(), &status) != 0)
            throw Error(Shown(path) + ": cannot open folder: " + SystemReason());
        if (IdentityOf(status) != child.identity)
            throw Error(Shown(path) + ": was replaced while the folder was walked");
        std::string name = prefix + child.name + "\\";
        WarnAboutLength(name, path, false, walk.warnings);
        walk.items.push_back(PackItem{true, name, relative / child.name, path, 0, child.identity});
        WalkFolder(opened.get(), relative / child.name, name, walk);
    }
}

}  // namespace

TreeWalk WalkTree(const fs::path &root)
{
    TreeWalk walk;
    walk.rootPath = root;
    // The folder named on the command line is taken as the user gave it.
    walk.root = FileHandle(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!walk.root && errno == ENOTDIR)
        throw Error(Shown(root) + ": not a folder");
    if (!walk.root)
        throw Error(Shown(root) + ": cannot open folder: " + SystemReason());
    WalkFolder(walk.root.get(), fs::path(), "", walk);
    if (walk.items.empty()) {
        walk.warnings.push_back("warning: " + Shown(root) +
                                ": the folder is empty; the setup program would install nothing");
        return walk;
    }
    const PackItem &first = walk.items.front();
    if (!first.isDirectory)
        walk.warnings.push_back(
            "warning: " + Shown(first.source) +
            ": the first entry is a file; the setup program takes its name as the top folder");
    std::string top = first.name.substr(0, first.name.find('\\'));
    if (top.size() > TOP_FOLDER_MAX)
        walk.warnings.push_back("warning: " + Shown(first.source) +
                                ": the setup program keeps only the first " + std::to_string(TOP_FOLDER_MAX) +
                                " characters of the top folder \"" + top + "\"");
    return walk;
}

TreeReader::TreeReader(const TreeWalk &walk)
    : walk_(walk), folder_(OpenFolderBelow(walk.root.get(), fs::path(), walk.rootPath))
{
}

Bytes TreeReader::Read(const PackItem &item)
{
    if (!item.isDirectory)
        return ReadCheckedFile(folder_.get(), item.relative.filename().string(), item.identity, item.source);
    folder_ = OpenFolderBelow(walk_.root.get(), item.relative, walk_.rootPath);
    struct stat status;
    if (::fstat(folder_.get(), &status) != 0)
        throw Error(Shown(item.source) + ": " + SystemReason());
    if (IdentityOf(status) != item.identity)
        throw Error(Shown(item.source) + ": was replaced after the folder was walked; not reading it");
    return {};
}

}  // namespace xpack
