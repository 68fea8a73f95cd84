#include "pe_exports.h"

#include <algorithm>

namespace pe {

std::string Dll32Problem(const Reader &image)
{
    const Headers headers = ReadHeaders(image);
    if (image.U16(headers.fileHeader + kMachineOffset, "the file header") != kMachineI386 ||
        !headers.IsPe32())
        return "not a 32-bit x86 image";
    if (!(image.U16(headers.fileHeader + kCharacteristicsOffset, "the file header") & kCharacteristicDll))
        return "not a DLL";
    return "";
}

std::vector<std::string> ExportedNames(const Reader &image)
{
    const Headers headers = ReadHeaders(image);
    const DataDirectory directory = ReadDataDirectory(image, headers, kExportDirectory);
    std::vector<std::string> names;
    if (directory.rva == 0)
        return names;
    const std::vector<Section> sections = ReadSections(image, headers);
    const std::size_t at =
        RawDataOffset(image, sections, directory.rva, kExportDirectorySize, "the export directory");
    const std::uint32_t count = image.U32(at + kExportNameCountOffset, "the export directory");
    const std::size_t table = RawDataOffset(image, sections, image.U32(at + kExportNamesOffset),
                                            std::uint64_t(count) * 4, "the export name table");
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t rva = image.U32(table + 4 * std::size_t(i), "the export name table");
        const std::size_t name = RawDataOffset(image, sections, rva, 1, "an export name");
        // The name ends within its section's raw data, or it is not one.
        const Section *home = nullptr;
        for (const Section &s : sections)
            if (name >= s.rawPointer && name < s.RawEnd())
                home = &s;
        const std::uint8_t *begin = image.Data() + name;
        const std::uint8_t *end = image.Data() + std::min<std::uint64_t>(home->RawEnd(), image.Size());
        const std::uint8_t *terminator = std::find(begin, end, 0);
        if (terminator == end)
            throw FormatError("corrupt executable: an export name runs past its section");
        names.emplace_back(begin, terminator);
    }
    return names;
}

}  // namespace pe
