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

std::size_t AlignUp(std::size_t value, std::size_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

void Compact(Bytes &image)
{
    const std::size_t peOffset = PeHeaderOffset(image);
    const std::size_t sectionCount = Get16(image, peOffset + 4 + kSectionCountOffset);
    const std::size_t optionalSize = Get16(image, peOffset + 4 + kOptionalSizeOffset);
    const std::size_t optional = peOffset + 4 + kFileHeaderSize;
    if (Get16(image, optional) != kPe32Magic)
        throw std::runtime_error("not a PE32 image");
    const std::size_t headersLength = 4 + kFileHeaderSize + optionalSize + sectionCount * kSectionHeaderSize;
    const std::size_t fileAlignment = Get32(image, optional + kFileAlignmentOffset);
    const std::size_t oldSizeOfHeaders = Get32(image, optional + kSizeOfHeadersOffset);
    if (fileAlignment == 0 || oldSizeOfHeaders > image.size() || peOffset + headersLength > oldSizeOfHeaders)
        throw std::runtime_error("inconsistent headers");
    // Raw data located by file offset would go stale when sections move.
    for (std::size_t directory : {kSecurityDirectory, kDebugDirectory})
        if (optionalSize > kDataDirectoriesOffset + kDataDirectorySize * directory + 4 &&
            Get32(image, optional + kDataDirectoriesOffset + kDataDirectorySize * directory + 4) != 0)
            throw std::runtime_error("has a certificate or debug directory; strip it first");
    if (peOffset < kDosHeaderSize)
        throw std::runtime_error("PE headers overlap the DOS header");

    Bytes headers(image.begin() + peOffset, image.begin() + peOffset + headersLength);
    std::fill(image.begin() + kDosHeaderSize, image.begin() + oldSizeOfHeaders, 0);
    std::copy(headers.begin(), headers.end(), image.begin() + kDosHeaderSize);
    Put32(image, kLfanewOffset, kDosHeaderSize);

    const std::size_t newOptional = kDosHeaderSize + 4 + kFileHeaderSize;
    const std::size_t newSizeOfHeaders = AlignUp(kDosHeaderSize + headersLength, fileAlignment);
    const std::size_t saved = oldSizeOfHeaders - newSizeOfHeaders;
    Put32(image, newOptional + kSizeOfHeadersOffset, std::uint32_t(newSizeOfHeaders));
    if (saved == 0)
        return;

    const std::size_t table = newOptional + optionalSize;
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::size_t header = table + i * kSectionHeaderSize;
        const std::uint32_t pointer = Get32(image, header + kRawPointerOffset);
        const std::uint32_t size = Get32(image, header + kRawSizeOffset);
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
