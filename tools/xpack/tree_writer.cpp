#include "tree_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "error.h"

namespace xpack {

namespace fs = std::filesystem;

namespace {

// Creates the missing folders of path, outermost first, and returns them.
std::vector<fs::path> MakeMissingFolders(const fs::path &path)
{
    std::vector<fs::path> missing;
    for (fs::path at = path; !at.empty(); at = at.parent_path()) {
        struct stat status;
        if (::stat(at.c_str(), &status) == 0)
            break;
        missing.insert(missing.begin(), at);
        if (at == at.parent_path())
            break;
    }
    std::vector<fs::path> made;
    for (const fs::path &at : missing) {
        if (::mkdir(at.c_str(), 0777) != 0) {
            std::string reason = SystemReason();
            for (auto it = made.rbegin(); it != made.rend(); ++it)
                ::rmdir(it->c_str());
            throw Error(Shown(at) + ": cannot create folder: " + reason);
        }
        made.push_back(at);
    }
    return made;
}

}  // namespace

TreeWriter::TreeWriter(const fs::path &folder) : folder_(folder)
{
    struct stat status;
    if (::lstat(folder.c_str(), &status) == 0) {
        if (S_ISLNK(status.st_mode))
            throw Error(Shown(folder) + ": is a symbolic link; not unpacking through it");
        if (!S_ISDIR(status.st_mode))
            throw Error(Shown(folder) + ": exists and is not a folder");
        base_ = FileHandle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat opened;
        if (!base_ || ::fstat(base_.get(), &opened) != 0)
            throw Error(Shown(folder) + ": cannot open folder: " + SystemReason());
        if (IdentityOf(opened) != IdentityOf(status))
            throw Error(Shown(folder) + ": was replaced while being opened");
        // Whatever is there already could not be told from what unpack
        // wrote, should it have to clean up.
        if (!ListFolder(base_.get(), folder).empty())
            throw Error(Shown(folder) + ": exists and is not empty; unpack into a new or empty folder");
        return;
    }
    if (errno != ENOENT)
        throw Error(Shown(folder) + ": " + SystemReason());

    fs::path normal = folder.lexically_normal();
    if (!normal.has_filename())
        normal = normal.parent_path();
    name_ = normal.filename().string();
    fs::path parentPath = normal.parent_path().empty() ? fs::path(".") : normal.parent_path();
    madeParents_ = MakeMissingFolders(parentPath);
    try {
        parent_ = FileHandle(::open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!parent_)
            throw Error(Shown(parentPath) + ": cannot open folder: " + SystemReason());
        for (int attempt = 0;; ++attempt) {
            staging_ = TemporaryName();
            if (::mkdirat(parent_.get(), staging_.c_str(), 0777) == 0)
                break;
            if (errno != EEXIST || attempt == 100) {
                std::string reason = SystemReason();
                staging_.clear();
                throw Error(Shown(folder) + ": cannot create a temporary folder beside it: " + reason);
            }
        }
        base_ = FileHandle(
            ::openat(parent_.get(), staging_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!base_)
            throw Error(Shown(folder) + ": cannot open the temporary folder beside it: " + SystemReason());
    } catch (...) {
        RollBack();
        throw;
    }
}

TreeWriter::~TreeWriter()
{
    if (!committed_)
        RollBack();
}

void TreeWriter::Remember(const fs::path &relative, bool isFolder, const FileIdentity &identity)
{
    index_[relative] = made_.size();
    made_.push_back(Made{relative, isFolder, identity});
}

void TreeWriter::MakeFolder(const fs::path &relative)
{
    FileHandle at = OpenFolderBelow(base_.get(), fs::path(), folder_);
    fs::path done;
    for (const fs::path &part : relative) {
        done /= part;
        fs::path shown = folder_ / done;
        bool made = ::mkdirat(at.get(), part.c_str(), 0777) == 0;
        if (!made && errno != EEXIST)
            throw Error(Shown(shown) + ": cannot create folder: " + SystemReason());
        FileHandle next(::openat(at.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next && (errno == ENOTDIR || errno == ELOOP))
            throw Error(Shown(shown) + ": exists and is not a folder");
        struct stat status;
        if (!next || ::fstat(next.get(), &status) != 0)
            throw Error(Shown(shown) + ": cannot open folder: " + SystemReason());
        if (made)
            Remember(done, true, IdentityOf(status));
        at = std::move(next);
    }
}

void TreeWriter::WriteFile(const fs::path &relative, const Bytes &data)
{
    fs::path shown = folder_ / relative;
    FileHandle folder = OpenFolderBelow(base_.get(), relative.parent_path(), folder_);
    auto earlier = index_.find(relative);
    if (earlier != index_.end() && !made_[earlier->second].isFolder && !RemoveMade(made_[earlier->second]))
        throw Error(Shown(shown) +
                    ": cannot replace the file written for an earlier entry: " + SystemReason());
    Remember(relative, false, WriteNewFile(folder.get(), relative.filename().string(), data, shown));
}

void TreeWriter::Commit()
{
    if (!staging_.empty() && RenameNoReplace(parent_.get(), staging_, name_) != 0)
        throw Error(Shown(folder_) + ": cannot move the unpacked tree into place: " + SystemReason());
    committed_ = true;
}

bool TreeWriter::RemoveMade(Made &made)
{
    if (made.removed)
        return true;
    try {
        FileHandle folder = OpenFolderBelow(base_.get(), made.relative.parent_path(), folder_);
        std::string name = made.relative.filename().string();
        struct stat status;
        if (::fstatat(folder.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            IdentityOf(status) != made.identity)
            return false;
        if (::unlinkat(folder.get(), name.c_str(), made.isFolder ? AT_REMOVEDIR : 0) != 0)
            return false;
    } catch (const Error &) {
        return false;
    }
    made.removed = true;
    return true;
}

void TreeWriter::RollBack()
{
    if (base_)
        for (auto it = made_.rbegin(); it != made_.rend(); ++it)
            RemoveMade(*it);
    if (!staging_.empty())
        ::unlinkat(parent_.get(), staging_.c_str(), AT_REMOVEDIR);
    for (auto it = madeParents_.rbegin(); it != madeParents_.rend(); ++it)
        ::rmdir(it->c_str());
}

}  // namespace xpack
