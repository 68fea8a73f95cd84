#include "szdd/szdd.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace szdd {
namespace {

// Distances run 1..kWindowSize: a match whose window position equals the
// write position reads the byte written a whole window earlier.
constexpr std::size_t kMaxDistance = kWindowSize;
constexpr std::size_t kWindowMask = kWindowSize - 1;
static_assert((kWindowSize & kWindowMask) == 0, "window size must be a power of two");
static_assert(kMaxMatch - kMinMatch == 0x0F, "lengths must fit the low nibble");

void PutHeader(std::vector<std::uint8_t> &out, std::uint8_t replacedChar, std::uint32_t length)
{
    std::uint8_t header[kHeaderSize];
    std::memcpy(header, kMagic, sizeof kMagic);
    header[kMethodOffset] = kMethodA;
    header[kReplacedCharOffset] = replacedChar;
    for (std::size_t i = 0; i < 4; ++i)
        header[kLengthOffset + i] = static_cast<std::uint8_t>(length >> (8 * i));
    out.assign(header, header + kHeaderSize);
}

// --- Match finder ----------------------------------------------------------
//
// The compressor works on a virtual text: kWindowSize spaces followed by the
// data. A match at data position i with distance d then copies text[i - d..],
// which is exactly what the decoder's window holds there, the initial spaces
// included, and overlapping copies need no special care.
//
// The longest match at each position is found with a binary search tree of
// the text's suffixes (compared up to kMaxMatch bytes), rooted per hash of
// their first kMinMatch bytes, with one node per position of the last window.
// Every position is inserted as the new root; the walk down from the old root
// meets every suffix that could share a longer prefix with it, and splits the
// tree around the new node. A node that matches the new suffix as far as the
// comparison goes is replaced by it: the new one is nearer and at least as
// good for every later search.
class MatchFinder {
public:
    MatchFinder(const std::uint8_t *text, std::size_t end)
        : text_(text), end_(end), hashBits_(HashBits(end)), head_(std::size_t(1) << hashBits_, kNone),
          tree_(2 * kSlots, kNone)
    {
    }

    // Inserts pos and returns the length of the longest match of text[pos..]
    // against the kMaxDistance positions before it (0 when below kMinMatch),
    // with its distance.
    std::size_t Insert(std::size_t pos, std::size_t &distance)
    {
        const std::size_t limit = std::min(kMaxMatch, end_ - pos);
        if (limit < kMinMatch)
            return 0;
        const std::uint32_t hash = Hash(text_ + pos, hashBits_);
        std::int64_t cur = head_[hash];
        head_[hash] = static_cast<std::int64_t>(pos);

        // Where the next node smaller / larger than pos hangs.
        std::int64_t *smaller = &tree_[2 * (pos % kSlots)];
        std::int64_t *larger = &tree_[2 * (pos % kSlots) + 1];
        std::size_t smallerLen = 0, largerLen = 0, best = 0;
        const std::uint8_t *s = text_ + pos;
        for (;;) {
            if (cur == kNone || pos - static_cast<std::size_t>(cur) > kMaxDistance) {
                *smaller = *larger = kNone;
                break;
            }
            const std::size_t c = static_cast<std::size_t>(cur);
            const std::uint8_t *t = text_ + c;
            std::size_t len = std::min(smallerLen, largerLen);
            while (len < limit && t[len] == s[len])
                ++len;
            std::int64_t *children = &tree_[2 * (c % kSlots)];
            if (len > best) {
                best = len;
                distance = pos - c;
            }
            if (len == limit) {
                *smaller = children[0];
                *larger = children[1];
                break;
            }
            if (t[len] < s[len]) {
                *smaller = cur;
                smaller = &children[1];
                smallerLen = len;
                cur = *smaller;
            } else {
                *larger = cur;
                larger = &children[0];
                largerLen = len;
                cur = *larger;
            }
        }
        return best >= kMinMatch ? best : 0;
    }

private:
    static constexpr std::int64_t kNone = -1;
    static constexpr unsigned kMaxHashBits = 16;
    // Positions pos - kMaxDistance .. pos must own distinct slots.
    static constexpr std::size_t kSlots = kMaxDistance + 1;

    // Small inputs get a small table: clearing it dominates their cost.
    static unsigned HashBits(std::size_t textSize)
    {
        unsigned bits = 10;
        while (bits < kMaxHashBits && (std::size_t(1) << bits) < textSize)
            ++bits;
        return bits;
    }

    static std::uint32_t Hash(const std::uint8_t *p, unsigned bits)
    {
        const std::uint32_t v = p[0] | (p[1] << 8) | (std::uint32_t(p[2]) << 16);
        return (v * 2654435761u) >> (32 - bits);
    }

    const std::uint8_t *text_;
    std::size_t end_;
    unsigned hashBits_;
    std::vector<std::int64_t> head_;
    std::vector<std::int64_t> tree_;
};

// --- Optimal parse -----------------------------------------------------------
//
// The stream costs one byte per literal, two per match and one control byte
// per started group of eight items. cost(i, k) is the least number of bytes
// that encode data[i..] when k items of the current group are already
// written; the group's control byte is paid by the item that starts it.
//
// Starting a parse mid-group never costs more than starting a new group, and
// saves at most that group's control byte, so cost(i, k) = base[i] - bit k of
// saved[i]: five bytes per position keep every cost, and the choices are
// recomputed from them on the way forward instead of being stored.
//
// Every length from kMinMatch up to the longest match is available at the
// longest match's distance, so only the longest match per position is kept.

constexpr unsigned kStates = kItemsPerControl;

struct Parse {
    std::vector<std::uint8_t> longest;
    std::vector<std::uint16_t> distance;
    std::vector<std::uint32_t> base;  // cost(i, 0), for i = 0..size
    std::vector<std::uint8_t> saved;  // bit k: cost(i, k) = base[i] - 1

    std::uint32_t Cost(std::size_t i, unsigned k) const { return base[i] - ((saved[i] >> k) & 1u); }
};

void FindMatches(const std::uint8_t *data, std::size_t size, Parse &parse)
{
    std::vector<std::uint8_t> text(kWindowSize + size);
    std::fill(text.begin(), text.begin() + kWindowSize, kWindowFill);
    std::copy(data, data + size, text.begin() + kWindowSize);

    MatchFinder finder(text.data(), text.size());
    std::size_t unused = 0;
    // The suffixes that start before the last kMaxMatch spaces all read as
    // kMaxMatch spaces; the last of them stands for them all, being nearest.
    for (std::size_t pos = kWindowSize - kMaxMatch; pos < kWindowSize; ++pos)
        finder.Insert(pos, unused);

    parse.longest.assign(size, 0);
    parse.distance.assign(size, 0);
    for (std::size_t i = 0; i < size; ++i) {
        std::size_t distance = 0;
        parse.longest[i] = static_cast<std::uint8_t>(finder.Insert(kWindowSize + i, distance));
        parse.distance[i] = static_cast<std::uint16_t>(distance);
    }
}

// The least cost over all match lengths at i, per state after the match, as
// a base and the states that save a byte on it.
void BestAfterMatch(const Parse &parse, std::size_t i, std::uint32_t &base, unsigned &saved)
{
    base = std::numeric_limits<std::uint32_t>::max();
    saved = 0;
    for (std::size_t len = kMinMatch; len <= parse.longest[i]; ++len) {
        const std::uint32_t b = parse.base[i + len];
        if (b < base) {
            base = b;
            saved = parse.saved[i + len];
        } else if (b == base) {
            saved |= parse.saved[i + len];
        }
    }
}

void ChooseItems(std::size_t size, Parse &parse)
{
    parse.base.assign(size + 1, 0);
    parse.saved.assign(size + 1, 0);
    for (std::size_t i = size; i-- > 0;) {
        std::uint32_t matchBase;
        unsigned matchSaved;
        BestAfterMatch(parse, i, matchBase, matchSaved);
        const bool canMatch = parse.longest[i] != 0;
        std::uint32_t cost[kStates];
        for (unsigned k = 0; k < kStates; ++k) {
            const unsigned n = (k + 1) % kStates;
            std::uint32_t best = 1 + parse.Cost(i + 1, n);
            if (canMatch)
                best = std::min(best, 2 + matchBase - ((matchSaved >> n) & 1u));
            cost[k] = (k == 0 ? 1 : 0) + best;
        }
        parse.base[i] = cost[0];
        unsigned saved = 0;
        for (unsigned k = 1; k < kStates; ++k)
            saved |= (cost[0] - cost[k]) << k;
        parse.saved[i] = static_cast<std::uint8_t>(saved);
    }
}

// The item that starts an optimal parse of data[i..] in state k: 1 for a
// literal, else the match length.
std::size_t ChosenItem(const Parse &parse, std::size_t i, unsigned k)
{
    const unsigned n = (k + 1) % kStates;
    const std::uint32_t target = parse.Cost(i, k) - (k == 0 ? 1 : 0);
    for (std::size_t len = parse.longest[i]; len >= kMinMatch; --len)
        if (2 + parse.Cost(i + len, n) == target)
            return len;
    return 1;
}

void WriteItems(const std::uint8_t *data, std::size_t size, const Parse &parse,
                std::vector<std::uint8_t> &out)
{
    std::size_t control = 0;
    unsigned state = 0;
    for (std::size_t i = 0; i < size;) {
        if (state == 0) {
            control = out.size();
            out.push_back(0);
        }
        const std::size_t len = ChosenItem(parse, i, state);
        if (len == 1) {
            out[control] |= static_cast<std::uint8_t>(1u << state);
            out.push_back(data[i]);
        } else {
            // Data position i sits at window position kWindowStart + i.
            const std::size_t from = (kWindowStart + i - parse.distance[i]) & kWindowMask;
            out.push_back(static_cast<std::uint8_t>(from & 0xFF));
            out.push_back(static_cast<std::uint8_t>(((from >> 4) & 0xF0) | (len - kMinMatch)));
        }
        i += len;
        state = (state + 1) % kStates;
    }
}

}  // namespace

std::vector<std::uint8_t> Compress(const std::uint8_t *data, std::size_t size, std::uint8_t replacedChar)
{
    if (size > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("SZDD cannot hold more than 4 GiB - 1 bytes");
    Parse parse;
    FindMatches(data, size, parse);
    ChooseItems(size, parse);

    std::vector<std::uint8_t> out;
    out.reserve(kHeaderSize + size + size / 8 + 1);
    PutHeader(out, replacedChar, static_cast<std::uint32_t>(size));
    WriteItems(data, size, parse, out);
    return out;
}

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t> &data, std::uint8_t replacedChar)
{
    return Compress(data.data(), data.size(), replacedChar);
}

bool ReadHeader(const std::uint8_t *in, std::size_t size, Header &header, std::string &error)
{
    if (size < kHeaderSize) {
        error = "not an SZDD file: shorter than its " + std::to_string(kHeaderSize) + "-byte header";
        return false;
    }
    if (!std::equal(std::begin(kMagic), std::end(kMagic), in)) {
        error = "not an SZDD file: wrong magic";
        return false;
    }
    if (in[kMethodOffset] != kMethodA) {
        error = "unsupported SZDD compression method " + std::to_string(in[kMethodOffset]);
        return false;
    }
    header.replacedChar = in[kReplacedCharOffset];
    header.expandedLength = 0;
    for (int i = 3; i >= 0; --i)
        header.expandedLength = (header.expandedLength << 8) | in[kLengthOffset + i];
    return true;
}

bool Expand(const std::uint8_t *in, std::size_t size, std::vector<std::uint8_t> &out, std::string &error,
            LengthCheck check)
{
    out.clear();
    Header header;
    if (!ReadHeader(in, size, header, error))
        return false;
    const bool strict = check == LengthCheck::Strict;

    // A group of 17 body bytes yields at most 8 * kMaxMatch bytes, which
    // bounds the first allocation whatever the header claims.
    const std::size_t body = size - kHeaderSize;
    const std::size_t bound = body / 17 * 8 * kMaxMatch + 8 * kMaxMatch;
    std::size_t capacity = strict ? std::min<std::size_t>(header.expandedLength, bound) : bound;
    std::size_t limit = strict ? header.expandedLength : std::numeric_limits<std::size_t>::max();
    out.resize(capacity);

    std::uint8_t window[kWindowSize];
    std::memset(window, kWindowFill, sizeof window);
    std::size_t w = kWindowStart;
    std::size_t produced = 0;
    const std::uint8_t *p = in + kHeaderSize;
    const std::uint8_t *const end = in + size;

    auto tooLong = [&] {
        error = "corrupt SZDD data: the body yields more than the header's " +
                std::to_string(header.expandedLength) + " bytes";
        out.resize(produced);
        return false;
    };

    while (p < end) {
        const unsigned control = *p++;
        for (unsigned bit = 0; bit < kItemsPerControl && p < end; ++bit) {
            if (capacity - produced < kMaxMatch) {
                capacity = std::max<std::size_t>(capacity * 2, produced + kMaxMatch);
                out.resize(capacity);
            }
            std::uint8_t *o = out.data() + produced;
            if (control & (1u << bit)) {
                if (produced == limit)
                    return tooLong();
                window[w] = *o = *p++;
                w = (w + 1) & kWindowMask;
                ++produced;
                continue;
            }
            if (end - p < 2) {
                error = "corrupt SZDD data: the body ends inside a match";
                out.resize(produced);
                return false;
            }
            std::size_t from = p[0] | ((p[1] & 0xF0u) << 4);
            const std::size_t len = (p[1] & 0x0Fu) + kMinMatch;
            p += 2;
            if (limit - produced < len)
                return tooLong();
            for (std::size_t j = 0; j < len; ++j) {
                const std::uint8_t b = window[from];
                window[w] = o[j] = b;
                from = (from + 1) & kWindowMask;
                w = (w + 1) & kWindowMask;
            }
            produced += len;
        }
    }
    out.resize(produced);
    if (strict && produced != header.expandedLength) {
        error = "corrupt SZDD data: the body ends after " + std::to_string(produced) + " of the header's " +
                std::to_string(header.expandedLength) + " bytes";
        return false;
    }
    return true;
}

bool Expand(const std::vector<std::uint8_t> &in, std::vector<std::uint8_t> &out, std::string &error,
            LengthCheck check)
{
    return Expand(in.data(), in.size(), out, error, check);
}

}  // namespace szdd
