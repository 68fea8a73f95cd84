// Turns a folder tree into the ordered entries of a payload, refusing what
// the setup program could not install.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace xpack {

struct PackItem {
    bool isDirectory = false;
    // A directory: its path from the tree's root, backslash-separated and
    // ending in a backslash. A file: its bare name.
    std::string name;
    std::filesystem::path source;  // files: where the content is read from
    std::uintmax_t size = 0;       // files: the size seen during the walk
};

struct TreeWalk {
    std::vector<PackItem> items;
    std::vector<std::string> warnings;
};

// The install folder the path-length warnings assume (56 characters).
inline constexpr const char *kTypicalInstallRoot =
    "C:\\Program Files\\Microsoft Visual Studio\\Common\\MSDev98\\";
// The longest path the setup program's buffers hold, and the longest path
// the LZ calls open (OpenFile takes fewer than 128 characters).
inline constexpr std::size_t kMaxInstallPath = 259;
inline constexpr std::size_t kMaxLzOpenPath = 127;
// The setup program keeps at most this many characters of the top folder.
inline constexpr std::size_t kTopFolderMax = 12;
// Files must fit the payload's 32-bit length field.
inline constexpr std::uintmax_t kMaxFileSize = 0xFFFFFFFFu;

// Walks root in pre-order: a folder's files, then each subfolder as a
// directory entry followed by its own content. root itself has no entry.
// Files and subfolders are each taken in byte-wise order of their names as
// spelled on disk, so the same tree always gives the same entries.
// Throws Error naming the offending path for a name Windows cannot hold, a
// non-ASCII name, two names in one folder that differ only in case, a
// symbolic link or special file, or a file of 4 GiB or more.
TreeWalk WalkTree(const std::filesystem::path &root);

}  // namespace xpack
