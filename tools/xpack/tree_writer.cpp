#include "tree_writer.h"

#include <system_error>

#include "error.h"

namespace xpack {

namespace fs = std::filesystem;

namespace {

// Removes folders, innermost first, each only while it is an empty folder.
void RemoveEmptyFolders(const std::vector<fs::path> &folders)
{
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(*it, ec)))
            fs::remove(*it, ec);
    }
}

// Creates the missing folders of path, outermost first, and returns them.
std::vector<fs::path> MakeMissingFolders(const fs::path &path)
{
    std::vector<fs::path> missing;
    for (fs::path at = path; !at.empty(); at = at.parent_path()) {
        std::error_code ec;
        if (fs::exists(fs::status(at, ec)))
            break;
        missing.insert(missing.begin(), at);
        if (at == at.parent_path())
            break;
    }
    std::vector<fs::path> made;
    for (const fs::path &at : missing) {
        std::error_code ec;
        if (!fs::create_directory(at, ec)) {
            std::string reason = ec ? ec.message() : "it appeared meanwhile";
            RemoveEmptyFolders(made);
            throw Error(Shown(at) + ": cannot create folder: " + reason);
        }
        made.push_back(at);
    }
    return made;
}

}  // namespace

TreeWriter::TreeWriter(const fs::path &folder) : folder_(folder)
{
    ItemStatus status = LookUpPath(folder);
    if (status.kind == ItemKind::Link)
        throw Error(Shown(folder) + ": is a " + kLinkName + "; not unpacking through it");
    if (status.kind != ItemKind::Missing) {
        if (status.kind != ItemKind::Folder)
            throw Error(Shown(folder) + ": exists and is not a folder");
        base_ = OpenFolder(folder, false);
        if (IdentityOf(base_, folder) != status.identity)
            throw Error(Shown(folder) + ": was replaced while being opened");
        // Whatever is there already could not be told from what unpack
        // wrote, should it have to clean up.
        if (!ListFolder(base_, folder).empty())
            throw Error(Shown(folder) + ": exists and is not empty; unpack into a new or empty folder");
        return;
    }

    fs::path normal = folder.lexically_normal();
    if (!normal.has_filename())
        normal = normal.parent_path();
    name_ = normal.filename().string();
    fs::path parentPath = normal.parent_path().empty() ? fs::path(".") : normal.parent_path();
    madeParents_ = MakeMissingFolders(parentPath);
    try {
        parent_ = OpenFolder(parentPath);
        for (int attempt = 0;; ++attempt) {
            staging_ = TemporaryName();
            if (MakeFolderIn(parent_, staging_, folder))
                break;
            if (attempt == 100) {
                staging_.clear();
                throw Error(Shown(folder) +
                            ": cannot create a temporary folder beside it: every name was taken");
            }
        }
        base_ = OpenFolderBelow(parent_, fs::u8path(staging_), parentPath);
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
    Folder at = OpenFolderBelow(base_, fs::path(), folder_);
    fs::path done;
    for (const fs::path &part : relative) {
        done /= part;
        fs::path shown = folder_ / done;
        std::string name = part.string();
        bool made = MakeFolderIn(at, name, shown);
        if (LookUp(at, name, shown).kind != ItemKind::Folder)
            throw Error(Shown(shown) + ": exists and is not a folder");
        Folder next = OpenFolderBelow(at, part, folder_ / done.parent_path());
        if (made)
            Remember(done, true, IdentityOf(next, shown));
        at = std::move(next);
    }
}

void TreeWriter::WriteFile(const fs::path &relative, const Bytes &data)
{
    fs::path shown = folder_ / relative;
    Folder folder = OpenFolderBelow(base_, relative.parent_path(), folder_);
    auto earlier = index_.find(relative);
    if (earlier != index_.end() && !made_[earlier->second].isFolder && !RemoveMade(made_[earlier->second]))
        throw Error(Shown(shown) +
                    ": cannot replace the file written for an earlier entry: " + SystemReason());
    Remember(relative, false, WriteNewFile(folder, relative.filename().string(), data, shown));
}

void TreeWriter::Commit()
{
    if (!staging_.empty()) {
        // Windows does not rename a folder that is held open.
        base_ = Folder();
        if (!RenameNoReplace(parent_, staging_, name_)) {
            std::string reason = SystemReason();
            base_ = OpenFolderBelow(parent_, fs::u8path(staging_), folder_.parent_path());
            throw Error(Shown(folder_) + ": cannot move the unpacked tree into place: " + reason);
        }
    }
    committed_ = true;
}

bool TreeWriter::RemoveMade(Made &made)
{
    if (made.removed)
        return true;
    try {
        Folder folder = OpenFolderBelow(base_, made.relative.parent_path(), folder_);
        if (!RemoveIfSame(folder, made.relative.filename().string(), made.identity, made.isFolder))
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
    base_ = Folder();
    if (!staging_.empty()) {
        try {
            ItemStatus status = LookUp(parent_, staging_, folder_);
            if (status.kind == ItemKind::Folder)
                RemoveIfSame(parent_, staging_, status.identity, true);
        } catch (const Error &) {
            // Left for the user: nothing of it can be told apart any more.
        }
    }
    // Windows does not remove a folder that is held open.
    parent_ = Folder();
    RemoveEmptyFolders(madeParents_);
}

}  // namespace xpack
