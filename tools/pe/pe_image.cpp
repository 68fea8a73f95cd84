#include "pe_image.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace pe {

namespace {

constexpr std::size_t kSectionNameSize = 8;

void NeedRoom(const Bytes &b, std::size_t at, std::size_t length)
{
    if (at > b.size() || b.size() - at < length)
        throw FormatError("truncated executable: a field written lies past the end of the file");
}

}  // namespace

void Reader::Need(std::uint64_t at, std::uint64_t length, const char *what) const
{
    if (!Holds(at, length))
        throw FormatError(std::string("truncated executable: ") + what + " lies past the end of the file");
}

std::uint16_t Reader::U16(std::uint64_t at, const char *what) const
{
    Need(at, 2, what);
    return std::uint16_t(data_[at] | (data_[at + 1] << 8));
}

std::uint32_t Reader::U32(std::uint64_t at, const char *what) const
{
    Need(at, 4, what);
    return data_[at] | (data_[at + 1] << 8) | (data_[at + 2] << 16) | (std::uint32_t(data_[at + 3]) << 24);
}

void Put16(Bytes &b, std::size_t at, std::uint32_t value)
{
    NeedRoom(b, at, 2);
    b[at] = std::uint8_t(value);
    b[at + 1] = std::uint8_t(value >> 8);
}

void Put32(Bytes &b, std::size_t at, std::uint32_t value)
{
    NeedRoom(b, at, 4);
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(value >> (8 * i));
}

std::size_t PeHeaderOffset(const Reader &image)
{
    if (image.Size() < 2 || image.Data()[0] != 'M' || image.Data()[1] != 'Z')
        throw FormatError("not an executable (no MZ signature)");
    const std::size_t offset = image.U32(kLfanewOffset, "the DOS header");
    if (image.U32(offset, "the PE signature") != kPeSignature)
        throw FormatError("not a PE executable (no PE signature)");
    return offset;
}

Headers ReadHeaders(const Reader &image)
{
    Headers h;
    h.peOffset = PeHeaderOffset(image);
    h.fileHeader = h.peOffset + 4;
    h.sectionCount = image.U16(h.fileHeader + kSectionCountOffset, "the file header");
    h.optionalSize = image.U16(h.fileHeader + kOptionalSizeOffset, "the file header");
    h.optional = h.fileHeader + kFileHeaderSize;
    h.magic = image.U16(h.optional, "the optional header");
    std::size_t countField;
    if (h.magic == kPe32Magic) {
        countField = kDirectoryCountOffset;
        h.directories = h.optional + kDataDirectoriesOffset;
    } else if (h.magic == kPe32PlusMagic) {
        countField = kDirectoryCountOffsetPlus;
        h.directories = h.optional + kDataDirectoriesOffsetPlus;
    } else {
        throw FormatError("corrupt executable: unknown optional header kind");
    }
    image.Need(h.optional, h.optionalSize, "the optional header");
    const std::size_t end = h.optional + h.optionalSize;
    if (countField + 4 <= h.optionalSize) {
        const std::uint32_t stated = image.U32(h.optional + countField, "the optional header");
        const std::size_t room = end >= h.directories ? (end - h.directories) / kDataDirectorySize : 0;
        h.directoryCount = std::uint32_t(std::min<std::size_t>(stated, room));
    }
    h.sectionTable = end;
    return h;
}

DataDirectory ReadDataDirectory(const Reader &image, const Headers &headers, std::size_t index)
{
    DataDirectory d;
    if (index < headers.directoryCount) {
        const std::size_t entry = headers.directories + index * kDataDirectorySize;
        d.rva = image.U32(entry, "the optional header");
        d.size = image.U32(entry + 4, "the optional header");
    }
    return d;
}

std::vector<Section> ReadSections(const Reader &image, const Headers &headers)
{
    image.Need(headers.sectionTable, std::uint64_t(headers.sectionCount) * kSectionHeaderSize,
               "the section table");
    std::vector<Section> sections;
    for (std::uint32_t i = 0; i < headers.sectionCount; ++i) {
        Section s;
        s.header = headers.sectionTable + std::size_t(i) * kSectionHeaderSize;
        const char *name = reinterpret_cast<const char *>(image.Data() + s.header);
        s.name.assign(name, std::find(name, name + kSectionNameSize, '\0'));
        s.virtualSize = image.U32(s.header + kVirtualSizeOffset);
        s.virtualAddress = image.U32(s.header + kVirtualAddressOffset);
        s.rawSize = image.U32(s.header + kRawSizeOffset);
        s.rawPointer = image.U32(s.header + kRawPointerOffset);
        s.characteristics = image.U32(s.header + kSectionCharacteristicsOffset);
        sections.push_back(std::move(s));
    }
    return sections;
}

std::size_t RawDataOffset(const Reader &image, const std::vector<Section> &sections, std::uint32_t rva,
                          std::uint64_t length, const char *what)
{
    for (const Section &s : sections) {
        if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize ||
            length > s.rawSize - (rva - s.virtualAddress))
            continue;
        const std::size_t offset = std::size_t(s.rawPointer) + (rva - s.virtualAddress);
        image.Need(offset, length, what);
        return offset;
    }
    throw FormatError(std::string("corrupt executable: ") + what + " lies outside the file's sections");
}

void ForEachRelocation(const Reader &image, const Headers &headers, const std::vector<Section> &sections,
                       const std::function<void(std::uint32_t rva, unsigned type)> &visit)
{
    const DataDirectory directory = ReadDataDirectory(image, headers, kBaseRelocationDirectory);
    const std::uint32_t size = directory.size;
    if (size == 0)
        return;
    const std::size_t table =
        RawDataOffset(image, sections, directory.rva, size, "the base relocation table");
    for (std::size_t block = 0; block < size;) {
        const bool whole = size - block >= kRelocationBlockHeaderSize;
        const std::uint32_t page = whole ? image.U32(table + block) : 0;
        const std::uint32_t blockSize = whole ? image.U32(table + block + 4) : 0;
        if (blockSize < kRelocationBlockHeaderSize || blockSize % 2 != 0 || blockSize > size - block ||
            page > 0xFFFFFFFFu - kRelocationOffsetMask)
            throw FormatError("malformed base relocation table: the block at offset " +
                              std::to_string(block));
        for (std::size_t entry = block + kRelocationBlockHeaderSize; entry < block + blockSize; entry += 2) {
            const std::uint16_t fixup = image.U16(table + entry);
            visit(page + (fixup & kRelocationOffsetMask), fixup >> 12);
        }
        block += blockSize;
    }
}

Bytes ReadImageFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot be opened");
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::runtime_error("cannot be read");
    return bytes;
}

void WriteImageFile(const std::string &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot be written");
}

}  // namespace pe
