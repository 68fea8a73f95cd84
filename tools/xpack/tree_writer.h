// Writes the tree unpack makes so that a failure part-way (a full disk, a
// clash found late) leaves nothing behind.
#pragma once
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "file_io.h"

namespace xpack {

// A new folder is built under a temporary name beside it (".xpk" and eight
// hex digits) and renamed into place by Commit; an existing empty folder is
// written into directly. Until Commit, the destructor removes what this
// writer created, and only that: each item is removed only while it is
// still the very file or folder that was made, and parent folders created
// for a new folder only while they are empty. A folder that exists and is
// not empty, a symbolic link or anything but a folder is refused.
class TreeWriter {
public:
    explicit TreeWriter(const std::filesystem::path &folder);
    ~TreeWriter();
    TreeWriter(const TreeWriter &) = delete;
    TreeWriter &operator=(const TreeWriter &) = delete;

    // Creates the folders of relative level by level, never passing
    // through a link; folders this writer made already are taken as they are.
    void MakeFolder(const std::filesystem::path &relative);
    // Creates the file relative, whose folder must exist. A file this
    // writer made there before is replaced, as the setup program would.
    void WriteFile(const std::filesystem::path &relative, const Bytes &data);
    void Commit();

private:
    struct Made {
        std::filesystem::path relative;
        bool isFolder;
        FileIdentity identity;
        bool removed = false;
    };

    void Remember(const std::filesystem::path &relative, bool isFolder, const FileIdentity &identity);
    bool RemoveMade(Made &made);
    void RollBack();

    std::filesystem::path folder_;  // as given, for messages
    std::vector<std::filesystem::path> madeParents_;
    Folder parent_;        // a new folder's parent
    std::string name_;     // a new folder's name in parent_
    std::string staging_;  // its temporary name there
    Folder base_;          // the folder written into
    std::vector<Made> made_;
    std::map<std::filesystem::path, std::size_t> index_;  // relative -> made_
    bool committed_ = false;
};

}  // namespace xpack
