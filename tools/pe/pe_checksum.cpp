#include "pe_checksum.h"

#include "pe_image.h"

#include <stdexcept>

namespace pe {

namespace {

std::uint32_t Read32(const std::uint8_t *p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

// Subtraction that undoes the end-around-carry addition, borrowing from the
// top as that one carried into the bottom.
std::uint16_t TakeOut(std::uint16_t sum, std::uint16_t word)
{
    if (sum < word)
        sum = std::uint16_t(sum - 1);
    return std::uint16_t(sum - word);
}

}  // namespace

std::size_t CheckSumFieldOffset(const std::uint8_t *image, std::size_t size)
{
    if (size < kDosHeaderSize || image[0] != 'M' || image[1] != 'Z')
        throw std::runtime_error("not an MZ executable");
    const std::size_t peOffset = Read32(image + kLfanewOffset);
    const std::size_t field = 4 + kFileHeaderSize + kCheckSumOffset;
    if (peOffset > size || size - peOffset < field + 4 || Read32(image + peOffset) != kPeSignature)
        throw std::runtime_error("no PE headers");
    return peOffset + field;
}

std::uint32_t ComputeCheckSum(const std::uint8_t *image, std::size_t size)
{
    const std::size_t field = CheckSumFieldOffset(image, size);
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < size; at += 2) {
        sum += image[at] | (at + 1 < size ? image[at + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    std::uint16_t folded = std::uint16_t(sum);
    folded = TakeOut(folded, std::uint16_t(image[field] | (image[field + 1] << 8)));
    folded = TakeOut(folded, std::uint16_t(image[field + 2] | (image[field + 3] << 8)));
    return folded + std::uint32_t(size);
}

void UpdateCheckSum(std::vector<std::uint8_t> &image)
{
    const std::size_t field = CheckSumFieldOffset(image.data(), image.size());
    // Taking the stored words back out leaves the sum of the rest, but as
    // one of its two 16-bit forms when that sum is a multiple of 0xFFFF
    // (0 or 0xFFFF), and which one depends on the stored value. Storing what
    // was computed and computing again settles on a value the platform
    // reproduces.
    std::uint32_t value = 0;
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 4; ++i)
            image[field + i] = std::uint8_t(value >> (8 * i));
        const std::uint32_t computed = ComputeCheckSum(image.data(), image.size());
        if (computed == value)
            return;
        value = computed;
    }
    throw std::runtime_error("the checksum does not settle on a value");
}

}  // namespace pe
