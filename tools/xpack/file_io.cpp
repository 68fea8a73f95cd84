// The platform-free part of file_io.h: what is refused and every message.
// The platform's calls are in file_io_platform.h.
#include "file_io.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <random>

#include "error.h"
#include "file_io_platform.h"
#include "names.h"

namespace xpack {

namespace fs = std::filesystem;

using platform::Access;
using platform::File;
using platform::Item;
using platform::Outcome;

namespace {

[[noreturn]] void Fail(const fs::path &shown, const std::string &what)
{
    throw Error(Shown(shown) + ": " + what);
}

[[noreturn]] void FailWithReason(const fs::path &shown, const std::string &what)
{
    std::string reason = SystemReason();
    Fail(shown, what.empty() ? reason : what + ": " + reason);
}

// Refuses what a folder was asked for and is not one.
void RefuseAsFolder(ItemKind kind, const fs::path &shown)
{
    if (kind == ItemKind::Link)
        Fail(shown, std::string("is a ") + kLinkName + "; not following it");
    if (kind != ItemKind::Folder && kind != ItemKind::Missing)
        Fail(shown, "is not a folder");
}

// Refuses what an output may not replace.
void RefuseToReplace(ItemKind kind, const fs::path &shown)
{
    if (kind == ItemKind::Link)
        Fail(shown,
             std::string("is a ") + kLinkName + "; not writing through it (name the file it points to)");
    if (kind == ItemKind::Folder)
        Fail(shown, "is a folder");
    if (kind == ItemKind::Other)
        Fail(shown, "is not a regular file (a device, FIFO or socket); not replacing it");
}

Item LookUpItem(const Folder &folder, const std::string &name, const fs::path &shown)
{
    File unused;
    Item item;
    if (!platform::OpenIn(folder, name, Access::Look, unused, item))
        FailWithReason(shown, "");
    return item;
}

void WriteAll(const File &file, const Bytes &data, const fs::path &shown)
{
    std::size_t done = 0;
    while (done < data.size()) {
        std::size_t wrote = 0;
        if (!platform::WriteSome(file, data.data() + done, data.size() - done, wrote) || wrote == 0)
            FailWithReason(shown, "write error");
        done += wrote;
    }
}

Bytes ReadAll(const File &file, std::uint64_t expectedSize, const fs::path &shown)
{
    Bytes data;
    data.reserve(static_cast<std::size_t>(expectedSize));
    std::uint8_t buffer[65536];
    for (;;) {
        std::size_t got = 0;
        if (!platform::ReadSome(file, buffer, sizeof buffer, got))
            FailWithReason(shown, "read error");
        if (got == 0)
            return data;
        data.insert(data.end(), buffer, buffer + got);
    }
}

// A new file with a temporary name in a folder, deleted again unless kept.
class TemporaryFile {
public:
    TemporaryFile(const Folder &folder, const fs::path &target) : folder_(folder)
    {
        for (int attempt = 0;; ++attempt) {
            name_ = TemporaryName();
            Outcome made = platform::CreateFileIn(folder, name_, true, file_);
            if (made == Outcome::Done)
                return;
            if (made == Outcome::Failed || attempt == 100) {
                name_.clear();
                FailWithReason(target, "cannot create a temporary file beside it");
            }
        }
    }
    ~TemporaryFile()
    {
        if (!name_.empty())
            platform::Delete(folder_, file_, name_, false);
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    File &file() { return file_; }
    const std::string &name() const { return name_; }
    void Keep() { name_.clear(); }

private:
    const Folder &folder_;
    File file_;
    std::string name_;
};

}  // namespace

std::string Shown(const fs::path &path)
{
    return Printable(path.string());
}

std::string TemporaryName()
{
    static const char kHex[] = "0123456789abcdef";
    // The counter and the clock vary the name even where random_device
    // has no source of its own and repeats itself.
    static std::uint32_t counter = 0;
    std::uint32_t value =
        ++counter * 0x9E3779B9u ^
        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    try {
        std::random_device seed;
        value ^= seed();
    } catch (const std::exception &) {
    }
    std::string name = ".xpk";
    for (int shift = 28; shift >= 0; shift -= 4)
        name += kHex[(value >> shift) & 15];
    return name;
}

Bytes ReadWholeFile(const fs::path &path)
{
    // Opening a device can have effects of its own, and a FIFO can block.
    Item item;
    if (!platform::StatusOfPath(path, true, item) || item.status.kind == ItemKind::Missing)
        FailWithReason(path, "");
    if (item.status.kind == ItemKind::Folder)
        Fail(path, "is a folder");
    if (item.status.kind != ItemKind::File)
        Fail(path, "is not a regular file");
    File file;
    Item opened;
    if (!platform::OpenPathToRead(path, file))
        FailWithReason(path, "cannot open");
    if (!platform::StatusOf(file, opened))
        FailWithReason(path, "");
    if (opened.status.kind != ItemKind::File || opened.status.identity != item.status.identity)
        Fail(path, "was replaced after it was checked; not reading it");
    return ReadAll(file, opened.status.size, path);
}

bool IsFolder(const fs::path &path)
{
    Item item;
    return platform::StatusOfPath(path, true, item) && item.status.kind == ItemKind::Folder;
}

Folder OpenFolder(const fs::path &path, bool followLinks)
{
    Folder folder;
    if (!platform::OpenFolderPath(path, followLinks, folder)) {
        std::string reason = SystemReason();
        Item item;
        if (platform::StatusOfPath(path, followLinks, item))
            RefuseAsFolder(item.status.kind, path);
        Fail(path, "cannot open folder: " + reason);
    }
    ItemStatus status;
    if (!platform::StatusOf(folder, status))
        FailWithReason(path, "");
    RefuseAsFolder(status.kind, path);
    return folder;
}

Folder OpenFolderBelow(const Folder &base, const fs::path &relative, const fs::path &baseShown)
{
    Folder folder;
    if (!platform::Reopen(base, folder))
        FailWithReason(baseShown, "cannot open folder");
    fs::path shown = baseShown;
    for (const fs::path &part : relative) {
        shown /= part;
        Folder next;
        ItemKind found = ItemKind::Missing;
        if (!platform::OpenFolderIn(folder, part.string(), next, found)) {
            std::string reason = SystemReason();
            RefuseAsFolder(found, shown);
            Fail(shown, "cannot open folder: " + reason);
        }
        folder = std::move(next);
    }
    return folder;
}

FileIdentity IdentityOf(const Folder &folder, const fs::path &shown)
{
    ItemStatus status;
    if (!platform::StatusOf(folder, status))
        FailWithReason(shown, "");
    return status.identity;
}

ItemStatus LookUp(const Folder &folder, const std::string &name, const fs::path &shown)
{
    return LookUpItem(folder, name, shown).status;
}

ItemStatus LookUpPath(const fs::path &path)
{
    Item item;
    if (!platform::StatusOfPath(path, false, item))
        FailWithReason(path, "");
    return item.status;
}

std::vector<std::string> ListFolder(const Folder &folder, const fs::path &shown)
{
    std::vector<std::string> names;
    if (!platform::ListNames(folder, names))
        FailWithReason(shown, "cannot read folder");
    std::sort(names.begin(), names.end());
    return names;
}

Bytes ReadCheckedFile(const Folder &folder, const std::string &name, const FileIdentity &identity,
                      const fs::path &shown)
{
    File file;
    Item item;
    if (!platform::OpenIn(folder, name, Access::Read, file, item, &identity))
        FailWithReason(shown, "cannot open");
    if (item.status.kind == ItemKind::Missing)
        Fail(shown, "disappeared after the folder was walked");
    if (item.status.kind == ItemKind::Link)
        Fail(shown, std::string("is now a ") + kLinkName + "; links are not packed");
    if (!file || item.status.kind != ItemKind::File || item.status.identity != identity)
        Fail(shown, "was replaced after the folder was walked; not reading it");
    return ReadAll(file, item.status.size, shown);
}

bool MakeFolderIn(const Folder &folder, const std::string &name, const fs::path &shown)
{
    Outcome made = platform::MakeFolderAt(folder, name);
    if (made == Outcome::Failed)
        FailWithReason(shown, "cannot create folder");
    return made == Outcome::Done;
}

FileIdentity WriteNewFile(const Folder &folder, const std::string &name, const Bytes &data,
                          const fs::path &shown)
{
    File file;
    if (platform::CreateFileIn(folder, name, false, file) != Outcome::Done)
        FailWithReason(shown, "cannot create");
    try {
        WriteAll(file, data, shown);
        Item item;
        if (!platform::StatusOf(file, item) || !platform::SetAttributes(file, nullptr, kDataFileMode) ||
            !file.Close())
            FailWithReason(shown, "write error");
        return item.status.identity;
    } catch (const Error &) {
        platform::Delete(folder, file, name, false);
        throw;
    }
}

bool RemoveIfSame(const Folder &folder, const std::string &name, const FileIdentity &identity, bool isFolder)
{
    File item;
    Item found;
    if (!platform::OpenIn(folder, name, Access::Remove, item, found))
        return false;
    if (found.status.kind == ItemKind::Missing)
        return true;
    if (found.status.kind != (isFolder ? ItemKind::Folder : ItemKind::File) ||
        found.status.identity != identity)
        return false;
    return platform::Delete(folder, item, name, isFolder);
}

bool RenameNoReplace(const Folder &folder, const std::string &from, const std::string &to)
{
    File item;
    Item found;
    return platform::OpenIn(folder, from, Access::Remove, item, found) &&
           found.status.kind != ItemKind::Missing && platform::RenameOver(folder, item, from, to, false);
}

void WriteFileAtomically(const fs::path &path, const Bytes &data, FileMode newMode)
{
    // Everything is done relative to the folder's handle, so that the
    // checks and the rename concern the same folder.
    std::string name = path.filename().string();
    if (name.empty())
        Fail(path, "names a folder, not a file");
    if (platform::IsDevicePath(path))
        RefuseToReplace(ItemKind::Other, path);
    fs::path folderPath = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    Folder folder;
    if (!platform::OpenFolderPath(folderPath, true, folder))
        FailWithReason(path, "cannot open its folder");

    Item was = LookUpItem(folder, name, path);
    RefuseToReplace(was.status.kind, path);
    bool exists = was.status.kind == ItemKind::File;

    TemporaryFile temp(folder, path);
    WriteAll(temp.file(), data, path);
    // Root replacing someone's file gives it back to them; the replaced
    // file's permission bits or attributes carry over.
    if (exists && !platform::KeepOwner(temp.file(), was))
        FailWithReason(path, "cannot keep its owner");
    if (!platform::SetAttributes(temp.file(), exists ? &was : nullptr, newMode) ||
        !platform::Flush(temp.file()))
        FailWithReason(path, "write error");

    // The name may have changed hands while the data was written.
    Item now = LookUpItem(folder, name, path);
    RefuseToReplace(now.status.kind, path);
    if (!platform::RenameOver(folder, temp.file(), temp.name(), name, now.status.kind == ItemKind::File))
        FailWithReason(path, "cannot replace");
    temp.Keep();
}

void ClaimStandardOutput()
{
    if (platform::StandardOutputIsTerminal())
        throw Error(std::string("standard output is a ") + platform::kTerminalName +
                    "; not writing file data to it");
    platform::StandardOutputToBinary();
}

void WriteOutput(const fs::path &path, const Bytes &data, FileMode newMode)
{
    if (path != "-") {
        WriteFileAtomically(path, data, newMode);
        return;
    }
    ClaimStandardOutput();
    std::cout.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    std::cout.flush();
    if (!std::cout)
        throw Error("standard output: write error");
}

}  // namespace xpack
