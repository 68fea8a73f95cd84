// compact-pe-headers FILE
//
// Shrinks the headers of a linked PE image in place: the DOS stub program
// ("This program cannot be run in DOS mode") goes, the PE headers move up to
// follow the 64-byte DOS header, and when the headers then fit in fewer
// file-alignment units, every section's raw data moves down by the units
// saved. Only file offsets change; addresses in the loaded image do not, so
// code, imports, resources and relocations stay valid. The linker offers no
// way to drop the stub, and with four section headers it alone pushes the
// headers of the setup program past one 512-byte unit.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kLfanewOffset = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
// Offsets inside the optional header (PE32).
constexpr std::size_t kFileAlignmentOffset = 36;
constexpr std::size_t kSizeOfHeadersOffset = 60;
constexpr std::size_t kCheckSumOffset = 64;
constexpr std::size_t kDataDirectoriesOffset = 96;
constexpr std::size_t kSecurityDirectory = 4;
constexpr std::size_t kDebugDirectory = 6;
// Offsets inside a section header.
constexpr std::size_t kRawSizeOffset = 16;
constexpr std::size_t kRawPointerOffset = 20;

std::uint32_t Get32(const Bytes &b, std::size_t at)
{
    if (at + 4 > b.size())
        throw std::runtime_error("truncated headers");
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}

std::uint16_t Get16(const Bytes &b, std::size_t at)
{
    if (at + 2 > b.size())
        throw std::runtime_error("truncated headers");
    return std::uint16_t(b[at] | (b[at + 1] << 8));
}

void Put32(Bytes &b, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(value >> (8 * i));
}

std::size_t AlignUp(std::size_t value, std::size_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

void Compact(Bytes &image)
{
    if (image.size() < kDosHeaderSize || image[0] != 'M' || image[1] != 'Z')
        throw std::runtime_error("not an MZ executable");
    const std::size_t peOffset = Get32(image, kLfanewOffset);
    if (Get32(image, peOffset) != 0x00004550)
        throw std::runtime_error("no PE signature");
    const std::size_t sectionCount = Get16(image, peOffset + 6);
    const std::size_t optionalSize = Get16(image, peOffset + 20);
    const std::size_t optional = peOffset + 4 + kFileHeaderSize;
    if (Get16(image, optional) != 0x10B)
        throw std::runtime_error("not a PE32 image");
    const std::size_t headersLength = 4 + kFileHeaderSize + optionalSize + sectionCount * kSectionHeaderSize;
    const std::size_t fileAlignment = Get32(image, optional + kFileAlignmentOffset);
    const std::size_t oldSizeOfHeaders = Get32(image, optional + kSizeOfHeadersOffset);
    if (fileAlignment == 0 || oldSizeOfHeaders > image.size() || peOffset + headersLength > oldSizeOfHeaders)
        throw std::runtime_error("inconsistent headers");
    // Raw data located by file offset would go stale when sections move.
    for (std::size_t directory : {kSecurityDirectory, kDebugDirectory})
        if (optionalSize > kDataDirectoriesOffset + 8 * directory + 4 &&
            Get32(image, optional + kDataDirectoriesOffset + 8 * directory + 4) != 0)
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
    Put32(image, newOptional + kCheckSumOffset, 0);
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
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw std::runtime_error("cannot be opened");
        Bytes image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        Compact(image);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(image.data()), std::streamsize(image.size()));
        if (!out)
            throw std::runtime_error("cannot be written");
    } catch (const std::exception &error) {
        std::cerr << "compact-pe-headers: " << path << ": " << error.what() << '\n';
        return 1;
    }
    return 0;
}
