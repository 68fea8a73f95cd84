// compact-pe-headers FILE
//
// Shrinks the headers of a linked PE image in place: the DOS stub program
// ("This program cannot be run in DOS mode") goes, the PE headers move up to
// follow the 64-byte DOS header, and when the headers then fit in fewer
// file-alignment units, every section's raw data moves down by the units
// saved. Only file offsets change; addresses in the loaded image do not, so
// code, imports, resources and relocations stay valid. The checksum is set
// for the new bytes. The linker offers no way to drop the stub, and with
// four section headers it alone pushes the headers of the setup program past
// one 512-byte unit.
#include "pe_checksum.h"
#include "pe_image.h"

#include <algorithm>
#include <iostream>
#include <stdexcept>
#include <string>

namespace {

using namespace pe;

void Compact(Bytes &image)
{
    const Reader reader(image);
    const Headers h = ReadHeaders(reader);
    if (!h.IsPe32())
        throw std::runtime_error("not a PE32 image");
    const std::size_t headersLength =
        4 + kFileHeaderSize + h.optionalSize + std::size_t(h.sectionCount) * kSectionHeaderSize;
    const std::size_t fileAlignment = reader.U32(h.optional + kFileAlignmentOffset);
    const std::size_t oldSizeOfHeaders = reader.U32(h.optional + kSizeOfHeadersOffset);
    if (fileAlignment == 0 || oldSizeOfHeaders > image.size() ||
        h.peOffset + headersLength > oldSizeOfHeaders)
        throw std::runtime_error("inconsistent headers");
    // Raw data located by file offset would go stale when sections move.
    for (std::size_t directory : {kSecurityDirectory, kDebugDirectory})
        if (ReadDataDirectory(reader, h, directory).size != 0)
            throw std::runtime_error("has a certificate or debug directory; strip it first");
    if (h.peOffset < kDosHeaderSize)
        throw std::runtime_error("PE headers overlap the DOS header");

    Bytes headers(image.begin() + h.peOffset, image.begin() + h.peOffset + headersLength);
    std::fill(image.begin() + kDosHeaderSize, image.begin() + oldSizeOfHeaders, 0);
    std::copy(headers.begin(), headers.end(), image.begin() + kDosHeaderSize);
    Put32(image, kLfanewOffset, kDosHeaderSize);

    const std::size_t newOptional = kDosHeaderSize + 4 + kFileHeaderSize;
    const std::size_t newSizeOfHeaders = AlignUp(kDosHeaderSize + headersLength, fileAlignment);
    const std::size_t saved = oldSizeOfHeaders - newSizeOfHeaders;
    Put32(image, newOptional + kSizeOfHeadersOffset, std::uint32_t(newSizeOfHeaders));
    if (saved == 0)
        return;

    const std::size_t table = newOptional + h.optionalSize;
    for (std::size_t i = 0; i < h.sectionCount; ++i) {
        const std::size_t header = table + i * kSectionHeaderSize;
        const std::uint32_t pointer = reader.U32(header + kRawPointerOffset);
        const std::uint32_t size = reader.U32(header + kRawSizeOffset);
        if (size == 0)
            continue;
        if (pointer < oldSizeOfHeaders || pointer + std::size_t(size) > image.size())
            throw std::runtime_error("a section's raw data lies outside the file");
        Put32(image, header + kRawPointerOffset, std::uint32_t(pointer - saved));
    }
    image.erase(image.begin() + newSizeOfHeaders, image.begin() + oldSizeOfHeaders);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: compact-pe-headers FILE\n";
        return 2;
    }
    const std::string path = argv[1];
    try {
        Bytes image = ReadImageFile(path);
        Compact(image);
        UpdateCheckSum(image);
        WriteImageFile(path, image);
    } catch (const std::exception &error) {
        std::cerr << "compact-pe-headers: " << path << ": " << error.what() << '\n';
        return 1;
    }
    return 0;
}
