#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "pe_checksum.h"
#include "pe_image.h"

namespace {

using pe::Bytes;
using pe::Put16;

constexpr std::size_t kField = 0x40 + 4 + pe::kFileHeaderSize + pe::kCheckSumOffset;  // PE headers at 0x40

// The smallest bytes the checksum accepts as an image: "MZ", e_lfanew 0x40
// and the "PE\0\0" signature there, zeros elsewhere. As words they sum to
// 0x5A4D + 0x0040 + 0x4550 = 0x9FDD.
Bytes Image(std::size_t size)
{
    Bytes b(size, 0);
    Put16(b, 0, 0x5A4D);
    Put16(b, pe::kLfanewOffset, 0x0040);
    Put16(b, 0x40, 0x4550);
    return b;
}

std::uint32_t Stored(const Bytes &b)
{
    return pe::Reader(b).U32(kField);
}

// Worked by hand, and what imagehlp's MapFileAndCheckSumA gives for the same
// file under Wine: 0x9FDD + 0xFFF0 carries out to 0x9FCE, + 0xFFF0 to
// 0x9FBF; the odd last byte adds 7 (0x9FC6); the stored value's words go in
// and come back out; the length 0xA1 is added.
TEST(PeChecksum, KnownValueWithCarriesOddLengthAndStoredValueIgnored)
{
    Bytes b = Image(0xA1);
    Put16(b, kField, 0x5678);
    Put16(b, kField + 2, 0x1234);
    Put16(b, 0x9C, 0xFFF0);
    Put16(b, 0x9E, 0xFFF0);
    b[0xA0] = 0x07;
    EXPECT_EQ(pe::ComputeCheckSum(b.data(), b.size()), 0xA067u);

    pe::UpdateCheckSum(b);
    EXPECT_EQ(Stored(b), 0xA067u);
    EXPECT_EQ(pe::ComputeCheckSum(b.data(), b.size()), 0xA067u);
}

// When the words sum to a multiple of 0xFFFF, the sum has two 16-bit forms
// and the one the platform arrives at depends on the stored value: the
// stored value must be one the platform reproduces (under Wine,
// MapFileAndCheckSumA gives 0x9E, the length alone, for this file).
TEST(PeChecksum, SumOfAMultipleOf0xFFFFSettlesOnThePlatformsValue)
{
    Bytes b = Image(0x9E);
    Put16(b, 0x9C, 0xFFFF - 0x9FDD);
    pe::UpdateCheckSum(b);
    EXPECT_EQ(Stored(b), 0x9Eu);
    EXPECT_EQ(pe::ComputeCheckSum(b.data(), b.size()), Stored(b));
}

TEST(PeChecksum, RefusesWhatIsNotAnImage)
{
    Bytes notMz = Image(0xA0);
    notMz[0] = 'X';
    Bytes noSignature = Image(0xA0);
    noSignature[0x41] = 'X';
    Bytes cut = Image(kField + 2);  // ends inside the field
    Bytes farHeaders = Image(0xA0);
    Put16(farHeaders, pe::kLfanewOffset, 0xFFFF);  // headers past the end
    for (Bytes *b : {&notMz, &noSignature, &cut, &farHeaders}) {
        EXPECT_THROW(pe::ComputeCheckSum(b->data(), b->size()), std::runtime_error);
        EXPECT_THROW(pe::UpdateCheckSum(*b), std::runtime_error);
    }
}

}  // namespace
