// What the byte comparison of the shipped images with their links at another
// base (tests/release) leaves out: the tool's refusals, and a fixup whose
// addition carries into the upper half of a word not on a 4-byte boundary.
#include <gtest/gtest.h>

#include <stdexcept>

#include "base_relocations.h"

namespace {

using pe::Bytes;
using pe::Put16;
using pe::Put32;

constexpr std::size_t kPe = 0x40, kOptional = kPe + 4 + pe::kFileHeaderSize;
constexpr std::size_t kSectionTable = kOptional + 0xE0;
constexpr std::uint32_t kBase = 0x00400000, kSectionRva = 0x1000, kSectionRaw = 0x200;
constexpr std::uint32_t kTableRva = 0x1100;

// A PE32 image: one section of 0x200 bytes at RVA 0x1000 (virtual size
// 0x1000, so most of it has no file data), its relocation table at 0x1100
// with the given blocks.
Bytes Image(const std::vector<std::uint16_t> &table)
{
    Bytes b(kSectionRaw + 0x200, 0);
    Put16(b, 0, 0x5A4D);
    Put32(b, pe::kLfanewOffset, kPe);
    Put32(b, kPe, pe::kPeSignature);
    Put16(b, kPe + 4 + pe::kSectionCountOffset, 1);
    Put16(b, kPe + 4 + pe::kOptionalSizeOffset, 0xE0);
    Put16(b, kOptional, pe::kPe32Magic);
    Put32(b, kOptional + pe::kImageBaseOffset, kBase);
    Put32(b, kOptional + pe::kDirectoryCountOffset, 16);
    const std::size_t directory =
        kOptional + pe::kDataDirectoriesOffset + pe::kBaseRelocationDirectory * pe::kDataDirectorySize;
    Put32(b, directory, kTableRva);
    Put32(b, directory + 4, std::uint32_t(table.size() * 2));
    Put32(b, kSectionTable + pe::kVirtualSizeOffset, 0x1000);
    Put32(b, kSectionTable + pe::kVirtualAddressOffset, kSectionRva);
    Put32(b, kSectionTable + pe::kRawSizeOffset, 0x200);
    Put32(b, kSectionTable + pe::kRawPointerOffset, kSectionRaw);
    for (std::size_t i = 0; i < table.size(); ++i)
        Put16(b, kSectionRaw + (kTableRva - kSectionRva) + 2 * i, table[i]);
    return b;
}

std::size_t Raw(std::uint32_t rva)
{
    return kSectionRaw + (rva - kSectionRva);
}

std::uint32_t Get32(const Bytes &image, std::size_t at)
{
    return pe::Reader(image).U32(at);
}

TEST(Rebase, AddsTheDeltaToEachFixedWordAndNothingElse)
{
    // Two blocks for the one page: fixups at 0x10 and at the odd 0x23, a
    // padding entry; the word at 0x40 holds an address but has no fixup.
    Bytes image = Image({0x1000, 0, 12, 0, 0x3010, 0x0000, 0x1000, 0, 10, 0, 0x3023});
    Put32(image, Raw(0x1010), 0x0040FFF0);
    Put32(image, Raw(0x1023), 0x00401234);
    Put32(image, Raw(0x1040), 0x00401000);
    Bytes expected = image;
    Put32(expected, Raw(0x1010), 0x1000FFF0);
    Put32(expected, Raw(0x1023), 0x10001234);
    Put32(expected, kOptional + pe::kImageBaseOffset, 0x0FC00000 + kBase);

    pe::Rebase(image, 0x10000000);
    EXPECT_EQ(image, expected);
    pe::Rebase(image, kBase);  // and back down, the delta wrapping round
    EXPECT_EQ(Get32(image, Raw(0x1010)), 0x0040FFF0u);
    EXPECT_EQ(Get32(image, Raw(0x1023)), 0x00401234u);
}

TEST(Rebase, RefusesWhatItCannotApplyFaithfully)
{
    const struct {
        const char *what;
        std::vector<std::uint16_t> table;
        std::uint32_t base;
    } cases[] = {
        {"a base off the 64 KiB grid", {0x1000, 0, 10, 0, 0x3010}, 0x10008000},
        {"no relocation table", {}, 0x10000000},
        {"a 64-bit fixup", {0x1000, 0, 10, 0, 0xA010}, 0x10000000},
        {"a block longer than the table", {0x1000, 0, 12, 0, 0x3010}, 0x10000000},
        {"a block shorter than its header", {0x1000, 0, 6, 0}, 0x10000000},
        {"a fixup beyond the file data", {0x1000, 0, 10, 0, 0x3400}, 0x10000000},
        {"a page that wraps the address space", {0xF800, 0xFFFF, 10, 0, 0x3010}, 0x10000000},
    };
    for (const auto &c : cases) {
        Bytes image = Image(c.table);
        EXPECT_THROW(pe::Rebase(image, c.base), std::runtime_error) << c.what;
    }
    Bytes image = Image({0x1000, 0, 10, 0, 0x3010});
    Put16(image, kOptional, pe::kPe32PlusMagic);
    EXPECT_THROW(pe::Rebase(image, 0x10000000), std::runtime_error) << "a PE32+ image";
}

}  // namespace
