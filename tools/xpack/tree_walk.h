// Turns a folder tree into the ordered entries of a payload, refusing what
// the setup program could not install.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "file_io.h"
#include "payload_format.h"

namespace xpack {

struct PackItem {
    bool isDirectory = false;
    // A directory: its path from the tree's root, backslash-separated and
    // ending in a backslash. A file: its bare name.
    std::string name;
    std::filesystem::path relative;  // from the walked folder
    std::filesystem::path source;    // the walked folder's path and relative, for messages
    std::uintmax_t size = 0;         // files: the size seen during the walk
    FileIdentity identity;           // the folder or file the walk checked
};

struct TreeWalk {
    std::filesystem::path rootPath;  // as given, for messages
    Folder root;                     // the walked folder, held open
    std::vector<PackItem> items;
    std::vector<std::string> warnings;  // each starting with the path it is about
};

// The install folder the path-length warnings assume (56 characters).
inline constexpr const char *kTypicalInstallRoot =
    "C:\\Program Files\\Microsoft Visual Studio\\Common\\MSDev98\\";
// The longest path the setup program's buffers hold, and the longest path
// the LZ calls open (OpenFile takes fewer than 128 characters).
inline constexpr std::size_t kMaxInstallPath = PATH_TEXT_MAX_CHARS;
inline constexpr std::size_t kMaxLzOpenPath = 127;
// Files must fit the payload's 32-bit length field.
inline constexpr std::uintmax_t kMaxFileSize = 0xFFFFFFFFu;

// Walks root in pre-order: a folder's files, then each subfolder as a
// directory entry followed by its own content. root itself has no entry.
// Files and subfolders are each taken in byte-wise order of their names as
// spelled on disk, so the same tree always gives the same entries.
// Throws Error naming the offending path for a name Windows cannot hold, a
// non-ASCII name, two names in one folder that differ only in case, a
// symbolic link or special file, or a file of 4 GiB or more. Below root,
// every folder is opened relative to its parent without following links.
// Warns about an empty tree and about a file as the first entry.
TreeWalk WalkTree(const std::filesystem::path &root);

// Goes through a walk's items again, in order, and reads its files: each
// folder and file is opened relative to the walked folder without following
// links and checked on its handle to be the very one the walk saw (device
// and inode, or volume and file index), so that nothing swapped in after
// the walk is read. A file
// that already existed, such as one reached by a link, always has another
// inode than the walked one; only a file made anew after the walked one was
// removed can get its number again, and its content is the maker's anyway.
class TreeReader {
public:
    explicit TreeReader(const TreeWalk &walk);
    // item must be the walk's next item. A file gives its content; a folder
    // gives nothing and becomes the folder the next files are read from.
    Bytes Read(const PackItem &item);

private:
    const TreeWalk &walk_;
    Folder folder_;
};

}  // namespace xpack
