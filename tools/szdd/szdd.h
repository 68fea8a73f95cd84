// The SZDD codec: the format (payload/szdd_format.h, shared with the setup
// program) compressed and expanded in memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "szdd_format.h"

namespace szdd {

// The format's facts, as the codec's C++ names.
constexpr std::size_t kHeaderSize = SZDD_HEADER_SIZE;
constexpr std::uint8_t kMagic[SZDD_MAGIC_SIZE] = {SZDD_MAGIC_BYTES};
constexpr std::uint8_t kMethodA = SZDD_METHOD_A;
constexpr std::size_t kMethodOffset = SZDD_METHOD_OFFSET;
constexpr std::size_t kReplacedCharOffset = SZDD_REPLACED_CHAR_OFFSET;
constexpr std::size_t kLengthOffset = SZDD_LENGTH_OFFSET;
constexpr std::size_t kWindowSize = SZDD_WINDOW_SIZE;
constexpr std::uint8_t kWindowFill = SZDD_WINDOW_FILL;
constexpr std::size_t kWindowStart = SZDD_WINDOW_START;
constexpr std::size_t kMinMatch = SZDD_MIN_MATCH;
constexpr std::size_t kMaxMatch = SZDD_MAX_MATCH;
constexpr std::size_t kItemsPerControl = SZDD_ITEMS_PER_CONTROL;

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
