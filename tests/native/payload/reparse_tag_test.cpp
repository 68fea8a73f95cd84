#include <gtest/gtest.h>

#include "reparse_tag.h"

namespace {

// Which reparse points the setup program and the packer take for links.
TEST(ReparseTag, LinksAndPlainItems)
{
    struct Case {
        unsigned long tag;
        int known;
        bool link;
    } cases[] = {
        {0xA0000003UL, 1, true},   // mount point, junction
        {0xA000000CUL, 1, true},   // symbolic link
        {0xA000001DUL, 1, true},   // WSL symbolic link, a name surrogate
        {0x20001234UL, 1, true},   // any tag with the name-surrogate bit
        {0, 1, true},              // no tag: Wine's Unix links
        {0x80000017UL, 0, true},   // a tag that could not be read
        {0x80000017UL, 1, false},  // WOF: the system's file compression
        {0x80000013UL, 1, false},  // data deduplication
        {0x9000001AUL, 1, false},  // a cloud-file placeholder
        {0xC0000004UL, 1, false},  // hierarchical storage
        {0x80000014UL, 1, false},  // NFS
    };
    for (const Case &c : cases)
        EXPECT_EQ(IsLinkReparseTag(c.tag, c.known) != 0, c.link) << std::hex << c.tag << " known " << c.known;
}

}  // namespace
