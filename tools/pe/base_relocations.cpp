#include "base_relocations.h"

namespace pe {

void Rebase(Bytes &image, std::uint32_t newBase)
{
    if (newBase % kImageBaseAlignment != 0)
        throw std::runtime_error("the new base is not a multiple of 64 KiB");
    const std::size_t fileHeader = PeHeaderOffset(image) + 4;
    const std::size_t sectionCount = Get16(image, fileHeader + kSectionCountOffset);
    const std::size_t optionalSize = Get16(image, fileHeader + kOptionalSizeOffset);
    const std::size_t optional = fileHeader + kFileHeaderSize;
    const std::size_t sectionTable = optional + optionalSize;
    if (Get16(image, optional) != kPe32Magic)
        throw std::runtime_error("not a PE32 image");
    const std::size_t directory = kDataDirectoriesOffset + kBaseRelocationDirectory * kDataDirectorySize;
    const std::uint32_t size =
        optionalSize >= directory + kDataDirectorySize ? Get32(image, optional + directory + 4) : 0;
    if (size == 0)
        throw std::runtime_error("has no base relocations");
    const std::size_t table =
        RawDataOffset(image, sectionTable, sectionCount, Get32(image, optional + directory), size);
    // Unsigned arithmetic wraps, so one addition serves a lower base too.
    const std::uint32_t delta = newBase - Get32(image, optional + kImageBaseOffset);

    for (std::size_t block = 0; block < size;) {
        if (size - block < kRelocationBlockHeaderSize)
            throw std::runtime_error("the last relocation block is cut short");
        const std::uint32_t page = Get32(image, table + block);
        const std::uint32_t blockSize = Get32(image, table + block + 4);
        if (blockSize < kRelocationBlockHeaderSize || blockSize % 2 != 0 || blockSize > size - block ||
            page > 0xFFFFFFFFu - kRelocationOffsetMask)
            throw std::runtime_error("malformed relocation block at offset " + std::to_string(block));
        for (std::size_t entry = block + kRelocationBlockHeaderSize; entry < block + blockSize; entry += 2) {
            const std::uint16_t fixup = Get16(image, table + entry);
            const unsigned type = fixup >> 12;
            if (type == kRelocationPadding)
                continue;
            if (type != kRelocationHighLow)
                throw std::runtime_error("relocation type " + std::to_string(type) + " is not handled");
            const std::size_t word =
                RawDataOffset(image, sectionTable, sectionCount, page + (fixup & kRelocationOffsetMask), 4);
            Put32(image, word, Get32(image, word) + delta);
        }
        block += blockSize;
    }
    Put32(image, optional + kImageBaseOffset, newBase);
}

}  // namespace pe
