// Where things are in a PE image, and the one reader of its headers: every
// little-endian field read checked against the end of the bytes. The
// packer, the build steps that rewrite linked images and their tests all
// read images through it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
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

// value rounded up to a multiple of alignment.
constexpr std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

// The export directory.
constexpr std::size_t kExportTimeDateStampOffset = 4;

// A malformed or truncated image; the text names the part at fault.
class FormatError : public std::runtime_error {
public:
    explicit FormatError(const std::string &what) : std::runtime_error(what) {}
};

// The little-endian fields of bytes held elsewhere. A read that does not lie
// wholly within them throws FormatError naming what was read.
class Reader {
public:
    Reader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
    explicit Reader(const Bytes &bytes) : Reader(bytes.data(), bytes.size()) {}

    const std::uint8_t *Data() const { return data_; }
    std::size_t Size() const { return size_; }
    bool Holds(std::uint64_t at, std::uint64_t length) const { return at <= size_ && length <= size_ - at; }
    void Need(std::uint64_t at, std::uint64_t length, const char *what = "the headers") const;
    std::uint16_t U16(std::uint64_t at, const char *what = "the headers") const;
    std::uint32_t U32(std::uint64_t at, const char *what = "the headers") const;

private:
    const std::uint8_t *data_;
    std::size_t size_;
};

// Little-endian writes, checked the same way.
void Put16(Bytes &b, std::size_t at, std::uint32_t value);
void Put32(Bytes &b, std::size_t at, std::uint32_t value);

// Where the headers lie, as ReadHeaders finds them.
struct Headers {
    std::size_t peOffset = 0;    // the "PE\0\0" signature
    std::size_t fileHeader = 0;  // after the signature
    std::uint32_t sectionCount = 0;
    std::size_t optional = 0;  // the optional header, optionalSize bytes
    std::uint32_t optionalSize = 0;
    std::uint16_t magic = 0;  // kPe32Magic or kPe32PlusMagic
    std::size_t directories = 0;
    // The data directories that the optional header both states and has room for.
    std::uint32_t directoryCount = 0;
    std::size_t sectionTable = 0;

    bool IsPe32() const { return magic == kPe32Magic; }
};

// The offset of the "PE\0\0" signature, which the file header follows.
// Throws FormatError unless the bytes start as an MZ executable whose
// e_lfanew leads to the signature.
std::size_t PeHeaderOffset(const Reader &image);

// Throws FormatError for bytes that are not a PE image with a PE32 or PE32+
// optional header wholly inside them.
Headers ReadHeaders(const Reader &image);

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

// Data directory index, or zeros when the image has none there.
DataDirectory ReadDataDirectory(const Reader &image, const Headers &headers, std::size_t index);

struct Section {
    std::size_t header = 0;  // the file offset of its section header
    std::string name;
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawPointer = 0;
    std::uint32_t characteristics = 0;

    // What the loader maps: the virtual size, or the raw size without one.
    std::uint64_t Extent() const { return virtualSize != 0 ? virtualSize : rawSize; }
    std::uint64_t RawEnd() const { return std::uint64_t(rawPointer) + rawSize; }
};

// The section table. Throws FormatError when it runs past the bytes.
std::vector<Section> ReadSections(const Reader &image, const Headers &headers);

// The file offset of the length bytes at rva, which must lie in one
// section's raw data and within the bytes; throws FormatError naming what
// otherwise.
std::size_t RawDataOffset(const Reader &image, const std::vector<Section> &sections, std::uint32_t rva,
                          std::uint64_t length, const char *what);

// Calls visit with the RVA each entry of the base relocation table names
// (its block's page plus its offset) and the entry's type, padding entries
// too, in the table's order; nothing for an image without the table.
// Throws FormatError for a table outside the sections' file data and for a
// block cut short, shorter than its header, of odd size, or whose page
// would wrap the address space.
void ForEachRelocation(const Reader &image, const Headers &headers, const std::vector<Section> &sections,
                       const std::function<void(std::uint32_t rva, unsigned type)> &visit);

// The whole file, and the whole file replaced; std::runtime_error when the
// file cannot be read or written.
Bytes ReadImageFile(const std::string &path);
void WriteImageFile(const std::string &path, const Bytes &bytes);

}  // namespace pe
