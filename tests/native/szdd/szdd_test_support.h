// Helpers of the codec tests: an independent decoder (libmspack), the peer
// compressor (mscompress) and files from the machine.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "native_test_support.h"

namespace szdd_test {

using native_test::Bytes;
using native_test::RandomBytes;
using native_test::ReadFile;
using native_test::ScratchDir;
using native_test::WriteFile;

// Expands an SZDD file with libmspack; nullopt when it reports an error.
std::optional<Bytes> ExpandWithMspack(const Bytes &szdd);

// Size of mscompress's output for data, or nullopt when mscompress is not on
// PATH or fails.
std::optional<std::size_t> MscompressSize(const Bytes &data);

// A few 32-bit Windows binaries of Wine's, smallest first; empty when the
// folder is absent.
std::vector<std::filesystem::path> SampleBinaries(std::size_t count, std::uintmax_t maxSize);

}  // namespace szdd_test
