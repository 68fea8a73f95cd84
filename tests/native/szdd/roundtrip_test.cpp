// Our streams must expand to the original bytes both with our decoder and
// with an independent one (libmspack), and be no larger than mscompress's.
#include <gtest/gtest.h>

#include <string>

#include "szdd/szdd.h"
#include "szdd_test_support.h"

using szdd_test::Bytes;

namespace {

void ExpectRoundTrip(const Bytes &data, const std::string &what)
{
    SCOPED_TRACE(what);
    const Bytes packed = szdd::Compress(data);
    ASSERT_GE(packed.size(), szdd::kHeaderSize);

    szdd::Header header;
    std::string error;
    ASSERT_TRUE(szdd::ReadHeader(packed.data(), packed.size(), header, error)) << error;
    EXPECT_EQ(header.expandedLength, data.size());
    EXPECT_EQ(header.replacedChar, 0);

    Bytes ours;
    ASSERT_TRUE(szdd::Expand(packed, ours, error)) << error;
    EXPECT_TRUE(ours == data) << "our decoder differs";

    const auto theirs = szdd_test::ExpandWithMspack(packed);
    ASSERT_TRUE(theirs.has_value()) << "libmspack rejects the stream";
    EXPECT_TRUE(*theirs == data) << "libmspack's expansion differs";
}

Bytes Repeat(const Bytes &block, std::size_t times)
{
    Bytes out;
    for (std::size_t i = 0; i < times; ++i)
        out.insert(out.end(), block.begin(), block.end());
    return out;
}

}  // namespace

TEST(RoundTrip, TinyInputs)
{
    ExpectRoundTrip({}, "empty");
    ExpectRoundTrip({'Q'}, "one byte");
    ExpectRoundTrip({' '}, "one space");
    ExpectRoundTrip({'a', 'b', 'c'}, "three bytes");
    EXPECT_EQ(szdd::Compress(Bytes{}).size(), szdd::kHeaderSize);
}

TEST(RoundTrip, LongRuns)
{
    ExpectRoundTrip(Bytes(100000, 'x'), "run of x");
    ExpectRoundTrip(Bytes(100000, 0), "run of zeros");
    // Spaces match the initial window from the first byte on.
    ExpectRoundTrip(Bytes(100000, ' '), "run of spaces");
    const Bytes spaces(5000, ' ');
    const std::size_t matches = spaces.size() / szdd::kMaxMatch + 1;
    EXPECT_LE(szdd::Compress(spaces).size(),
              szdd::kHeaderSize + 2 * matches +
                  (matches + szdd::kItemsPerControl - 1) / szdd::kItemsPerControl);
}

TEST(RoundTrip, DataThatMatchesTheInitialSpaces)
{
    std::string text = "   indented   text    with       spaces          ";
    ExpectRoundTrip(Bytes(text.begin(), text.end()), "leading spaces");
    ExpectRoundTrip(szdd_test::RandomBytes(20000, " .", 7), "mostly spaces");
    // Spaces far into the data may still come from the untouched window.
    Bytes late = szdd_test::RandomBytes(4000, 11);
    late.insert(late.end(), 40, ' ');
    ExpectRoundTrip(late, "late spaces");
}

TEST(RoundTrip, WindowWrapAndFarMatches)
{
    // Repeats at distances 4000, 4095 and 4096 use the whole window, and the
    // write position wraps many times over.
    for (std::size_t block : {4000u, 4095u, 4096u, 4097u}) {
        const Bytes data = Repeat(szdd_test::RandomBytes(block, static_cast<std::uint32_t>(block)), 5);
        ExpectRoundTrip(data, "repeats at distance " + std::to_string(block));
    }
    const Bytes at4096 = Repeat(szdd_test::RandomBytes(4096, 3), 3);
    // Without them the two repeats would cost as much as the first copy.
    EXPECT_LT(szdd::Compress(at4096).size(), 4096 + 4096 / 8 + 1200)
        << "matches a full window back are not found";
    ExpectRoundTrip(szdd_test::RandomBytes(300000, "abcdefgh ", 5), "small alphabet, long");
}

TEST(RoundTrip, RandomData)
{
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        const Bytes data = szdd_test::RandomBytes(70000, seed);
        ExpectRoundTrip(data, "random seed " + std::to_string(seed));
        // Incompressible data costs one control byte per eight literals.
        EXPECT_LE(szdd::Compress(data).size(),
                  szdd::kHeaderSize + data.size() +
                      (data.size() + szdd::kItemsPerControl - 1) / szdd::kItemsPerControl);
    }
}

TEST(RoundTrip, ReplacedCharacterIsStored)
{
    const Bytes packed = szdd::Compress(Bytes{'a', 'b'}, 'L');
    szdd::Header header;
    std::string error;
    ASSERT_TRUE(szdd::ReadHeader(packed.data(), packed.size(), header, error)) << error;
    EXPECT_EQ(header.replacedChar, 'L');
}

TEST(RoundTrip, RealBinariesAndNoLargerThanMscompress)
{
    const auto files = szdd_test::SampleBinaries(4, 400 * 1024);
    if (files.empty())
        GTEST_SKIP() << "no Wine binaries on this machine";
    for (const auto &file : files) {
        const Bytes data = szdd_test::ReadFile(file);
        ExpectRoundTrip(data, file.string());
        const auto peer = szdd_test::MscompressSize(data);
        if (peer) {
            EXPECT_LE(szdd::Compress(data).size(), *peer) << file;
        }
    }
}
