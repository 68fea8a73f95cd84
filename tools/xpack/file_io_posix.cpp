// file_io_platform.h on POSIX: every name below a folder is reached through
// the folder's descriptor (openat and friends), never through a path again.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "file_io_platform.h"

namespace xpack {

namespace fs = std::filesystem;

const char *const kLinkName = "symbolic link";

struct Folder::Native {
    platform::File file;
};

Folder::Folder() = default;
Folder::Folder(std::unique_ptr<Native> native) : native_(std::move(native)) {}
Folder::~Folder() = default;
Folder::Folder(Folder &&other) noexcept = default;
Folder &Folder::operator=(Folder &&other) noexcept = default;

std::string SystemReason()
{
    return std::strerror(errno);
}

std::vector<std::string> CommandLineArguments(int argc, char **argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

fs::path ResolvedPath(const fs::path &path, std::error_code &ec)
{
    return fs::weakly_canonical(path, ec);
}

namespace platform {

bool File::Close()
{
    std::intptr_t fd = std::exchange(native_, kNone);
    return fd == kNone || ::close(static_cast<int>(fd)) == 0;
}

const char *const kTerminalName = "terminal";

namespace {

int Fd(const File &file)
{
    return static_cast<int>(file.native());
}

int Fd(const Folder &folder)
{
    return Fd(folder.native().file);
}

// Takes over fd, when the call that gave it succeeded.
bool Adopt(int fd, File &file)
{
    if (fd < 0)
        return false;
    file = File(fd);
    return true;
}

bool Adopt(int fd, Folder &folder)
{
    if (fd < 0)
        return false;
    folder = Folder(std::make_unique<Folder::Native>(Folder::Native{File(fd)}));
    return true;
}

Item ItemOf(const struct stat &status)
{
    Item item;
    item.status.identity =
        FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
    if (S_ISLNK(status.st_mode))
        item.status.kind = ItemKind::Link;
    else if (S_ISDIR(status.st_mode))
        item.status.kind = ItemKind::Folder;
    else if (S_ISREG(status.st_mode))
        item.status.kind = ItemKind::File;
    else
        item.status.kind = ItemKind::Other;
    item.status.size = static_cast<std::uint64_t>(status.st_size);
    item.attributes = status.st_mode & 0777;
    item.owner = status.st_uid;
    item.group = status.st_gid;
    return item;
}

// A stat call's result as an item; a missing name is Missing, not a failure.
bool Found(int result, const struct stat &status, Item &item)
{
    if (result == 0)
        item = ItemOf(status);
    else if (errno == ENOENT)
        item = Item{};
    else
        return false;
    return true;
}

// The mode a new file asked for with mode gets under the process's umask.
mode_t NewFileMode(mode_t mode)
{
    // The umask can only be read by setting it; the packer has one thread.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mode & ~mask;
}

}  // namespace

bool StatusOfPath(const fs::path &path, bool followLinks, Item &item)
{
    struct stat status;
    return Found(followLinks ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status), status, item);
}

bool IsDevicePath(const fs::path &)
{
    return false;
}

bool OpenPathToRead(const fs::path &path, File &file)
{
    return Adopt(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC), file);
}

bool OpenFolderPath(const fs::path &path, bool followLinks, Folder &folder)
{
    return Adopt(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW)),
                 folder);
}

bool StatusOf(const File &file, Item &item)
{
    struct stat status;
    if (::fstat(Fd(file), &status) != 0)
        return false;
    item = ItemOf(status);
    return true;
}

bool StatusOf(const Folder &folder, ItemStatus &status)
{
    struct stat info;
    if (::fstat(Fd(folder), &info) != 0)
        return false;
    status = ItemOf(info).status;
    return true;
}

bool Reopen(const Folder &folder, Folder &again)
{
    return Adopt(::openat(Fd(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), again);
}

bool OpenFolderIn(const Folder &folder, const std::string &name, Folder &opened, ItemKind &found)
{
    if (Adopt(::openat(Fd(folder), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), opened))
        return true;
    int reason = errno;
    struct stat status;
    found = ::fstatat(Fd(folder), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0
                ? ItemOf(status).status.kind
                : ItemKind::Missing;
    errno = reason;
    return false;
}

bool OpenIn(const Folder &folder, const std::string &name, Access access, File &file, Item &item,
            const FileIdentity *expected)
{
    // Checked by name first so that nothing but the expected file is ever
    // opened, and on the handle after, since the name may change hands.
    struct stat status;
    if (!Found(::fstatat(Fd(folder), name.c_str(), &status, AT_SYMLINK_NOFOLLOW), status, item))
        return false;
    if (access != Access::Read || item.status.kind != ItemKind::File ||
        (expected && item.status.identity != *expected))
        return true;
    return Adopt(
               ::openat(Fd(folder), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC),
               file) &&
           StatusOf(file, item);
}

bool ListNames(const Folder &folder, std::vector<std::string> &names)
{
    // fdopendir takes over its descriptor, so it gets one of its own.
    int copy = ::openat(Fd(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *opened = copy < 0 ? nullptr : ::fdopendir(copy);
    if (!opened) {
        int reason = errno;
        if (copy >= 0)
            ::close(copy);
        errno = reason;
        return false;
    }
    std::unique_ptr<DIR, int (*)(DIR *)> dir(opened, ::closedir);
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir.get());
        if (!entry)
            return errno == 0;
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
}

Outcome MakeFolderAt(const Folder &folder, const std::string &name)
{
    if (::mkdirat(Fd(folder), name.c_str(), 0777) == 0)
        return Outcome::Done;
    return errno == EEXIST ? Outcome::NameTaken : Outcome::Failed;
}

Outcome CreateFileIn(const Folder &folder, const std::string &name, bool, File &file)
{
    if (Adopt(::openat(Fd(folder), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600),
              file))
        return Outcome::Done;
    return errno == EEXIST ? Outcome::NameTaken : Outcome::Failed;
}

// A read or write, tried again when a signal interrupted it.
template <typename Call>
bool Transfer(Call call, std::size_t &done)
{
    ssize_t result;
    do
        result = call();
    while (result < 0 && errno == EINTR);
    done = result < 0 ? 0 : static_cast<std::size_t>(result);
    return result >= 0;
}

bool ReadSome(const File &file, std::uint8_t *buffer, std::size_t size, std::size_t &got)
{
    return Transfer([&] { return ::read(Fd(file), buffer, size); }, got);
}

bool WriteSome(const File &file, const std::uint8_t *data, std::size_t size, std::size_t &wrote)
{
    return Transfer([&] { return ::write(Fd(file), data, size); }, wrote);
}

bool KeepOwner(const File &file, const Item &replaced)
{
    // Without the capability to give the file away it stays root's, as a
    // new one would be.
    return ::geteuid() != 0 || ::fchown(Fd(file), replaced.owner, replaced.group) == 0 || errno == EPERM;
}

bool SetAttributes(const File &file, const Item *replaced, FileMode newMode)
{
    return ::fchmod(Fd(file), replaced ? replaced->attributes : NewFileMode(static_cast<mode_t>(newMode))) ==
           0;
}

bool Flush(File &file)
{
    return ::fsync(Fd(file)) == 0 && file.Close();
}

bool RenameOver(const Folder &folder, const File &, const std::string &from, const std::string &to,
                bool replace)
{
    const char *source = from.c_str();
    const char *target = to.c_str();
#ifdef RENAME_NOREPLACE
    if (!replace) {
        if (::renameat2(Fd(folder), source, Fd(folder), target, RENAME_NOREPLACE) == 0)
            return true;
        if (errno != EINVAL && errno != ENOSYS)
            return false;
    }
#endif
    // Without the flag the name was just seen free, which is as close as
    // the file system allows.
    return ::renameat(Fd(folder), source, Fd(folder), target) == 0;
}

bool Delete(const Folder &folder, const File &, const std::string &name, bool isFolder)
{
    return ::unlinkat(Fd(folder), name.c_str(), isFolder ? AT_REMOVEDIR : 0) == 0;
}

bool StandardOutputIsTerminal()
{
    return ::isatty(STDOUT_FILENO);
}

void StandardOutputToBinary() {}

}  // namespace platform
}  // namespace xpack
