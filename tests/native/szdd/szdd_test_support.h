// Helpers shared by the codec tests: an independent decoder (libmspack),
// the peer compressor (mscompress), files from the machine, test data.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace szdd_test {

using Bytes = std::vector<std::uint8_t>;

// A directory removed with everything in it when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
};

Bytes ReadFile(const std::filesystem::path &path);
void WriteFile(const std::filesystem::path &path, const Bytes &data);

// Expands an SZDD file with libmspack; nullopt when it reports an error.
std::optional<Bytes> ExpandWithMspack(const Bytes &szdd);

// Size of mscompress's output for data, or nullopt when mscompress is not on
// PATH or fails.
std::optional<std::size_t> MscompressSize(const Bytes &data);

// Deterministic pseudo-random bytes drawn from alphabet.
Bytes RandomBytes(std::size_t size, const std::string &alphabet, std::uint32_t seed);
Bytes RandomBytes(std::size_t size, std::uint32_t seed);

// A few 32-bit Windows binaries of Wine's, smallest first; empty when the
// folder is absent.
std::vector<std::filesystem::path> SampleBinaries(std::size_t count, std::uintmax_t maxSize);

}  // namespace szdd_test
