// What kind of module an image is, and the names it exports: what the
// loader's LoadLibrary and GetProcAddress would make of it, read from the
// bytes on any system.
#pragma once
#include <string>
#include <vector>

#include "pe_image.h"

namespace pe {

// The file header's machine and characteristics.
constexpr std::size_t kMachineOffset = 0;
constexpr std::size_t kCharacteristicsOffset = 18;
constexpr std::uint16_t kMachineI386 = 0x14C;
constexpr std::uint16_t kCharacteristicDll = 0x2000;

// The export directory: the count and table of name RVAs, each name a
// zero-terminated string.
constexpr std::size_t kExportDirectorySize = 40;
constexpr std::size_t kExportNameCountOffset = 24;
constexpr std::size_t kExportNamesOffset = 32;

// Why image is not a DLL that a 32-bit process can load, or an empty string
// when it is one. Throws FormatError for bytes that are not a PE image.
std::string Dll32Problem(const Reader &image);

// The names image exports, in the order of its name table (none without an
// export directory). Throws FormatError when the directory, the table or a
// name lies outside the image's sections.
std::vector<std::string> ExportedNames(const Reader &image);

}  // namespace pe
