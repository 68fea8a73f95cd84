// stamp-pe FILE TIME-FILE
//
// The last build step of every shipped image. The linker writes the time of
// the link into the file header and into the export directory, so two builds
// of the same sources would differ; both get the build's own time instead,
// the count of seconds that TIME-FILE holds (the sources' commit time, or
// SOURCE_DATE_EPOCH: cmake/SourceDateEpoch.cmake). The checksum is then set
// for the final bytes. An image with a debug directory is refused: that
// carries a timestamp and build paths of its own and has no place in a
// shipped image.
#include "pe_checksum.h"
#include "pe_image.h"

#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

namespace {

using namespace pe;

std::uint32_t ReadTime(const std::string &path)
{
    std::ifstream in(path);
    std::string text;
    if (!(in >> text) || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        throw std::runtime_error(path + ": not a count of seconds");
    const unsigned long long seconds = std::stoull(text);
    if (seconds > 0xFFFFFFFFull)
        throw std::runtime_error(path + ": the time does not fit the 32-bit timestamp");
    return std::uint32_t(seconds);
}

void Stamp(Bytes &image, std::uint32_t time)
{
    const std::size_t peOffset = PeHeaderOffset(image);
    const std::size_t fileHeader = peOffset + 4;
    const std::size_t sectionCount = Get16(image, fileHeader + kSectionCountOffset);
    const std::size_t optionalSize = Get16(image, fileHeader + kOptionalSizeOffset);
    const std::size_t optional = fileHeader + kFileHeaderSize;
    const std::uint16_t magic = Get16(image, optional);
    if (magic != kPe32Magic && magic != kPe32PlusMagic)
        throw std::runtime_error("unknown optional header kind");
    const std::size_t directories =
        optional + (magic == kPe32Magic ? kDataDirectoriesOffset : kDataDirectoriesOffsetPlus);
    auto directory = [&](std::size_t index, std::uint32_t &rva, std::uint32_t &size) {
        const std::size_t entry = directories + index * kDataDirectorySize;
        rva = size = 0;
        if (entry + kDataDirectorySize <= optional + optionalSize) {
            rva = Get32(image, entry);
            size = Get32(image, entry + 4);
        }
    };

    std::uint32_t rva, size;
    directory(kDebugDirectory, rva, size);
    if (size != 0)
        throw std::runtime_error("has a debug directory; link it stripped");

    Put32(image, fileHeader + kTimeDateStampOffset, time);
    directory(kExportDirectory, rva, size);
    if (size != 0) {
        const std::size_t exports =
            RawDataOffset(image, optional + optionalSize, sectionCount, rva, kExportTimeDateStampOffset + 4);
        Put32(image, exports + kExportTimeDateStampOffset, time);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::cerr << "usage: stamp-pe FILE TIME-FILE\n";
        return 2;
    }
    const std::string path = argv[1];
    try {
        const std::uint32_t time = ReadTime(argv[2]);
        Bytes image = ReadImageFile(path);
        Stamp(image, time);
        UpdateCheckSum(image);
        WriteImageFile(path, image);
    } catch (const std::exception &error) {
        std::cerr << "stamp-pe: " << path << ": " << error.what() << '\n';
        return 1;
    }
    return 0;
}
