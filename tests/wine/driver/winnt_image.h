// A 32-bit PE image read from disk through the platform's own structures
// (winnt.h), for the checks of the built programs: a view independent of
// tools/pe, which the build and the packer write the images with.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace driver {

struct WinntImage {
    std::string path;
    std::vector<unsigned char> bytes;
    const IMAGE_NT_HEADERS32 *nt = nullptr;
    const IMAGE_SECTION_HEADER *sections = nullptr;

    // False when the file is not a PE image whose headers it holds whole.
    bool Load(const std::string &file);
    // count bytes at a relative virtual address, or null when they are not
    // all inside one section's file data.
    const unsigned char *At(DWORD rva, DWORD count) const;
    const IMAGE_DATA_DIRECTORY &Directory(int index) const { return nt->OptionalHeader.DataDirectory[index]; }
    int SectionCount() const { return nt->FileHeader.NumberOfSections; }
    std::string SectionName(int index) const;
};

}  // namespace driver
