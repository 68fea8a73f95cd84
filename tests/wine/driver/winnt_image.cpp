#include "winnt_image.h"

#include <cstring>

#include "folders.h"

namespace driver {

bool WinntImage::Load(const std::string &file)
{
    path = file;
    bytes = ReadFileBytes(file);
    nt = nullptr;
    if (bytes.size() < sizeof(IMAGE_DOS_HEADER))
        return false;
    auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(bytes.data());
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew < 0 ||
        static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32) > bytes.size())
        return false;
    auto *headers = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(bytes.data() + dos->e_lfanew);
    if (headers->Signature != IMAGE_NT_SIGNATURE)
        return false;
    sections = IMAGE_FIRST_SECTION(headers);
    size_t end = reinterpret_cast<const unsigned char *>(sections + headers->FileHeader.NumberOfSections) -
                 bytes.data();
    if (end > bytes.size())
        return false;
    nt = headers;
    return true;
}

const unsigned char *WinntImage::At(DWORD rva, DWORD count) const
{
    for (int i = 0; i < SectionCount(); i++) {
        const IMAGE_SECTION_HEADER &s = sections[i];
        if (rva >= s.VirtualAddress && rva - s.VirtualAddress <= s.SizeOfRawData &&
            count <= s.SizeOfRawData - (rva - s.VirtualAddress) &&
            s.PointerToRawData + s.SizeOfRawData <= bytes.size())
            return bytes.data() + s.PointerToRawData + (rva - s.VirtualAddress);
    }
    return nullptr;
}

std::string WinntImage::SectionName(int index) const
{
    auto *name = reinterpret_cast<const char *>(sections[index].Name);
    return std::string(name, strnlen(name, IMAGE_SIZEOF_SHORT_NAME));
}

}  // namespace driver
