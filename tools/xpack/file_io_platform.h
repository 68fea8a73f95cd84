// What file_io.cpp asks of the platform: single calls on open folders and
// files, each reporting failure by its result and leaving the reason where
// SystemReason finds it. They print nothing and decide nothing; what is
// refused, and every message, is file_io.cpp's. file_io_posix.cpp and
// file_io_win32.cpp implement them.
#pragma once
#include <cstdint>
#include <utility>

#include "file_io.h"

namespace xpack {
namespace platform {

// An open file or folder, closed when its owner goes: a descriptor on
// POSIX, a HANDLE on Windows.
class File {
public:
    File() = default;
    explicit File(std::intptr_t native) : native_(native) {}
    ~File() { Close(); }
    File(File &&other) noexcept : native_(other.native_) { other.native_ = kNone; }
    File &operator=(File &&other) noexcept
    {
        std::swap(native_, other.native_);
        return *this;
    }
    explicit operator bool() const { return native_ != kNone; }
    std::intptr_t native() const { return native_; }
    // Closes it now, reporting whether its data was written; true when
    // there is nothing to close.
    bool Close();

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t native_ = kNone;
};

// What an item is, and what a file that replaces it keeps: the permission
// bits, owner and group on POSIX; the attributes on Windows.
struct Item {
    ItemStatus status;
    std::uint32_t attributes = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
};

// What OpenIn opens an item for.
enum class Access {
    Look,    // what it is; POSIX opens nothing
    Remove,  // deleting or renaming it
    Read,    // its content, nobody writing meanwhile; only a regular file is opened
};

enum class Outcome {
    Done,
    NameTaken,
    Failed
};

// How messages call a terminal on this platform.
extern const char *const kTerminalName;

// What path is, its links followed or, without followLinks, its last part
// not; Missing (with the system's reason set) when there is no such item.
bool StatusOfPath(const std::filesystem::path &path, bool followLinks, Item &item);
// Whether path names a device whatever folder it is in (NUL, COM1...).
bool IsDevicePath(const std::filesystem::path &path);
// path opened for reading, links followed.
bool OpenPathToRead(const std::filesystem::path &path, File &file);
// The folder path, links followed or, without followLinks, its last part
// not. Windows opens whatever is there; the caller checks what it got.
bool OpenFolderPath(const std::filesystem::path &path, bool followLinks, Folder &folder);

bool StatusOf(const File &file, Item &item);
bool StatusOf(const Folder &folder, ItemStatus &status);

// Another handle on the same folder.
bool Reopen(const Folder &folder, Folder &again);
// name in folder opened as a folder, not through a link. On failure, found
// says what the name is (Missing when that is unknown too).
bool OpenFolderIn(const Folder &folder, const std::string &name, Folder &opened, ItemKind &found);
// name in folder opened, not through a link, and what it is (Missing when
// there is no such name). Access::Read opens only a regular file, and only
// expected where that is given: opening anything else can have effects of
// its own (a device) or block (a FIFO).
bool OpenIn(const Folder &folder, const std::string &name, Access access, File &file, Item &item,
            const FileIdentity *expected = nullptr);
// The names in folder but "." and "..", unsorted.
bool ListNames(const Folder &folder, std::vector<std::string> &names);

Outcome MakeFolderAt(const Folder &folder, const std::string &name);
// A new file name in folder, readable by its owner only; temporary: hidden
// where the platform hides files, and its attributes settable.
Outcome CreateFileIn(const Folder &folder, const std::string &name, bool temporary, File &file);

// One read or write of up to size bytes; got 0 is the end of the file.
bool ReadSome(const File &file, std::uint8_t *buffer, std::size_t size, std::size_t &got);
bool WriteSome(const File &file, const std::uint8_t *data, std::size_t size, std::size_t &wrote);

// The owner and group of replaced, where the process may give them (root
// on POSIX); nothing on Windows.
bool KeepOwner(const File &file, const Item &replaced);
// replaced's permission bits or attributes; without replaced, a new file's:
// newMode under the umask on POSIX, the archive bit on Windows.
bool SetAttributes(const File &file, const Item *replaced, FileMode newMode);
// The data on the disk. POSIX closes the file (a late write error shows
// there); Windows keeps the handle, which the rename goes through.
bool Flush(File &file);

// from, which file has open on Windows, renamed to to in folder; replace
// allows replacing a file. Failing rather than replacing a name that
// appeared meanwhile is up to the file system.
bool RenameOver(const Folder &folder, const File &file, const std::string &from, const std::string &to,
                bool replace);
// name in folder deleted: through file where the platform deletes through
// a handle (Windows), by name otherwise.
bool Delete(const Folder &folder, const File &file, const std::string &name, bool isFolder);

bool StandardOutputIsTerminal();
// Standard output in binary mode, where the platform has a text mode.
void StandardOutputToBinary();

}  // namespace platform
}  // namespace xpack
