// Which reparse points are links. Windows marks many plain files and
// folders as reparse points: those its own compression (WOF), data
// deduplication, cloud-file placeholders or tiered storage keep. A link
// is one whose tag is a name surrogate, the tag's bit that says the item
// stands for another name (mount points and junctions 0xA0000003, symbolic
// links 0xA000000C, and any other with the bit), or one whose tag cannot be
// read. Tag 0 is no tag at all, and is how Wine shows its Unix links.
// Platform-free, shared by the setup program and the packer.
#pragma once

#define REPARSE_TAG_NAME_SURROGATE 0x20000000UL

// 1 when a reparse point with this tag (known 0 when it could not be read)
// is to be taken for a link.
inline int IsLinkReparseTag(unsigned long tag, int known)
{
    return !known || tag == 0 || (tag & REPARSE_TAG_NAME_SURROGATE) != 0;
}
