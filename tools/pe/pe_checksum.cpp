#include "pe_checksum.h"

#include "pe_image.h"

#include <stdexcept>

namespace pe {

namespace {

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
    const Reader reader(image, size);
    const std::size_t field = PeHeaderOffset(reader) + 4 + kFileHeaderSize + kCheckSumOffset;
    reader.Need(field, 4, "the checksum field");
    return field;
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
    const Reader reader(image, size);
    folded = TakeOut(folded, reader.U16(field));
    folded = TakeOut(folded, reader.U16(field + 2));
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
