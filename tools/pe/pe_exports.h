// What kind of module an image is, and whether it exports a name: what the
// loader's LoadLibrary and GetProcAddress would make of it, read from the
// bytes on any system.
#pragma once
#include <string>

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

// Whether image exports name, as GetProcAddress would find it by name.
// Each entry of the name table is compared with name alone, so a crafted
// table costs no more than its size times name's. Throws FormatError when
// the directory, the table or an entry lies outside the image's sections.
bool ExportsName(const Reader &image, const std::string &name);

}  // namespace pe
