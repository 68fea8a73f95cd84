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
    if (ReadDataDirectory(reader, headers, kBaseRelocationDirectory).size == 0)
        throw std::runtime_error("has no base relocations");
    // Unsigned arithmetic wraps, so one addition serves a lower base too.
    const std::size_t imageBase = headers.optional + kImageBaseOffset;
    const std::uint32_t delta = newBase - reader.U32(imageBase);
    ForEachRelocation(reader, headers, sections, [&](std::uint32_t rva, unsigned type) {
        if (type == kRelocationPadding)
            return;
        if (type != kRelocationHighLow)
            throw std::runtime_error("relocation type " + std::to_string(type) + " is not handled");
        const std::size_t word = RawDataOffset(reader, sections, rva, 4, "a fixed-up word");
        Put32(image, word, reader.U32(word) + delta);
    });
    Put32(image, imageBase, newBase);
}

}  // namespace pe
