// What every native test program needs: bytes, scratch folders, files and
// deterministic test data.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace native_test {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A fresh folder, removed with its content at the end of the scope.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    const fs::path &path() const { return path_; }
    fs::path operator/(const std::string &relative) const { return path_ / relative; }

private:
    fs::path path_;
};

// Throws std::runtime_error naming the file when it cannot be read or
// written. WriteFile makes the missing parent folders.
Bytes ReadFile(const fs::path &path);
void WriteFile(const fs::path &path, const Bytes &data);
void WriteFile(const fs::path &path, const std::string &text);

// Deterministic pseudo-random bytes, optionally drawn from alphabet.
Bytes RandomBytes(std::size_t size, std::uint32_t seed);
Bytes RandomBytes(std::size_t size, const std::string &alphabet, std::uint32_t seed);

}  // namespace native_test
