// Where things are in the headers of a PE image, and bounds-checked access
// to them, for the build steps that rewrite linked images in place.
#pragma once
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace pe {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kLfanewOffset = 0x3C;
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"

// The file header, after the signature.
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionCountOffset = 2;
constexpr std::size_t kTimeDateStampOffset = 4;
constexpr std::size_t kOptionalSizeOffset = 16;

// The optional header.
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kImageBaseOffset = 28;  // PE32; a 64-bit field at 24 in PE32+
constexpr std::size_t kSizeOfInitializedDataOffset = 8;
constexpr std::size_t kEntryPointOffset = 16;
constexpr std::size_t kSectionAlignmentOffset = 32;
constexpr std::size_t kFileAlignmentOffset = 36;
constexpr std::size_t kSizeOfImageOffset = 56;
constexpr std::size_t kSizeOfHeadersOffset = 60;
constexpr std::size_t kCheckSumOffset = 64;
constexpr std::size_t kDirectoryCountOffset = 92;        // PE32
constexpr std::size_t kDirectoryCountOffsetPlus = 108;   // PE32+
constexpr std::size_t kDataDirectoriesOffset = 96;       // PE32
constexpr std::size_t kDataDirectoriesOffsetPlus = 112;  // PE32+
constexpr std::size_t kDataDirectorySize = 8;
constexpr std::size_t kExportDirectory = 0;
constexpr std::size_t kResourceDirectory = 2;
constexpr std::size_t kSecurityDirectory = 4;  // the certificate table; its address is a file offset
constexpr std::size_t kBaseRelocationDirectory = 5;
constexpr std::size_t kDebugDirectory = 6;

// A section header.
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kVirtualSizeOffset = 8;
constexpr std::size_t kVirtualAddressOffset = 12;
constexpr std::size_t kRawSizeOffset = 16;
constexpr std::size_t kRawPointerOffset = 20;
constexpr std::size_t kSectionCharacteristicsOffset = 36;
constexpr std::uint32_t kSectionInitializedData = 0x40;

// The resource tree: directory tables of kResourceTableSize bytes, each
// followed by its entries, named ones first; an entry's high bit marks a
// name string (in its name field) or a subdirectory (in its target field);
// the other bits are offsets from the start of the tree. Data entries give
// their data's place as an RVA.
constexpr std::size_t kResourceTableSize = 16;
constexpr std::size_t kResourceNamedCountOffset = 12;
constexpr std::size_t kResourceIdCountOffset = 14;
constexpr std::size_t kResourceEntrySize = 8;
constexpr std::size_t kResourceDataEntrySize = 16;
constexpr std::uint32_t kResourceHighBit = 0x80000000u;

// Base relocation blocks: a page RVA and the block's size, then 2-byte
// entries of a 4-bit type and a 12-bit offset into the page.
constexpr std::size_t kRelocationBlockHeaderSize = 8;
constexpr unsigned kRelocationPadding = 0;  // IMAGE_REL_BASED_ABSOLUTE, which patches nothing
constexpr unsigned kRelocationHighLow = 3;  // IMAGE_REL_BASED_HIGHLOW: a 32-bit address
constexpr unsigned kRelocationOffsetMask = 0xFFF;
// The loader places images at multiples of 64 KiB.
constexpr std::uint32_t kImageBaseAlignment = 0x10000;

// The export directory.
constexpr std::size_t kExportTimeDateStampOffset = 4;

inline std::uint16_t Get16(const Bytes &b, std::size_t at)
{
    if (at > b.size() || b.size() - at < 2)
        throw std::runtime_error("truncated headers");
    return std::uint16_t(b[at] | (b[at + 1] << 8));
}

inline std::uint32_t Get32(const Bytes &b, std::size_t at)
{
    if (at > b.size() || b.size() - at < 4)
        throw std::runtime_error("truncated headers");
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

inline void Put16(Bytes &b, std::size_t at, std::uint32_t value)
{
    if (at > b.size() || b.size() - at < 2)
        throw std::runtime_error("truncated headers");
    b[at] = std::uint8_t(value);
    b[at + 1] = std::uint8_t(value >> 8);
}

inline void Put32(Bytes &b, std::size_t at, std::uint32_t value)
{
    if (at > b.size() || b.size() - at < 4)
        throw std::runtime_error("truncated headers");
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(value >> (8 * i));
}

// The offset of the "PE\0\0" signature, which the file header follows.
inline std::size_t PeHeaderOffset(const Bytes &b)
{
    if (b.size() < kDosHeaderSize || b[0] != 'M' || b[1] != 'Z')
        throw std::runtime_error("not an MZ executable");
    const std::size_t offset = Get32(b, kLfanewOffset);
    if (Get32(b, offset) != kPeSignature)
        throw std::runtime_error("no PE signature");
    return offset;
}

// The file offset of the length bytes at rva, which must lie in one
// section's raw data; sectionTable is the offset of the first of
// sectionCount section headers.
inline std::size_t RawDataOffset(const Bytes &image, std::size_t sectionTable, std::size_t sectionCount,
                                 std::uint32_t rva, std::size_t length)
{
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::size_t header = sectionTable + i * kSectionHeaderSize;
        const std::uint32_t start = Get32(image, header + kVirtualAddressOffset);
        const std::uint32_t rawSize = Get32(image, header + kRawSizeOffset);
        const std::uint32_t rawPointer = Get32(image, header + kRawPointerOffset);
        if (rva < start || rva - start >= rawSize || length > rawSize - (rva - start))
            continue;
        const std::size_t offset = std::size_t(rawPointer) + (rva - start);
        if (offset > image.size() || image.size() - offset < length)
            break;
        return offset;
    }
    throw std::runtime_error("RVA " + std::to_string(rva) + " lies outside the file's sections");
}

inline Bytes ReadImageFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot be opened");
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::runtime_error("cannot be read");
    return bytes;
}

inline void WriteImageFile(const std::string &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot be written");
}

}  // namespace pe
