// file_io.h on POSIX: every name below a folder is reached through the
// folder's descriptor (openat and friends), never through a path again.
#include "file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "error.h"

namespace xpack {

namespace fs = std::filesystem;

const char *const kLinkName = "symbolic link";

struct Folder::Native {
    explicit Native(int descriptor) : fd(descriptor) {}
    ~Native() { ::close(fd); }
    int fd;
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

namespace {

// An open file descriptor, closed when its owner goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }
    // Gives up the descriptor without closing it, for a caller that closes
    // it itself and checks the result.
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

int Fd(const Folder &folder)
{
    return folder.native().fd;
}

Folder Adopt(int fd)
{
    return Folder(std::make_unique<Folder::Native>(fd));
}

FileIdentity IdentityOf(const struct stat &status)
{
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

ItemStatus StatusOf(const struct stat &status)
{
    ItemStatus item;
    item.identity = IdentityOf(status);
    if (S_ISLNK(status.st_mode))
        item.kind = ItemKind::Link;
    else if (S_ISDIR(status.st_mode))
        item.kind = ItemKind::Folder;
    else if (S_ISREG(status.st_mode))
        item.kind = ItemKind::File;
    else
        item.kind = ItemKind::Other;
    item.size = static_cast<std::uint64_t>(status.st_size);
    return item;
}

// The mode a new file asked for with mode gets under the process's umask.
mode_t NewFileMode(mode_t mode)
{
    // The umask can only be read by setting it; the packer has one thread.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mode & ~mask;
}

void WriteAll(int fd, const Bytes &data, const fs::path &shown)
{
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t wrote = ::write(fd, data.data() + done, data.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            throw Error(Shown(shown) + ": write error: " + SystemReason());
        done += static_cast<std::size_t>(wrote);
    }
}

// Reads an open file to its end after checking, on the handle itself, that
// it is the regular file expected.
Bytes ReadOpenFile(const Descriptor &file, const FileIdentity &expected, const fs::path &shown)
{
    struct stat status;
    if (::fstat(file.get(), &status) != 0)
        throw Error(Shown(shown) + ": " + SystemReason());
    if (!S_ISREG(status.st_mode) || IdentityOf(status) != expected)
        throw Error(Shown(shown) + ": was replaced after it was checked; not reading it");
    Bytes data;
    data.reserve(static_cast<std::size_t>(status.st_size));
    std::uint8_t buffer[65536];
    for (;;) {
        ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw Error(Shown(shown) + ": read error: " + SystemReason());
        if (got == 0)
            return data;
        data.insert(data.end(), buffer, buffer + got);
    }
}

// Whether name exists in folder, as itself rather than what it may link to.
bool LookUpAt(int folder, const std::string &name, struct stat &status, const fs::path &shown)
{
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0)
        return true;
    if (errno == ENOENT)
        return false;
    throw Error(Shown(shown) + ": " + SystemReason());
}

void RefuseToReplace(const struct stat &status, const fs::path &shown)
{
    if (S_ISLNK(status.st_mode))
        throw Error(Shown(shown) +
                    ": is a symbolic link; not writing through it (name the file it points to)");
    if (S_ISDIR(status.st_mode))
        throw Error(Shown(shown) + ": is a folder");
    if (!S_ISREG(status.st_mode))
        throw Error(Shown(shown) + ": is not a regular file (a device, FIFO or socket); not replacing it");
}

bool RenameNoReplaceAt(int folder, const std::string &from, const std::string &to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    // Without the flag the name was just seen free, which is as close as
    // the file system allows.
    return ::renameat(folder, from.c_str(), folder, to.c_str()) == 0;
}

// A new file with a temporary name in a folder, removed again unless kept.
class TemporaryFile {
public:
    TemporaryFile(int folder, const fs::path &target) : folder_(folder)
    {
        for (int attempt = 0;; ++attempt) {
            name_ = TemporaryName();
            int fd =
                ::openat(folder, name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd >= 0) {
                fd_ = fd;
                return;
            }
            if (errno != EEXIST || attempt == 100) {
                std::string reason = SystemReason();
                name_.clear();
                throw Error(Shown(target) + ": cannot create a temporary file beside it: " + reason);
            }
        }
    }
    ~TemporaryFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!name_.empty())
            ::unlinkat(folder_, name_.c_str(), 0);
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    int fd() const { return fd_; }
    // Closes the file, reporting whether its data reached the disk.
    bool Close()
    {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    const std::string &name() const { return name_; }
    void Keep() { name_.clear(); }

private:
    int folder_;
    int fd_ = -1;
    std::string name_;
};

}  // namespace

bool RenameNoReplace(const Folder &folder, const std::string &from, const std::string &to)
{
    return RenameNoReplaceAt(Fd(folder), from, to);
}

Bytes ReadWholeFile(const fs::path &path)
{
    struct stat status;
    if (::stat(path.c_str(), &status) != 0)
        throw Error(Shown(path) + ": " + SystemReason());
    if (S_ISDIR(status.st_mode))
        throw Error(Shown(path) + ": is a directory");
    // Opening a device can have effects of its own, and a FIFO can block.
    if (!S_ISREG(status.st_mode))
        throw Error(Shown(path) + ": not a regular file");
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!file)
        throw Error(Shown(path) + ": cannot open: " + SystemReason());
    return ReadOpenFile(file, IdentityOf(status), path);
}

bool IsFolder(const fs::path &path)
{
    std::error_code ec;
    return fs::is_directory(path, ec);
}

fs::path ResolvedPath(const fs::path &path, std::error_code &ec)
{
    return fs::weakly_canonical(path, ec);
}

Bytes ReadCheckedFile(const Folder &folder, const std::string &name, const FileIdentity &identity,
                      const fs::path &shown)
{
    // Checked by name first so that nothing but the expected file is ever
    // opened, and on the handle after, since the name may change hands.
    struct stat status;
    if (!LookUpAt(Fd(folder), name, status, shown))
        throw Error(Shown(shown) + ": disappeared after the folder was walked");
    if (S_ISLNK(status.st_mode))
        throw Error(Shown(shown) + ": is now a symbolic link; links are not packed");
    if (!S_ISREG(status.st_mode) || IdentityOf(status) != identity)
        throw Error(Shown(shown) + ": was replaced after the folder was walked; not reading it");
    Descriptor file(
        ::openat(Fd(folder), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!file)
        throw Error(Shown(shown) + ": cannot open: " + SystemReason());
    return ReadOpenFile(file, identity, shown);
}

std::vector<std::string> ListFolder(const Folder &folder, const fs::path &shown)
{
    // fdopendir takes over its descriptor, so it gets one of its own.
    int copy = ::openat(Fd(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *opened = copy < 0 ? nullptr : ::fdopendir(copy);
    if (!opened) {
        std::string reason = SystemReason();
        if (copy >= 0)
            ::close(copy);
        throw Error(Shown(shown) + ": cannot read folder: " + reason);
    }
    std::unique_ptr<DIR, int (*)(DIR *)> dir(opened, ::closedir);
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir.get());
        if (!entry)
            break;
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    if (errno != 0)
        throw Error(Shown(shown) + ": cannot read folder: " + SystemReason());
    std::sort(names.begin(), names.end());
    return names;
}

Folder OpenFolder(const fs::path &path, bool followLinks)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0 && errno == ENOTDIR)
        throw Error(Shown(path) + ": not a folder");
    if (fd < 0)
        throw Error(Shown(path) + ": cannot open folder: " + SystemReason());
    return Adopt(fd);
}

Folder OpenFolderBelow(const Folder &base, const fs::path &relative, const fs::path &baseShown)
{
    int fd = ::openat(Fd(base), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw Error(Shown(baseShown) + ": cannot open folder: " + SystemReason());
    Folder folder = Adopt(fd);
    fs::path shown = baseShown;
    for (const fs::path &part : relative) {
        shown /= part;
        int next = ::openat(Fd(folder), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            std::string reason = SystemReason();
            struct stat status;
            if (::fstatat(Fd(folder), part.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
                if (S_ISLNK(status.st_mode))
                    throw Error(Shown(shown) + ": is a symbolic link; not following it");
                if (!S_ISDIR(status.st_mode))
                    throw Error(Shown(shown) + ": is not a folder");
            }
            throw Error(Shown(shown) + ": cannot open folder: " + reason);
        }
        folder = Adopt(next);
    }
    return folder;
}

FileIdentity IdentityOf(const Folder &folder, const fs::path &shown)
{
    struct stat status;
    if (::fstat(Fd(folder), &status) != 0)
        throw Error(Shown(shown) + ": " + SystemReason());
    return IdentityOf(status);
}

ItemStatus LookUp(const Folder &folder, const std::string &name, const fs::path &shown)
{
    struct stat status;
    if (!LookUpAt(Fd(folder), name, status, shown))
        return ItemStatus{};
    return StatusOf(status);
}

ItemStatus LookUpPath(const fs::path &path)
{
    struct stat status;
    if (::lstat(path.c_str(), &status) == 0)
        return StatusOf(status);
    if (errno != ENOENT)
        throw Error(Shown(path) + ": " + SystemReason());
    return ItemStatus{};
}

bool MakeFolderIn(const Folder &folder, const std::string &name, const fs::path &shown)
{
    if (::mkdirat(Fd(folder), name.c_str(), 0777) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    throw Error(Shown(shown) + ": cannot create folder: " + SystemReason());
}

bool RemoveIfSame(const Folder &folder, const std::string &name, const FileIdentity &identity, bool isFolder)
{
    struct stat status;
    if (::fstatat(Fd(folder), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (IdentityOf(status) != identity)
        return false;
    return ::unlinkat(Fd(folder), name.c_str(), isFolder ? AT_REMOVEDIR : 0) == 0;
}

void WriteFileAtomically(const fs::path &path, const Bytes &data, FileMode newMode)
{
    // Everything is done relative to the folder's handle, so that the
    // checks and the rename concern the same folder.
    std::string name = path.filename().string();
    if (name.empty())
        throw Error(Shown(path) + ": names a folder, not a file");
    fs::path folderPath = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    Descriptor folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        throw Error(Shown(path) + ": cannot open its folder: " + SystemReason());

    struct stat existing;
    bool exists = LookUpAt(folder.get(), name, existing, path);
    if (exists)
        RefuseToReplace(existing, path);

    TemporaryFile temp(folder.get(), path);
    WriteAll(temp.fd(), data, path);
    // Root replacing someone's file gives it back to them; without the
    // capability to do so the file stays root's, as a new one would be.
    if (exists && ::geteuid() == 0 && ::fchown(temp.fd(), existing.st_uid, existing.st_gid) != 0 &&
        errno != EPERM)
        throw Error(Shown(path) + ": cannot keep its owner: " + SystemReason());
    if (::fchmod(temp.fd(), exists ? existing.st_mode & 0777 : NewFileMode(static_cast<mode_t>(newMode))) !=
            0 ||
        ::fsync(temp.fd()) != 0 || !temp.Close())
        throw Error(Shown(path) + ": write error: " + SystemReason());

    // The name may have changed hands while the data was written.
    exists = LookUpAt(folder.get(), name, existing, path);
    if (exists)
        RefuseToReplace(existing, path);
    bool renamed = exists ? ::renameat(folder.get(), temp.name().c_str(), folder.get(), name.c_str()) == 0
                          : RenameNoReplaceAt(folder.get(), temp.name(), name);
    if (!renamed)
        throw Error(Shown(path) + ": cannot replace: " + SystemReason());
    temp.Keep();
}

void ClaimStandardOutput()
{
    if (::isatty(STDOUT_FILENO))
        throw Error("standard output is a terminal; not writing file data to it");
}

FileIdentity WriteNewFile(const Folder &folder, const std::string &name, const Bytes &data,
                          const fs::path &shown)
{
    Descriptor file(
        ::openat(Fd(folder), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file)
        throw Error(Shown(shown) + ": cannot create: " + SystemReason());
    try {
        WriteAll(file.get(), data, shown);
        struct stat status;
        if (::fstat(file.get(), &status) != 0 || ::fchmod(file.get(), NewFileMode(kDataFileMode)) != 0 ||
            ::close(file.release()) != 0)
            throw Error(Shown(shown) + ": write error: " + SystemReason());
        return IdentityOf(status);
    } catch (const Error &) {
        ::unlinkat(Fd(folder), name.c_str(), 0);
        throw;
    }
}

}  // namespace xpack
