// The CheckSum field of a PE image's optional header, computed as the
// platform's CheckSumMappedFile (imagehlp) computes it: the file summed as
// little-endian 16-bit words (an odd last byte counts as a word of its own)
// with the carry out of each addition added back in, the two words of the
// stored checksum then taken back out the same way, and the file's length
// added. Anything that rewrites an image after the link must store the new
// value: loaders check it for drivers, and signing tools and file checkers
// report a wrong one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pe {

// The file offset of the CheckSum field (the same in PE32 and PE32+ images).
// Throws FormatError (pe_image.h) when the bytes are not a PE image.
std::size_t CheckSumFieldOffset(const std::uint8_t *image, std::size_t size);

// The value CheckSumMappedFile computes for the image as it stands,
// whatever its CheckSum field holds.
std::uint32_t ComputeCheckSum(const std::uint8_t *image, std::size_t size);

// Stores in the CheckSum field the value that CheckSumMappedFile then
// computes for the image, so that the two agree.
void UpdateCheckSum(std::vector<std::uint8_t> &image);

}  // namespace pe
