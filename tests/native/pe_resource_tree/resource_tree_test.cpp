// The resource tree read, written and read again without the packer: what a
// stub's rebuild relies on, on a tree small enough to see whole.
#include <gtest/gtest.h>

#include "resource_tree.h"

namespace {

using pe::Bytes;

constexpr std::uint32_t kRva = 0x3000;

pe::ResourceKey Named(const std::u16string &name)
{
    return pe::ResourceKey{true, 0, name};
}

pe::ResourceKey Numbered(std::uint32_t id)
{
    return pe::ResourceKey{false, id, {}};
}

// A directory of one entry with key, leading to one language's resource
// whose data is size bytes at offset in the section it was read from.
pe::ResourceEntry Branch(pe::ResourceKey type, pe::ResourceKey name, std::uint32_t offset, std::uint32_t size)
{
    pe::ResourceEntry leaf;
    leaf.key = Numbered(1033);
    leaf.dataOffset = offset;
    leaf.dataSize = size;
    pe::ResourceEntry named;
    named.key = std::move(name);
    named.directory = std::make_unique<pe::ResourceDirectory>();
    named.directory->entries.push_back(std::move(leaf));
    pe::ResourceEntry typed;
    typed.key = std::move(type);
    typed.directory = std::make_unique<pe::ResourceDirectory>();
    typed.directory->entries.push_back(std::move(named));
    return typed;
}

pe::ResourceDirectory Read(const Bytes &section)
{
    pe::Section s;
    s.virtualAddress = kRva;
    s.virtualSize = s.rawSize = std::uint32_t(section.size());
    return pe::ReadResourceTree(pe::Reader(section), s);
}

const pe::ResourceEntry &Leaf(const pe::ResourceEntry &type)
{
    return type.directory->entries.at(0).directory->entries.at(0);
}

// A tree of a named and a numbered type is read back as it was written and
// written again byte for byte; a replaced resource takes its new data, its
// neighbour keeps its own.
TEST(ResourceTree, ReadsWhatItWritesAndReplacesOneResource)
{
    const Bytes data = {'a', 'b', 'c', 'd', 'e'};
    pe::ResourceDirectory root;
    root.entries.push_back(Branch(Named(u"Text"), Numbered(7), 3, 2));
    root.entries.push_back(Branch(Numbered(3), Named(u"ICON\u00e9"), 0, 3));
    const Bytes written = pe::WriteResourceTree(root, kRva, data.data());
    EXPECT_EQ(written.size() % pe::kResourceAlignment, 0u);

    pe::ResourceDirectory read = Read(written);
    ASSERT_EQ(read.entries.size(), 2u);
    EXPECT_EQ(pe::KeyText(read.entries[0].key), "Text");
    EXPECT_EQ(pe::KeyText(read.entries[1].directory->entries[0].key), "ICON\\u00e9");
    EXPECT_EQ(pe::KeyText(read.entries[1].key), "#3");
    EXPECT_EQ(read.FindNamed("TEXT"), &read.entries[0]);
    EXPECT_EQ(pe::WriteResourceTree(read, kRva, written.data()), written);

    const Bytes payload = {'x', 'y', 'z', 'z', 'y', 'x', 'x', 'y', 'z'};
    const Bytes replaced = pe::WriteResourceTree(read, kRva, written.data(), &Leaf(read.entries[0]), payload);
    pe::ResourceDirectory again = Read(replaced);
    const pe::ResourceEntry &text = Leaf(again.entries[0]), &icon = Leaf(again.entries[1]);
    EXPECT_EQ(Bytes(replaced.begin() + text.dataOffset, replaced.begin() + text.dataOffset + text.dataSize),
              payload);
    EXPECT_EQ(Bytes(replaced.begin() + icon.dataOffset, replaced.begin() + icon.dataOffset + icon.dataSize),
              Bytes({'a', 'b', 'c'}));
}

TEST(ResourceTree, RefusesWhatARewriteWouldNotKeep)
{
    const Bytes data = {'a', 'b'};
    pe::ResourceDirectory twice;
    twice.entries.push_back(Branch(Named(u"A\\\x1b"), Numbered(1), 0, 2));
    twice.entries.push_back(Branch(Named(u"a\\\x1b"), Numbered(2), 0, 2));
    try {
        Read(pe::WriteResourceTree(twice, kRva, data.data()));
        ADD_FAILURE() << "two entries for one name read";
    } catch (const pe::FormatError &fault) {
        EXPECT_STREQ(fault.what(), "malformed resource tree: two entries for a\\u005c\\u001b");
    }

    pe::ResourceDirectory one;
    one.entries.push_back(Branch(Numbered(1), Numbered(1), 0, 2));
    Bytes section = pe::WriteResourceTree(one, kRva, data.data());
    section.push_back(1);
    EXPECT_THROW(Read(section), pe::FormatError) << "a byte outside the tree";
    section.back() = 0;
    EXPECT_NO_THROW(Read(section));
    const std::size_t dataEntry = section.size() - 1 - pe::kResourceAlignment - pe::kResourceDataEntrySize;
    pe::Put32(section, dataEntry + 4, 100);  // its size
    EXPECT_THROW(Read(section), pe::FormatError) << "data past the section";
}

}  // namespace
