#include "base_relocations.h"

namespace pe {

void Rebase(Bytes &image, std::uint32_t newBase)
{
    if (newBase % kImageBaseAlignment != 0)
        throw std::runtime_error("the new base is not a multiple of 64 KiB");
    const Reader reader(image);
    const Headers headers = ReadHeaders(reader);
    if (!headers.IsPe32())
        throw std::runtime_error("not a PE32 image");
    const std::vector<Section> sections = ReadSections(reader, headers);
    const DataDirectory directory = ReadDataDirectory(reader, headers, kBaseRelocationDirectory);
    if (directory.size == 0)
        throw std::runtime_error("has no base relocations");
    const std::uint32_t size = directory.size;
    const std::size_t table =
        RawDataOffset(reader, sections, directory.rva, size, "the base relocation table");
    // Unsigned arithmetic wraps, so one addition serves a lower base too.
    const std::size_t imageBase = headers.optional + kImageBaseOffset;
    const std::uint32_t delta = newBase - reader.U32(imageBase);

    for (std::size_t block = 0; block < size;) {
        if (size - block < kRelocationBlockHeaderSize)
            throw std::runtime_error("the last relocation block is cut short");
        const std::uint32_t page = reader.U32(table + block);
        const std::uint32_t blockSize = reader.U32(table + block + 4);
        if (blockSize < kRelocationBlockHeaderSize || blockSize % 2 != 0 || blockSize > size - block ||
            page > 0xFFFFFFFFu - kRelocationOffsetMask)
            throw std::runtime_error("malformed relocation block at offset " + std::to_string(block));
        for (std::size_t entry = block + kRelocationBlockHeaderSize; entry < block + blockSize; entry += 2) {
            const std::uint16_t fixup = reader.U16(table + entry);
            const unsigned type = fixup >> 12;
            if (type == kRelocationPadding)
                continue;
            if (type != kRelocationHighLow)
                throw std::runtime_error("relocation type " + std::to_string(type) + " is not handled");
            const std::size_t word =
                RawDataOffset(reader, sections, page + (fixup & kRelocationOffsetMask), 4, "a fixed-up word");
            Put32(image, word, reader.U32(word) + delta);
        }
        block += blockSize;
    }
    Put32(image, imageBase, newBase);
}

}  // namespace pe
