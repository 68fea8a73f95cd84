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
    const Reader reader(image);
    const Headers headers = ReadHeaders(reader);
    if (ReadDataDirectory(reader, headers, kDebugDirectory).size != 0)
        throw std::runtime_error("has a debug directory; link it stripped");

    Put32(image, headers.fileHeader + kTimeDateStampOffset, time);
    const DataDirectory exports = ReadDataDirectory(reader, headers, kExportDirectory);
    if (exports.size != 0) {
        const std::size_t at = RawDataOffset(reader, ReadSections(reader, headers), exports.rva,
                                             kExportTimeDateStampOffset + 4, "the export directory");
        Put32(image, at + kExportTimeDateStampOffset, time);
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
