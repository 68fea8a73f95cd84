// A PE image's resource tree as a model that can be read, changed and
// written again: the packer rebuilds a setup program's resource section
// from it with a new payload, in the layout the resource compiler gives.
#pragma once
#include <memory>
#include <string>

#include "pe_image.h"

namespace pe {

// The resource compiler pads the block of name strings, and each resource's
// data, to this; the tree is written the same way, so that a tree written
// back unchanged comes out as the linker made it.
constexpr std::uint32_t kResourceAlignment = 8;
// Type, name and language: the levels the platform looks resources up by.
constexpr int kResourceLevels = 3;

// A directory entry's key: a name string or a number.
struct ResourceKey {
    bool named = false;
    std::uint32_t id = 0;
    std::u16string name;
};

// The order the format requires and the loader's lookup relies on: names
// before numbers, names compared without regard to ASCII case, numbers
// ascending.
bool Before(const ResourceKey &a, const ResourceKey &b);

// A key as it is printed: "#" and the number in decimal, or the name's
// characters, any outside printable ASCII, and the backslash, as \u and
// four hex digits: nothing is lost, and nothing can drive a terminal.
std::string KeyText(const ResourceKey &key);
std::string NameText(const std::u16string &name);

struct ResourceDirectory;

struct ResourceEntry {
    ResourceKey key;
    std::unique_ptr<ResourceDirectory> directory;  // null for a resource
    // A resource: its data entry's fields, and where its data lies in the
    // section the tree was read from.
    std::uint32_t codePage = 0;
    std::uint32_t reserved = 0;
    std::uint32_t dataOffset = 0;  // from the start of the section
    std::uint32_t dataSize = 0;
};

struct ResourceDirectory {
    std::uint8_t head[kResourceNamedCountOffset] = {};  // characteristics, time stamp, version
    std::vector<ResourceEntry> entries;                 // in Before order

    // The entry whose key is the name ascii, compared without regard to
    // case; null when there is none.
    ResourceEntry *FindNamed(const std::string &ascii);
};

// Reads the tree of three levels that opens section, strictly: every part
// within the section's virtual size, no two parts overlapping, no two
// entries of one directory with the same key, and no byte of the section's
// data but zeros outside the tree, since the tree is all that a rewrite
// keeps. Throws FormatError naming the fault.
ResourceDirectory ReadResourceTree(const Reader &image, const Section &section);

// The tree in the resource compiler's layout for a section at rva: all
// directory tables depth first, each parent before its children; then the
// name strings and the data entries, each in the order their entries come;
// then the data, each padded to kResourceAlignment. A resource's data is
// taken from oldSection at its dataOffset, but replaced's is replacement.
Bytes WriteResourceTree(const ResourceDirectory &root, std::uint32_t rva, const std::uint8_t *oldSection,
                        const ResourceEntry *replaced = nullptr, const Bytes &replacement = {});

}  // namespace pe
