#include "file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <random>

#include "error.h"
#include "names.h"

namespace xpack {

namespace fs = std::filesystem;

FileHandle::~FileHandle()
{
    if (fd_ >= 0)
        ::close(fd_);
}

FileHandle &FileHandle::operator=(FileHandle &&other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileIdentity IdentityOf(const struct stat &status)
{
    return FileIdentity{status.st_dev, status.st_ino};
}

std::string Shown(const fs::path &path)
{
    return Printable(path.string());
}

std::string SystemReason()
{
    return std::strerror(errno);
}

mode_t NewFileMode(mode_t mode)
{
    // The umask can only be read by setting it; the packer has one thread.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mode & ~mask;
}

std::string TemporaryName()
{
    static const char kHex[] = "0123456789abcdef";
    std::random_device seed;
    std::uint32_t value = seed();
    std::string name = ".xpk";
    for (int shift = 28; shift >= 0; shift -= 4)
        name += kHex[(value >> shift) & 15];
    return name;
}

namespace {

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
Bytes ReadOpenFile(const FileHandle &file, const FileIdentity &expected, const fs::path &shown)
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
bool LookUp(int folder, const std::string &name, struct stat &status, const fs::path &shown)
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

// A new file with a temporary name in a folder, removed again unless kept.
class TemporaryFile {
public:
    TemporaryFile(int folder, const fs::path &target) : folder_(folder)
    {
        for (int attempt = 0;; ++attempt) {
            name_ = TemporaryName();
            handle_ = FileHandle(
                ::openat(folder, name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (handle_)
                return;
            if (errno != EEXIST || attempt == 100) {
                std::string reason = SystemReason();
                name_.clear();
                throw Error(Shown(target) + ": cannot create a temporary file beside it: " + reason);
            }
        }
    }
    ~TemporaryFile()
    {
        if (!name_.empty())
            ::unlinkat(folder_, name_.c_str(), 0);
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    FileHandle &handle() { return handle_; }
    const std::string &name() const { return name_; }
    void Keep() { name_.clear(); }

private:
    int folder_;
    std::string name_;
    FileHandle handle_;
};

}  // namespace

int RenameNoReplace(int folder, const std::string &from, const std::string &to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    // Without the flag the name was just seen free, which is as close as
    // the file system allows.
    return ::renameat(folder, from.c_str(), folder, to.c_str());
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
    FileHandle file(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!file)
        throw Error(Shown(path) + ": cannot open: " + SystemReason());
    return ReadOpenFile(file, IdentityOf(status), path);
}

Bytes ReadCheckedFile(int folder, const std::string &name, const FileIdentity &identity,
                      const fs::path &shown)
{
    // Checked by name first so that nothing but the expected file is ever
    // opened, and on the handle after, since the name may change hands.
    struct stat status;
    if (!LookUp(folder, name, status, shown))
        throw Error(Shown(shown) + ": disappeared after the folder was walked");
    if (S_ISLNK(status.st_mode))
        throw Error(Shown(shown) + ": is now a symbolic link; links are not packed");
    if (!S_ISREG(status.st_mode) || IdentityOf(status) != identity)
        throw Error(Shown(shown) + ": was replaced after the folder was walked; not reading it");
    FileHandle file(
        ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!file)
        throw Error(Shown(shown) + ": cannot open: " + SystemReason());
    return ReadOpenFile(file, identity, shown);
}

std::vector<std::string> ListFolder(int folder, const fs::path &shown)
{
    // fdopendir takes over its descriptor, so it gets one of its own.
    int copy = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

FileHandle OpenFolderBelow(int base, const fs::path &relative, const fs::path &baseShown)
{
    FileHandle folder(::openat(base, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        throw Error(Shown(baseShown) + ": cannot open folder: " + SystemReason());
    fs::path shown = baseShown;
    for (const fs::path &part : relative) {
        shown /= part;
        FileHandle next(
            ::openat(folder.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next) {
            std::string reason = SystemReason();
            struct stat status;
            if (::fstatat(folder.get(), part.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
                if (S_ISLNK(status.st_mode))
                    throw Error(Shown(shown) + ": is a symbolic link; not following it");
                if (!S_ISDIR(status.st_mode))
                    throw Error(Shown(shown) + ": is not a folder");
            }
            throw Error(Shown(shown) + ": cannot open folder: " + reason);
        }
        folder = std::move(next);
    }
    return folder;
}

void WriteFileAtomically(const fs::path &path, const Bytes &data, mode_t newMode)
{
    // Everything is done relative to the folder's handle, so that the
    // checks and the rename concern the same folder.
    std::string name = path.filename().string();
    if (name.empty())
        throw Error(Shown(path) + ": names a folder, not a file");
    fs::path folderPath = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    FileHandle folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        throw Error(Shown(path) + ": cannot open its folder: " + SystemReason());

    struct stat existing;
    bool exists = LookUp(folder.get(), name, existing, path);
    if (exists)
        RefuseToReplace(existing, path);

    TemporaryFile temp(folder.get(), path);
    WriteAll(temp.handle().get(), data, path);
    // Root replacing someone's file gives it back to them; without the
    // capability to do so the file stays root's, as a new one would be.
    if (exists && ::geteuid() == 0 && ::fchown(temp.handle().get(), existing.st_uid, existing.st_gid) != 0 &&
        errno != EPERM)
        throw Error(Shown(path) + ": cannot keep its owner: " + SystemReason());
    if (::fchmod(temp.handle().get(), exists ? existing.st_mode & 0777 : NewFileMode(newMode)) != 0 ||
        ::fsync(temp.handle().get()) != 0 || ::close(temp.handle().release()) != 0)
        throw Error(Shown(path) + ": write error: " + SystemReason());

    // The name may have changed hands while the data was written.
    exists = LookUp(folder.get(), name, existing, path);
    if (exists)
        RefuseToReplace(existing, path);
    int renamed = exists ? ::renameat(folder.get(), temp.name().c_str(), folder.get(), name.c_str())
                         : RenameNoReplace(folder.get(), temp.name(), name);
    if (renamed != 0)
        throw Error(Shown(path) + ": cannot replace: " + SystemReason());
    temp.Keep();
}

void WriteOutput(const fs::path &path, const Bytes &data, mode_t newMode)
{
    if (path != "-") {
        WriteFileAtomically(path, data, newMode);
        return;
    }
    if (::isatty(STDOUT_FILENO))
        throw Error("standard output is a terminal; not writing file data to it");
    std::cout.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    std::cout.flush();
    if (!std::cout)
        throw Error("standard output: write error");
}

FileIdentity WriteNewFile(int folder, const std::string &name, const Bytes &data, const fs::path &shown)
{
    FileHandle file(
        ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file)
        throw Error(Shown(shown) + ": cannot create: " + SystemReason());
    try {
        WriteAll(file.get(), data, shown);
        struct stat status;
        if (::fstat(file.get(), &status) != 0 || ::fchmod(file.get(), NewFileMode()) != 0 ||
            ::close(file.release()) != 0)
            throw Error(Shown(shown) + ": write error: " + SystemReason());
        return IdentityOf(status);
    } catch (const Error &) {
        ::unlinkat(folder, name.c_str(), 0);
        throw;
    }
}

}  // namespace xpack
