// A damaged stream must be refused with a reason, never read or written out
// of bounds (the sanitizers watch), and the header length check must follow
// the chosen mode.
#include <gtest/gtest.h>

#include <string>

#include "szdd/szdd.h"
#include "szdd_test_support.h"

using szdd_test::Bytes;

namespace {

Bytes Sample()
{
    std::string text = "The quick brown fox jumps over the lazy dog; the lazy dog sleeps.   ";
    Bytes data;
    for (int i = 0; i < 20; ++i)
        data.insert(data.end(), text.begin(), text.end());
    return data;
}

void SetLength(Bytes &packed, std::uint32_t length)
{
    for (int i = 0; i < 4; ++i)
        packed[szdd::kLengthOffset + i] = static_cast<std::uint8_t>(length >> (8 * i));
}

bool ExpandOk(const Bytes &in, Bytes &out, szdd::LengthCheck check = szdd::LengthCheck::Strict)
{
    std::string error;
    const bool ok = szdd::Expand(in.data(), in.size(), out, error, check);
    if (!ok) {
        EXPECT_FALSE(error.empty()) << "a failure without a reason";
    }
    return ok;
}

}  // namespace

TEST(Malformed, BadHeaders)
{
    const Bytes good = szdd::Compress(Sample());
    Bytes out;
    for (std::size_t size = 0; size < szdd::kHeaderSize; ++size)
        EXPECT_FALSE(ExpandOk(Bytes(good.begin(), good.begin() + size), out)) << size;

    for (std::size_t i = 0; i < 8; ++i) {
        Bytes bad = good;
        bad[i] ^= 0x01;
        EXPECT_FALSE(ExpandOk(bad, out)) << "magic byte " << i;
    }
    Bytes method = good;
    method[szdd::kMethodOffset] = 'B';
    EXPECT_FALSE(ExpandOk(method, out));
}

// Every cut of a valid stream is refused in strict mode; a cut inside a
// match is refused in lenient mode as well, and any other cut yields a
// prefix of the data there.
TEST(Malformed, EveryTruncation)
{
    const Bytes data = Sample();
    const Bytes good = szdd::Compress(data);
    for (std::size_t size = szdd::kHeaderSize; size < good.size(); ++size) {
        const Bytes cut(good.begin(), good.begin() + size);
        Bytes out;
        EXPECT_FALSE(ExpandOk(cut, out)) << "cut at " << size;
        ASSERT_LE(out.size(), data.size());
        EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
        if (ExpandOk(cut, out, szdd::LengthCheck::Lenient)) {
            ASSERT_LT(out.size(), data.size());
            EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << "cut at " << size;
        }
    }
}

TEST(Malformed, HeaderLengthDisagreesWithBody)
{
    const Bytes data = Sample();
    Bytes packed = szdd::Compress(data);
    Bytes out;

    SetLength(packed, static_cast<std::uint32_t>(data.size() + 1));  // body ends early
    EXPECT_FALSE(ExpandOk(packed, out));
    ASSERT_TRUE(ExpandOk(packed, out, szdd::LengthCheck::Lenient));
    EXPECT_EQ(out, data);

    SetLength(packed, static_cast<std::uint32_t>(data.size() - 1));  // body runs on
    EXPECT_FALSE(ExpandOk(packed, out));
    EXPECT_LE(out.size(), data.size() - 1);
    ASSERT_TRUE(ExpandOk(packed, out, szdd::LengthCheck::Lenient));
    EXPECT_EQ(out, data);

    SetLength(packed, 0);
    EXPECT_FALSE(ExpandOk(packed, out));
    EXPECT_TRUE(out.empty());
}

// A header that claims 4 GiB over a tiny body must neither allocate that
// nor be believed.
TEST(Malformed, HugeClaimedLength)
{
    Bytes packed = szdd::Compress(Bytes{'x', 'y', 'z'});
    SetLength(packed, 0xFFFFFFFFu);
    Bytes out;
    EXPECT_FALSE(ExpandOk(packed, out));
    EXPECT_EQ(out, (Bytes{'x', 'y', 'z'}));
}

TEST(Malformed, LenientDecodesWhatThePlatformWould)
{
    // A header with length 0 and a full group of eight matches that read the
    // initial spaces (window position 0, length 3): lenient mode decodes the
    // whole body.
    Bytes stream(std::begin(szdd::kMagic), std::end(szdd::kMagic));
    stream.push_back(szdd::kMethodA);
    stream.push_back(0);
    stream.insert(stream.end(), 4, 0);
    stream.push_back(0x00);
    stream.insert(stream.end(), 16, 0x00);
    Bytes out;
    ASSERT_TRUE(ExpandOk(stream, out, szdd::LengthCheck::Lenient));
    EXPECT_EQ(out, Bytes(24, ' '));
    // A trailing control byte with no items adds nothing.
    stream.push_back(0xFF);
    ASSERT_TRUE(ExpandOk(stream, out, szdd::LengthCheck::Lenient));
    EXPECT_EQ(out, Bytes(24, ' '));
    // One byte after it is a literal if its bit says so, else half a match.
    stream.push_back('z');
    ASSERT_TRUE(ExpandOk(stream, out, szdd::LengthCheck::Lenient));
    EXPECT_EQ(out.size(), 25u);
    stream[stream.size() - 2] = 0xFE;
    EXPECT_FALSE(ExpandOk(stream, out, szdd::LengthCheck::Lenient));
}
