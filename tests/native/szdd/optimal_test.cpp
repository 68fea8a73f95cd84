// The compressor's output must be as small as any parse the format allows.
// An exhaustive search over every parse, with match availability worked out
// by replaying the decoder's window, gives the true minimum for short inputs.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "szdd/szdd.h"
#include "szdd_test_support.h"

using szdd_test::Bytes;

namespace {

using szdd::kMaxMatch;
using szdd::kMinMatch;
using szdd::kWindowSize;

// longest[i] = the longest match (0 when under kMinMatch) the decoder could
// copy at data position i from any of the window positions, found by running
// the copy against the window as it stands after data[0..i).
std::vector<std::size_t> LongestByReplay(const Bytes &data)
{
    std::array<std::uint8_t, kWindowSize> window;
    window.fill(szdd::kWindowFill);
    std::vector<std::size_t> longest(data.size(), 0);
    for (std::size_t i = 0; i < data.size(); ++i) {
        const std::size_t w = (szdd::kWindowStart + i) % kWindowSize;
        const std::size_t room = std::min<std::size_t>(kMaxMatch, data.size() - i);
        for (std::size_t from = 0; from < kWindowSize; ++from) {
            std::uint8_t copied[kMaxMatch];
            std::size_t len = 0;
            for (; len < room; ++len) {
                const std::size_t q = (from + len) % kWindowSize;
                const std::size_t ahead = (q + kWindowSize - w) % kWindowSize;
                const std::uint8_t b = ahead < len ? copied[ahead] : window[q];
                if (b != data[i + len])
                    break;
                copied[len] = b;
            }
            if (len >= kMinMatch)
                longest[i] = std::max(longest[i], len);
        }
        window[w] = data[i];
    }
    return longest;
}

struct Search {
    const std::vector<std::size_t> &longest;
    std::size_t size;
    std::size_t best;

    // Body bytes so far, items so far; tries every item at position i.
    void Explore(std::size_t i, std::size_t items, std::size_t bytes)
    {
        const std::size_t total =
            szdd::kHeaderSize + bytes + (items + szdd::kItemsPerControl - 1) / szdd::kItemsPerControl;
        if (i == size) {
            best = std::min(best, total);
            return;
        }
        // Whatever follows costs at least one byte per nine data bytes.
        if (total + (size - i + 8) / 9 >= best)
            return;
        Explore(i + 1, items + 1, bytes + 1);
        for (std::size_t len = kMinMatch; len <= longest[i]; ++len)
            Explore(i + len, items + 1, bytes + 2);
    }
};

std::size_t BruteForceMinimum(const Bytes &data)
{
    const auto longest = LongestByReplay(data);
    Search search{longest, data.size(), SIZE_MAX};
    search.Explore(0, 0, 0);
    return search.best;
}

void ExpectOptimal(const Bytes &data)
{
    const Bytes packed = szdd::Compress(data);
    Bytes back;
    std::string error;
    ASSERT_TRUE(szdd::Expand(packed, back, error)) << error;
    ASSERT_EQ(back, data);
    ASSERT_EQ(packed.size(), BruteForceMinimum(data))
        << "input \"" << std::string(data.begin(), data.end()) << "\"";
}

}  // namespace

// Small alphabets with the space make matches into the initial window,
// overlapping copies and runs that cross group boundaries common.
TEST(Optimal, MatchesExhaustiveSearchOnShortInputs)
{
    const std::string alphabets[] = {" ", "a", " a", "ab", " ab", " abc", "abcd"};
    std::uint32_t seed = 1;
    for (const auto &alphabet : alphabets) {
        for (std::size_t size = 0; size <= 22; ++size) {
            for (int round = 0; round < 6; ++round)
                ExpectOptimal(szdd_test::RandomBytes(size, alphabet, seed++));
        }
    }
}

// Hand-made inputs where a greedy or lazy parse, or one that ignores the
// control bytes, loses a byte.
TEST(Optimal, MatchesExhaustiveSearchOnCraftedInputs)
{
    const std::string inputs[] = {
        "abcabcabcabcabcabcabcabcabcabc",    "abcdeabcdXbcdeabcdeYcdeab",       "aaaXaaaaYaaaaaZaaaaaa",
        "          x          y           ", "abcabdabcabdabcabdabcabd abcabd", "xyzxyzxyzQxyzxyzxyzxyzQ",
    };
    for (const auto &s : inputs)
        ExpectOptimal(Bytes(s.begin(), s.end()));
}
