// Whole-file reads and all-or-nothing writes. The packer may run as root, so
// these never follow a link they did not check and never replace anything
// but a regular file.
#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace xpack {

using Bytes = std::vector<std::uint8_t>;

// An open file descriptor, closed when its owner goes.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle();
    FileHandle(FileHandle &&other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileHandle &operator=(FileHandle &&other) noexcept;
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
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
    int fd_ = -1;
};

// Which file a name or a handle stands for.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity &other) const
    {
        return device == other.device && inode == other.inode;
    }
    bool operator!=(const FileIdentity &other) const { return !(*this == other); }
};
FileIdentity IdentityOf(const struct stat &status);

// The path as the user wrote it, escaped for printing (see Printable).
std::string Shown(const std::filesystem::path &path);

// The file's whole content; throws Error naming the file when it cannot be
// read. path comes from the command line, so links in it are followed, but
// anything other than a regular file is refused without being opened.
Bytes ReadWholeFile(const std::filesystem::path &path);

// The content of name in folder, opened without following a link and
// checked on the open handle to be the regular file identity names. shown
// names the file in errors.
Bytes ReadCheckedFile(int folder, const std::string &name, const FileIdentity &identity,
                      const std::filesystem::path &shown);

// The names in the open folder but "." and "..", sorted byte-wise. shown
// names it in errors.
std::vector<std::string> ListFolder(int folder, const std::filesystem::path &shown);

// Opens the folder relative below base one level at a time, following no
// link; an empty relative opens base again. Errors name the level that
// failed, below baseShown, base's name.
FileHandle OpenFolderBelow(int base, const std::filesystem::path &relative,
                           const std::filesystem::path &baseShown);

// Writes data so that path either keeps its old content or gets all of it:
// into a new file with a short hidden name beside path (".xpk" and eight
// hex digits, created exclusively with mode 0600), which is then renamed
// over path. A path that exists must be a regular file; a symbolic link, a
// folder, a device, a FIFO or a socket is refused and left as it is. A
// replaced file keeps its permission bits (not set-id bits) and, for root,
// its owner; a new file gets newMode less the umask (kExecutableMode for a
// program). Throws Error naming path.
inline constexpr mode_t kDataFileMode = 0666;
inline constexpr mode_t kExecutableMode = 0755;
void WriteFileAtomically(const std::filesystem::path &path, const Bytes &data,
                         mode_t newMode = kDataFileMode);

// WriteFileAtomically, except that "-" is standard output, which is refused
// when it is a terminal.
void WriteOutput(const std::filesystem::path &path, const Bytes &data, mode_t newMode = kDataFileMode);

// Creates name in folder as a new file holding data with the mode a new
// file gets under the umask; an existing name is an error. Returns what it
// created, for a caller that may have to remove it again.
FileIdentity WriteNewFile(int folder, const std::string &name, const Bytes &data,
                          const std::filesystem::path &shown);

// Renames from to to, both in folder, failing with EEXIST rather than
// replacing a name that appeared after it was seen free. Returns 0 or -1
// with errno set, as rename does.
int RenameNoReplace(int folder, const std::string &from, const std::string &to);

// The mode a new file asked for with mode gets under the process's umask.
mode_t NewFileMode(mode_t mode = kDataFileMode);

// A short name for a temporary item in a folder, unlikely to be taken.
std::string TemporaryName();

// The system's text for errno.
std::string SystemReason();

}  // namespace xpack
