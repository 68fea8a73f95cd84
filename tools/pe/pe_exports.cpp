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

bool ExportsName(const Reader &image, const std::string &name)
{
    const Headers headers = ReadHeaders(image);
    const DataDirectory directory = ReadDataDirectory(image, headers, kExportDirectory);
    if (directory.rva == 0)
        return false;
    const std::vector<Section> sections = ReadSections(image, headers);
    const std::size_t at =
        RawDataOffset(image, sections, directory.rva, kExportDirectorySize, "the export directory");
    const std::uint32_t count = image.U32(at + kExportNameCountOffset, "the export directory");
    const std::size_t table = RawDataOffset(image, sections, image.U32(at + kExportNamesOffset),
                                            std::uint64_t(count) * 4, "the export name table");
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t rva = image.U32(table + 4 * std::size_t(i), "the export name table");
        const std::size_t entry = RawDataOffset(image, sections, rva, 1, "an export name");
        // The name and its terminator, where the file holds that much.
        const std::size_t length = name.size() + 1;
        if (image.Holds(entry, length) &&
            std::equal(name.c_str(), name.c_str() + length, image.Data() + entry))
            return true;
    }
    return false;
}

}  // namespace pe
