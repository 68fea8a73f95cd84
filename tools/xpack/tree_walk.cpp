#include "tree_walk.h"

#include <algorithm>
#include <map>
#include <system_error>

#include "error.h"
#include "file_io.h"
#include "names.h"

namespace xpack {

namespace fs = std::filesystem;

namespace {

struct Child {
    std::string name;
    fs::path path;
    bool isDirectory;
    std::uintmax_t size;
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
std::vector<Child> ReadFolder(const fs::path &folder)
{
    std::vector<Child> children;
    std::map<std::string, std::string> folded;  // case-folded name -> name
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    if (ec)
        throw Error(Shown(folder) + ": cannot read folder: " + ec.message());
    for (; it != end; it.increment(ec)) {
        if (ec)
            throw Error(Shown(folder) + ": cannot read folder: " + ec.message());
        const fs::path &path = it->path();
        std::string name = path.filename().string();
        std::string problem = ComponentProblem(name, false);
        if (!problem.empty())
            throw Error(Shown(path) + ": " + problem);
        auto [previous, inserted] = folded.emplace(FoldCase(name), name);
        if (!inserted)
            throw Error(Shown(path) + ": differs from \"" + previous->second +
                        "\" only in case; Windows would take them for one name");

        // Links are refused rather than followed: a link may leave the tree
        // or loop, and the packed tree should be what the folder holds.
        fs::file_status status = fs::symlink_status(path, ec);
        if (ec)
            throw Error(Shown(path) + ": " + ec.message());
        Child child{name, path, false, 0};
        if (fs::is_symlink(status))
            throw Error(Shown(path) + ": is a symbolic link; links are not packed");
        if (fs::is_directory(status)) {
            child.isDirectory = true;
        } else if (fs::is_regular_file(status)) {
            child.size = fs::file_size(path, ec);
            if (ec)
                throw Error(Shown(path) + ": " + ec.message());
            if (child.size > kMaxFileSize)
                throw Error(Shown(path) + ": is 4 GiB or larger; a payload holds smaller files only");
        } else {
            throw Error(Shown(path) + ": not a regular file or folder");
        }
        children.push_back(std::move(child));
    }
    std::sort(children.begin(), children.end(),
              [](const Child &a, const Child &b) { return a.name < b.name; });
    return children;
}

void WalkFolder(const fs::path &folder, const std::string &relative, TreeWalk &walk)
{
    std::vector<Child> children = ReadFolder(folder);
    for (const Child &child : children) {
        if (child.isDirectory)
            continue;
        WarnAboutLength(relative + child.name, child.path, true, walk.warnings);
        walk.items.push_back(PackItem{false, child.name, child.path, child.size});
    }
    for (const Child &child : children) {
        if (!child.isDirectory)
            continue;
        std::string name = relative + child.name + "\\";
        WarnAboutLength(name, child.path, false, walk.warnings);
        walk.items.push_back(PackItem{true, name, child.path, 0});
        WalkFolder(child.path, name, walk);
    }
}

}  // namespace

TreeWalk WalkTree(const fs::path &root)
{
    std::error_code ec;
    fs::file_status status = fs::status(root, ec);
    if (ec || !fs::is_directory(status))
        throw Error(Shown(root) + ": not a folder");
    TreeWalk walk;
    WalkFolder(root, "", walk);
    if (!walk.items.empty()) {
        const std::string &first = walk.items.front().name;
        std::string top = first.substr(0, first.find('\\'));
        if (top.size() > kTopFolderMax)
            walk.warnings.push_back("warning: " + Shown(walk.items.front().source) +
                                    ": the setup program keeps only the first " +
                                    std::to_string(kTopFolderMax) + " characters of the top folder \"" +
                                    top + "\"");
    }
    return walk;
}

}  // namespace xpack
