// Whole-file reads and all-or-nothing writes. The packer may run as root or
// as an administrator, so these never follow a link they did not check and
// never replace anything but a regular file. What is refused, and every
// message, is in file_io.cpp; the platform's own calls, which decide
// nothing, are in file_io_posix.cpp and file_io_win32.cpp.
//
// Names and paths held in std::string are in the platform's file name
// bytes: as they are on POSIX, UTF-8 on Windows. A path made from such a
// string takes fs::u8path, which keeps those bytes on POSIX.
#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace xpack {

using Bytes = std::vector<std::uint8_t>;

// Which file a name or a handle stands for: the device and inode on POSIX,
// the volume serial number and file index on Windows.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity &other) const { return volume == other.volume && file == other.file; }
    bool operator!=(const FileIdentity &other) const { return !(*this == other); }
};

// What a name is, as itself: a link is not followed. A link is a symbolic
// link on POSIX, and on Windows any reparse point (a symbolic link, a
// junction) or a name whose file is found under another path.
enum class ItemKind {
    Missing,
    File,
    Folder,
    Link,
    Other,  // a device, FIFO or socket
};
struct ItemStatus {
    ItemKind kind = ItemKind::Missing;
    std::uint64_t size = 0;  // files
    FileIdentity identity;
};

// How messages call a link on this platform.
extern const char *const kLinkName;

// An open folder, closed when its owner goes. Names below it are looked up
// in that very folder, whatever becomes of the path it was opened by.
class Folder {
public:
    struct Native;  // the platform's handle
    Folder();
    explicit Folder(std::unique_ptr<Native> native);
    ~Folder();
    Folder(Folder &&other) noexcept;
    Folder &operator=(Folder &&other) noexcept;
    explicit operator bool() const { return native_ != nullptr; }
    const Native &native() const { return *native_; }

private:
    std::unique_ptr<Native> native_;
};

// The path as the user wrote it, escaped for printing (see Printable).
std::string Shown(const std::filesystem::path &path);

// The command line's arguments after the program name, in the platform's
// file name bytes (on Windows taken from the wide command line, so that
// any name the console can type arrives whole).
std::vector<std::string> CommandLineArguments(int argc, char **argv);

// The file's whole content; throws Error naming the file when it cannot be
// read. path comes from the command line, so links in it are followed, but
// anything other than a regular file is refused without being opened.
Bytes ReadWholeFile(const std::filesystem::path &path);

// Whether path names a folder, links followed (a command-line path).
bool IsFolder(const std::filesystem::path &path);

// path with links resolved, for telling whether one path lies inside
// another; a part that does not exist yet is kept as written. Sets ec
// when it cannot be worked out.
std::filesystem::path ResolvedPath(const std::filesystem::path &path, std::error_code &ec);

// Opens the folder path. followLinks: a command-line path, whose links are
// followed; otherwise path itself must not be a link. Throws Error naming
// path ("not a folder", "cannot open folder: ...").
Folder OpenFolder(const std::filesystem::path &path, bool followLinks = true);

// Opens the folder relative below base one level at a time, following no
// link; an empty relative opens base again. Errors name the level that
// failed, below baseShown, base's name.
Folder OpenFolderBelow(const Folder &base, const std::filesystem::path &relative,
                       const std::filesystem::path &baseShown);

// Which folder an open folder is. shown names it in errors.
FileIdentity IdentityOf(const Folder &folder, const std::filesystem::path &shown);

// What name in folder is, without following a link; Missing when there is
// no such name. Throws Error naming shown for any other failure.
ItemStatus LookUp(const Folder &folder, const std::string &name, const std::filesystem::path &shown);

// The same for a path (its last part not followed).
ItemStatus LookUpPath(const std::filesystem::path &path);

// The names in the open folder but "." and "..", sorted byte-wise. shown
// names it in errors.
std::vector<std::string> ListFolder(const Folder &folder, const std::filesystem::path &shown);

// The content of name in folder, opened without following a link and
// checked on the open handle to be the regular file identity names, then
// read through that handle. shown names the file in errors.
Bytes ReadCheckedFile(const Folder &folder, const std::string &name, const FileIdentity &identity,
                      const std::filesystem::path &shown);

// Creates name in folder as a new folder; false when the name exists
// already (as anything). Throws Error naming shown for any other failure.
bool MakeFolderIn(const Folder &folder, const std::string &name, const std::filesystem::path &shown);

// Creates name in folder as a new file holding data, with what a new file
// gets (the mode under the umask; the platform's default attributes); an
// existing name is an error. Returns what it created, for a caller that may
// have to remove it again.
FileIdentity WriteNewFile(const Folder &folder, const std::string &name, const Bytes &data,
                          const std::filesystem::path &shown);

// Removes name in folder, a file or an empty folder, only while it is still
// the item identity names. Returns whether it is gone.
bool RemoveIfSame(const Folder &folder, const std::string &name, const FileIdentity &identity, bool isFolder);

// Renames from to to, both in folder, failing rather than replacing a name
// that appeared after it was seen free. On failure, SystemReason tells why.
bool RenameNoReplace(const Folder &folder, const std::string &from, const std::string &to);

// Writes data so that path either keeps its old content or gets all of it:
// into a new file with a short hidden name beside path (".xpk" and eight
// hex digits, created exclusively, readable by its owner only while it is
// written), which then takes path's place. A path that exists must be a
// regular file; a link, a folder or a device (a FIFO or a socket) is
// refused and left as it is. A replaced file keeps its permission bits (not
// set-id bits) and, for root, its owner on POSIX, and its attributes on
// Windows; a new file gets newMode less the umask on POSIX
// (kExecutableMode for a program). Throws Error naming path.
using FileMode = std::uint32_t;
inline constexpr FileMode kDataFileMode = 0666;
inline constexpr FileMode kExecutableMode = 0755;
void WriteFileAtomically(const std::filesystem::path &path, const Bytes &data,
                         FileMode newMode = kDataFileMode);

// WriteFileAtomically, except that "-" is standard output, written in
// binary, which is refused when it is a terminal or console.
void WriteOutput(const std::filesystem::path &path, const Bytes &data, FileMode newMode = kDataFileMode);

// Readies standard output for file data: refuses a terminal or console
// (Error), and puts it in binary mode where the platform has text mode.
void ClaimStandardOutput();

// A short name for a temporary item in a folder, unlikely to be taken.
std::string TemporaryName();

// The system's text for the last failed call (errno, or GetLastError).
std::string SystemReason();

}  // namespace xpack
