// The SZDD compressed-file format of the platform's LZ expansion library:
// a 14-byte header, then an LZSS body over a 4096-byte window.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace szdd {

// Header: magic, method 'A', the character the compressed name replaced in
// its extension (0 when none), the expanded length (32-bit little-endian).
constexpr std::size_t kHeaderSize = 14;
constexpr std::uint8_t kMagic[8] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};
constexpr std::uint8_t kMethodA = 0x41;
constexpr std::size_t kMethodOffset = 8;
constexpr std::size_t kReplacedCharOffset = 9;
constexpr std::size_t kLengthOffset = 10;

// Body: groups of one control byte and up to eight items, control bits taken
// least significant first; 1 = a literal byte, 0 = a match of two bytes
// b0 b1 with window position b0 | ((b1 & 0xF0) << 4) and length
// (b1 & 0x0F) + kMinMatch.
constexpr std::size_t kWindowSize = 4096;
constexpr std::uint8_t kWindowFill = 0x20;       // the window starts as spaces
constexpr std::size_t kWindowStart = 4096 - 16;  // where the first byte goes
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 18;
constexpr std::size_t kItemsPerControl = 8;

struct Header {
    std::uint8_t replacedChar = 0;
    std::uint32_t expandedLength = 0;
};

// The complete SZDD file (header and body) for data: the smallest stream the
// format allows (an exact optimal parse, control bytes included). Works in
// memory, about 8 bytes per input byte besides input and output. The header
// holds a 32-bit length, so more than 4 GiB - 1 bytes throws
// std::length_error rather than writing a header that lies.
std::vector<std::uint8_t> Compress(const std::uint8_t *data, std::size_t size, std::uint8_t replacedChar = 0);
std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t> &data, std::uint8_t replacedChar = 0);

// Reads the header of an SZDD file. Returns false, with a reason, when the
// input is shorter than the header or its magic or method is wrong.
bool ReadHeader(const std::uint8_t *in, std::size_t size, Header &header, std::string &error);

// How Expand treats the header's expanded length.
//  - Strict (the default): the body must yield exactly that many bytes; more
//    or fewer is an error. Decoding stops with an error as soon as the output
//    would pass the header's length, so a lying header cannot make it run on.
//  - Lenient: the body is decoded until the input ends and the header's
//    length is ignored, which is what the platform's LZCopy and its expand
//    tool do; a well-formed file gives the same bytes in both modes.
// In both modes a body that ends inside a match (one of its two bytes
// missing) is an error; a body that ends after any whole item, or after a
// control byte, ends the data there.
enum class LengthCheck {
    Strict,
    Lenient
};

// Expands a complete SZDD file. Returns false, with a reason, for a bad
// header, a body that ends inside an item, or (Strict) a body that yields
// other than the header's expanded length. Never reads or writes out of
// bounds; on failure out holds the bytes decoded before the fault.
bool Expand(const std::uint8_t *in, std::size_t size, std::vector<std::uint8_t> &out, std::string &error,
            LengthCheck check = LengthCheck::Strict);
bool Expand(const std::vector<std::uint8_t> &in, std::vector<std::uint8_t> &out, std::string &error,
            LengthCheck check = LengthCheck::Strict);

}  // namespace szdd
