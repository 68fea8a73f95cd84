#include "win_tree.h"

namespace wintree {

using driver::FolderItem;
using driver::ListFolder;

TreeSize MeasureTree(const std::string &root)
{
    TreeSize total;
    for (const FolderItem &item : ListFolder(root)) {
        if (item.directory) {
            TreeSize inner = MeasureTree(root + "\\" + item.name);
            total.directories += 1 + inner.directories;
            total.files += inner.files;
            total.bytes += inner.bytes;
        } else {
            total.files++;
            total.bytes += item.size;
        }
    }
    return total;
}

bool CopyTree(const std::string &source, const std::string &destination, std::string *error)
{
    if (!CreateDirectoryA(destination.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        *error = "cannot create " + destination;
        return false;
    }
    for (const FolderItem &item : ListFolder(source)) {
        std::string from = source + "\\" + item.name;
        std::string to = destination + "\\" + item.name;
        if (item.directory) {
            if (!CopyTree(from, to, error))
                return false;
        } else if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
            *error = "cannot copy " + from + " to " + to;
            return false;
        }
    }
    return true;
}

}  // namespace wintree
