// Checks the setup program's size and exploit mitigations on the built
// executable: the stub (the program built with an empty payload) stays
// within its size limit, and both it and the full program keep NX
// compatibility, a dynamic base with a real relocation table, and no
// section that is both writable and executable; and the resource section
// holds nothing but resources. Also what makes the shipped images release
// builds: each one's checksum is the platform's, and the executables lay
// out their bytes so that a signature covers all of them.
// Usage: setup_stub_size STUB-EXE SETUP-EXE COMPONENT-DLL
#include <windows.h>
#include <imagehlp.h>

#include "folders.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using driver::WindowsPath;

const size_t STUB_LIMIT = 12 * 1024;

int g_failures = 0;

void Check(bool ok, const std::string &what)
{
    if (!ok) {
        g_failures++;
        std::cerr << "FAILED: " << what << std::endl;
    }
}

struct Image {
    std::string path;
    std::vector<unsigned char> bytes;
    const IMAGE_NT_HEADERS32 *nt = nullptr;
    const IMAGE_SECTION_HEADER *sections = nullptr;

    bool Load(const std::string &file)
    {
        path = file;
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (bytes.size() < sizeof(IMAGE_DOS_HEADER))
            return false;
        auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(bytes.data());
        if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew < 0 ||
            static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32) > bytes.size())
            return false;
        nt = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(bytes.data() + dos->e_lfanew);
        if (nt->Signature != IMAGE_NT_SIGNATURE)
            return false;
        sections = IMAGE_FIRST_SECTION(nt);
        size_t end = reinterpret_cast<const unsigned char *>(sections + nt->FileHeader.NumberOfSections) - bytes.data();
        return end <= bytes.size();
    }

    // count bytes at a relative virtual address, or null when they are not
    // all inside one section's file data.
    const unsigned char *At(DWORD rva, DWORD count) const
    {
        for (int i = 0; i < nt->FileHeader.NumberOfSections; i++) {
            const IMAGE_SECTION_HEADER &s = sections[i];
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress <= s.SizeOfRawData &&
                count <= s.SizeOfRawData - (rva - s.VirtualAddress) &&
                s.PointerToRawData + s.SizeOfRawData <= bytes.size())
                return bytes.data() + s.PointerToRawData + (rva - s.VirtualAddress);
        }
        return nullptr;
    }
};

// Walks the base relocation blocks: each is a page address, its size, and
// 2-byte entries. Returns the number of 32-bit (HIGHLOW) fixups, or -1 when
// the table is malformed.
long CountFixups(const Image &image)
{
    const IMAGE_DATA_DIRECTORY &dir = image.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    const unsigned char *p = image.At(dir.VirtualAddress, dir.Size);
    if (!p || dir.Size == 0)
        return -1;
    long fixups = 0;
    DWORD offset = 0;
    while (offset < dir.Size) {
        if (dir.Size - offset < sizeof(IMAGE_BASE_RELOCATION))
            return -1;
        IMAGE_BASE_RELOCATION block;
        std::memcpy(&block, p + offset, sizeof block);
        if (block.SizeOfBlock < sizeof block || block.SizeOfBlock % 2 || block.SizeOfBlock > dir.Size - offset)
            return -1;
        for (DWORD e = sizeof block; e < block.SizeOfBlock; e += 2) {
            WORD entry;
            std::memcpy(&entry, p + offset + e, 2);
            int type = entry >> 12;
            if (type == IMAGE_REL_BASED_HIGHLOW)
                fixups++;
            else if (type != IMAGE_REL_BASED_ABSOLUTE)
                return -1;
        }
        offset += block.SizeOfBlock;
    }
    return fixups;
}

void CheckMitigations(const Image &image)
{
    const std::string name = image.path + ": ";
    const IMAGE_OPTIONAL_HEADER32 &o = image.nt->OptionalHeader;
    Check(o.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT, name + "NX compatible");
    Check(o.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, name + "dynamic base");
    Check(!(image.nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED), name + "relocations not stripped");
    long fixups = CountFixups(image);
    Check(fixups > 0, name + "a well-formed, non-empty base relocation table (" + std::to_string(fixups) + ")");
    for (int i = 0; i < image.nt->FileHeader.NumberOfSections; i++) {
        const IMAGE_SECTION_HEADER &s = image.sections[i];
        std::string section(reinterpret_cast<const char *>(s.Name), strnlen(reinterpret_cast<const char *>(s.Name), 8));
        Check(!((s.Characteristics & IMAGE_SCN_MEM_WRITE) && (s.Characteristics & IMAGE_SCN_MEM_EXECUTE)),
              name + "section " + section + " is not both writable and executable");
    }
    // The imports, resources and entry point still lie where the loader
    // will look for them.
    Check(image.At(o.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress, sizeof(IMAGE_IMPORT_DESCRIPTOR)) != nullptr,
          name + "import directory inside a section");
    Check(image.At(o.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress, sizeof(IMAGE_RESOURCE_DIRECTORY)) != nullptr,
          name + "resource directory inside a section");
    Check(image.At(o.AddressOfEntryPoint, 1) != nullptr, name + "entry point inside a section");
}

// The furthest byte, as an offset into the resource section, that the
// resource tree below directory (an offset too) takes: its tables, names,
// data entries and data.
DWORD ResourceTreeEnd(const Image &image, DWORD sectionRva, DWORD directory, int depth)
{
    auto *dir = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY *>(
        image.At(sectionRva + directory, sizeof(IMAGE_RESOURCE_DIRECTORY)));
    if (!dir || depth > 3)
        return 0;
    DWORD count = dir->NumberOfNamedEntries + dir->NumberOfIdEntries;
    auto *entries = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY_ENTRY *>(
        image.At(sectionRva + directory + sizeof(*dir), count * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY)));
    if (!entries)
        return 0;
    DWORD end = directory + sizeof(*dir) + count * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY);
    for (DWORD i = 0; i < count; i++) {
        if (entries[i].NameIsString) {
            auto *length = reinterpret_cast<const WORD *>(image.At(sectionRva + entries[i].NameOffset, 2));
            if (length)
                end = std::max<DWORD>(end, entries[i].NameOffset + 2 + 2 * *length);
        }
        if (entries[i].DataIsDirectory) {
            end = std::max(end, ResourceTreeEnd(image, sectionRva, entries[i].OffsetToDirectory, depth + 1));
            continue;
        }
        auto *data = reinterpret_cast<const IMAGE_RESOURCE_DATA_ENTRY *>(
            image.At(sectionRva + entries[i].OffsetToData, sizeof(IMAGE_RESOURCE_DATA_ENTRY)));
        if (!data)
            continue;
        end = std::max<DWORD>(end, entries[i].OffsetToData + sizeof(*data));
        end = std::max<DWORD>(end, data->OffsetToData + data->Size - sectionRva);
    }
    return end;
}

// Resource editors (UpdateResource) rewrite the resource section whole, so
// it must hold the resource tree and nothing else: a variable placed after
// the tree would be written over the rewritten resources at run time.
void CheckResourceSectionHoldsOnlyResources(const Image &image)
{
    DWORD rva = image.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
    for (int i = 0; i < image.nt->FileHeader.NumberOfSections; i++) {
        const IMAGE_SECTION_HEADER &s = image.sections[i];
        if (rva < s.VirtualAddress || rva >= s.VirtualAddress + s.Misc.VirtualSize)
            continue;
        Check(rva == s.VirtualAddress, image.path + ": the resource tree opens its section");
        DWORD end = ResourceTreeEnd(image, s.VirtualAddress, 0, 0);
        Check(end + 4 > s.Misc.VirtualSize,
              image.path + ": the resource section holds only the resource tree (tree ends at " +
                  std::to_string(end) + ", section at " + std::to_string(s.Misc.VirtualSize) + ")");
        return;
    }
    Check(false, image.path + ": a section holds the resource directory");
}

// The stub's payload resource is present and empty: it measures the program
// and nothing of the payload.
void CheckStubPayload(const Image &stub)
{
    HMODULE module = LoadLibraryExA(stub.path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    Check(module != nullptr, stub.path + ": loadable as data");
    if (!module)
        return;
    HRSRC found = FindResourceA(module, "XPackArchive", "TEXT");
    Check(found != nullptr && SizeofResource(module, found) == 0, stub.path + ": payload resource present and empty");
    FreeLibrary(module);
}

// The CheckSum field holds what imagehlp computes for the file.
void CheckChecksum(const std::string &path)
{
    DWORD stored = 0, computed = 0;
    DWORD status = MapFileAndCheckSumA(path.c_str(), &stored, &computed);
    Check(status == CHECKSUM_SUCCESS && stored != 0 && stored == computed,
          path + ": checksum " + std::to_string(stored) + " is the platform's " + std::to_string(computed));
}

// An Authenticode signature hashes the headers, the sections' raw data and
// what follows the last section; a gap between them would be covered by no
// signature. So the first section starts where the headers end, and every
// other where the one before it ends.
void CheckSignableLayout(const Image &image)
{
    std::vector<const IMAGE_SECTION_HEADER *> order;
    for (int i = 0; i < image.nt->FileHeader.NumberOfSections; i++)
        if (image.sections[i].SizeOfRawData != 0)
            order.push_back(&image.sections[i]);
    std::sort(order.begin(), order.end(), [](auto *a, auto *b) { return a->PointerToRawData < b->PointerToRawData; });
    DWORD end = image.nt->OptionalHeader.SizeOfHeaders;
    for (const IMAGE_SECTION_HEADER *s : order) {
        Check(s->PointerToRawData == end, image.path + ": section data at " + std::to_string(s->PointerToRawData) +
                                              " follows the bytes before it (" + std::to_string(end) + ")");
        end = s->PointerToRawData + s->SizeOfRawData;
    }
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::cerr << "usage: setup_stub_size STUB-EXE SETUP-EXE COMPONENT-DLL" << std::endl;
        return 2;
    }
    Image stub, setup;
    if (!stub.Load(WindowsPath(argv[1])) || !setup.Load(WindowsPath(argv[2]))) {
        std::cerr << "not a readable PE file: " << (stub.nt ? argv[2] : argv[1]) << std::endl;
        return 1;
    }
    std::cout << stub.path << ": " << stub.bytes.size() << " bytes" << std::endl;
    Check(stub.bytes.size() <= STUB_LIMIT,
          "stub is " + std::to_string(stub.bytes.size()) + " bytes, over " + std::to_string(STUB_LIMIT));
    CheckMitigations(stub);
    CheckMitigations(setup);
    CheckResourceSectionHoldsOnlyResources(stub);
    CheckResourceSectionHoldsOnlyResources(setup);
    CheckStubPayload(stub);
    for (const std::string &path : {stub.path, setup.path, WindowsPath(argv[3])})
        CheckChecksum(path);
    CheckSignableLayout(stub);
    CheckSignableLayout(setup);
    std::cout << (g_failures ? "FAILED" : "passed") << std::endl;
    return g_failures ? 1 : 0;
}
