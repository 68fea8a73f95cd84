// The platform-free part of file_io.h.
#include "file_io.h"

#include <chrono>
#include <iostream>
#include <random>

#include "error.h"
#include "names.h"

namespace xpack {

namespace fs = std::filesystem;

std::string Shown(const fs::path &path)
{
    return Printable(path.string());
}

std::string TemporaryName()
{
    static const char kHex[] = "0123456789abcdef";
    // The counter and the clock vary the name even where random_device
    // has no source of its own and repeats itself.
    static std::uint32_t counter = 0;
    std::uint32_t value =
        ++counter * 0x9E3779B9u ^
        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    try {
        std::random_device seed;
        value ^= seed();
    } catch (const std::exception &) {
    }
    std::string name = ".xpk";
    for (int shift = 28; shift >= 0; shift -= 4)
        name += kHex[(value >> shift) & 15];
    return name;
}

void WriteOutput(const fs::path &path, const Bytes &data, FileMode newMode)
{
    if (path != "-") {
        WriteFileAtomically(path, data, newMode);
        return;
    }
    ClaimStandardOutput();
    std::cout.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    std::cout.flush();
    if (!std::cout)
        throw Error("standard output: write error");
}

}  // namespace xpack
