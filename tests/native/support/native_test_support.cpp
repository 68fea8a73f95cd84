#include "native_test_support.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace native_test {

ScratchDir::ScratchDir()
{
    std::string pattern = (fs::temp_directory_path() / "corvane-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a scratch folder in " + fs::temp_directory_path().string());
    path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

Bytes ReadFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path &path, const Bytes &data)
{
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void WriteFile(const fs::path &path, const std::string &text)
{
    WriteFile(path, Bytes(text.begin(), text.end()));
}

Bytes RandomBytes(std::size_t size, std::uint32_t seed)
{
    std::mt19937 generator(seed);
    Bytes data(size);
    for (auto &byte : data)
        byte = static_cast<std::uint8_t>(generator());
    return data;
}

Bytes RandomBytes(std::size_t size, const std::string &alphabet, std::uint32_t seed)
{
    std::mt19937 generator(seed);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    Bytes data(size);
    for (auto &byte : data)
        byte = static_cast<std::uint8_t>(alphabet[pick(generator)]);
    return data;
}

}  // namespace native_test
